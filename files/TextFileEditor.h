#pragma once
// A plain-text editor bound to one file: it loads the file's bytes, remembers their text
// encoding and line ends, and saves in the same form. A save writes the lines no edit
// touched as the bytes they were read from, so an unedited file comes back byte for byte.

#include "FilePlace.h"
#include "FileText.h"
#include "LineMap.h"

#include <QByteArray>
#include <QPlainTextEdit>
#include <QString>

namespace norvane {

class TextFileEditor : public QPlainTextEdit {
    Q_OBJECT

public:
    using Encoding = FileEncoding;
    using LineEnd = FileLineEnd;

    explicit TextFileEditor(QWidget* parent = nullptr);

    // Path of the file last loaded successfully, as it was given; empty until a load succeeds.
    QString FileName() const { return m_fileName; }
    // Replaces the whole text with the file's; false (text and FileName untouched) on failure.
    // Backslashes in the path are taken as separators (NativeFilePath).
    bool LoadFile(const QString& path);
    // Why the last LoadFile refused the file, in words the operator is to be shown (a file
    // too large to show, a link or folder another user owns); empty after a load that
    // worked or failed the ordinary way (missing, unreadable), which passes in silence.
    QString LoadRefusal() const { return m_loadRefusal; }
    // Largest file shown: 32 MiB take about three seconds to show (2 cores, offscreen).
    static constexpr qsizetype MaxShownBytes = qsizetype(32) << 20;

    // What a save does when the file changed on disk since it was loaded or last saved.
    enum class IfChanged { Refuse, Overwrite };
    // Writes the whole text; on failure returns false, sets *error to the platform's
    // description (or the editor's own reason for refusing) and *file to the file it was
    // for, and the file on disk is left as it was. A symbolic link is written through to its
    // target; when the loaded FileName is given, that is the target it had at the load.
    // The file keeps its owner, group, permissions, extended attributes (ACLs) and links.
    // An empty path fails with the reason the last load failed. A file changed on disk
    // since (by size, times, inode, then bytes) is written only with IfChanged::Overwrite.
    bool SaveFile(const QString& path, QString* error, QString* file = nullptr,
                  IfChanged ifChanged = IfChanged::Refuse);
    // True when the last SaveFile wrote nothing because the file had changed on disk.
    bool SaveFoundChange() const { return m_saveFoundChange; }
    void Refresh();

    Encoding encoding() const { return m_lines.encoding(); }
    LineEnd lineEnd() const { return m_lines.lineEnd(); }
    bool hasBom() const { return m_lines.hasBom(); }

    // The bytes a save would write now.
    QByteArray bytesToSave() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void contentsChange(int position, int added);
    bool ChangedOnDisk(const QString& target) const;

    QString m_fileName;
    LineMap m_lines;
    QString m_loadedFile;  // where FileName led at the load: the file a save of it writes
    DiskState m_onDisk;    // of the file loaded or last saved
    QString m_loadError;   // why the last load failed, and of which file
    QString m_loadErrorFile;
    QString m_loadRefusal;
    bool m_saveFoundChange = false;
    bool m_loading = false;
};

}  // namespace norvane
