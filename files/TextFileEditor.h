#pragma once
// A plain-text editor bound to one file: it loads the file's bytes, remembers their text
// encoding and line ends, and saves in the same form. A save writes the lines no edit
// touched as the bytes they were read from, so an unedited file comes back byte for byte.

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
    // Writes the whole text; on failure returns false, sets *error to the platform's
    // description (or the editor's own reason for refusing) and *file to the file it was
    // for, and the file on disk is left as it was. A symbolic link is written through to its
    // target; when the loaded FileName is given, that is the target it had at the load.
    // The file keeps its owner, group, permissions, extended attributes (ACLs) and links.
    // An empty path fails with the reason the last load failed.
    bool SaveFile(const QString& path, QString* error, QString* file = nullptr);
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

    QString m_fileName;
    LineMap m_lines;
    QString m_loadedFile;  // where FileName led at the load: the file a save of it writes
    quint64 m_loadedDevice = 0;
    quint64 m_loadedInode = 0;
    QString m_loadError;  // why the last load failed, and of which file
    QString m_loadErrorFile;
    bool m_loading = false;
};

}  // namespace norvane
