#pragma once
// The byte form of the clients and users files: which encoding and line ends a file uses,
// and the turn from bytes to the editor's text and back. Every function is one pass.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace norvane {

// Text that is not UTF-8 is taken as 8-bit: Latin-1, or on Windows the ANSI code page.
enum class FileEncoding { Utf8, Latin1 };
enum class FileLineEnd { Lf, CrLf };

// Bytes as the text document takes them: line ends (CRLF, LF, lone CR) still in the text.
struct FileContent {
    QString text;
    FileEncoding encoding = FileEncoding::Utf8;
    int bomLength = 0;  // 3 when UTF-8 bytes began with a byte order mark, else 0
};
FileContent DecodeFileContent(const QByteArray& bytes);

// The line end most lines of the bytes use; CRLF on a tie and when there is none.
FileLineEnd MainLineEnd(QByteArrayView bytes);

// The bytes of a line end.
QByteArrayView LineEndBytes(FileLineEnd lineEnd);

// Turns bytes into the editor's text and back, remembering the form (used by tests and
// fuzzing of the round trip, and by the benchmarks).
struct DecodedText {
    QString text;
    FileEncoding encoding;
    FileLineEnd lineEnd;
    bool bom = false;  // UTF-8 only: the bytes began with a byte order mark
};
// Line ends in the text are "\n"; CRLF and lone CR in the bytes both become "\n".
DecodedText DecodeFileBytes(const QByteArray& bytes);
// Characters that the 8-bit character set cannot hold are written as '?'; see CanEncodeFileText.
QByteArray EncodeFileText(const QString& text, FileEncoding encoding, FileLineEnd lineEnd, bool bom = false);
// True when every character of the text can be written in the encoding.
bool CanEncodeFileText(QStringView text, FileEncoding encoding);
// Bytes of known encoding as text, a U+FEFF at their start kept (QString::fromUtf8 drops it).
QString DecodeText(QByteArrayView bytes, FileEncoding encoding);
// The text in the encoding, no line ends added.
void AppendEncoded(QByteArray& out, QStringView text, FileEncoding encoding);

// The 8-bit character set by name, for the operator: "Latin-1", or the ANSI code page.
QString EightBitCharacterSet();

// Joins the program's backslash paths and maps them to the file system's separator.
QString NativeFilePath(const QString& backslashPath);

}  // namespace norvane
