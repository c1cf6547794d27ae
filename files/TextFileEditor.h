#pragma once
// A plain-text editor bound to one file: it loads the file's bytes, remembers their text
// encoding and line ends, and saves in the same form (an unedited text byte for byte).

#include <QByteArray>
#include <QPlainTextEdit>
#include <QString>

namespace norvane {

class TextFileEditor : public QPlainTextEdit {
    Q_OBJECT

public:
    enum class Encoding { Utf8, Latin1 };
    enum class LineEnd { Lf, CrLf };

    explicit TextFileEditor(QWidget* parent = nullptr);

    // Path of the file last loaded successfully, as it was given; empty until a load succeeds.
    QString FileName() const { return m_fileName; }
    // Replaces the whole text with the file's; false (text and FileName untouched) on failure.
    // Backslashes in the path are taken as separators (NativeFilePath).
    bool LoadFile(const QString& path);
    // Writes the whole text; on failure returns false and sets *error to the platform's
    // description, and the file on disk is left as it was. A symbolic link is written
    // through to its target; the file keeps its permissions (and, where allowed, its owner).
    bool SaveFile(const QString& path, QString* error);
    void Refresh();

    Encoding encoding() const { return m_encoding; }
    LineEnd lineEnd() const { return m_lineEnd; }
    bool hasBom() const { return m_bom; }

    // The bytes a save would write now.
    QByteArray bytesToSave() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The text as the document holds it, with "\n" between lines.
    QString shownText() const;

    QString m_fileName;
    Encoding m_encoding = Encoding::Utf8;
    LineEnd m_lineEnd = LineEnd::CrLf;
    bool m_bom = false;
    QByteArray m_loadedBytes;   // what was read, for an unedited save
    QString m_loadedText;       // the text as it was shown after the load
    bool m_changedSinceLoad = false;  // any change of the text since the last load or save
};

// Turns bytes into the editor's text and back, remembering the form (used by the editor
// and by tests and fuzzing of the round trip).
struct DecodedText {
    QString text;
    TextFileEditor::Encoding encoding;
    TextFileEditor::LineEnd lineEnd;
    bool bom = false;   // UTF-8 only: the bytes began with a byte order mark
};
// Line ends in the text are "\n"; CRLF and lone CR in the bytes both become "\n".
DecodedText DecodeFileBytes(const QByteArray& bytes);
// Characters that Latin-1 cannot hold are written as '?'; see CanEncodeFileText.
QByteArray EncodeFileText(const QString& text, TextFileEditor::Encoding encoding, TextFileEditor::LineEnd lineEnd,
                          bool bom = false);
// True when every character of the text can be written in the encoding.
bool CanEncodeFileText(const QString& text, TextFileEditor::Encoding encoding);

// Joins the program's backslash paths and maps them to the file system's separator.
QString NativeFilePath(const QString& backslashPath);

}  // namespace norvane
