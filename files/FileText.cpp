#include "FileText.h"

#include <QStringDecoder>

namespace norvane {

namespace {

constexpr char Utf8Bom[] = "\xEF\xBB\xBF";

// Lone CR and CRLF both end a line in the editor: one compacting pass, in place.
void UnifyLineEnds(QString& text) {
    const qsizetype cr = text.indexOf(u'\r');
    if (cr < 0)
        return;
    QChar* out = text.data() + cr;
    const QChar* in = out;
    const QChar* const end = text.constData() + text.size();
    while (in != end) {
        if (*in == u'\r') {
            *out++ = u'\n';
            if (++in != end && *in == u'\n')
                ++in;
        } else {
            *out++ = *in++;
        }
    }
    text.truncate(out - text.constData());
}

}  // namespace

FileContent DecodeFileContent(const QByteArray& bytes) {
    const int bom = bytes.startsWith(Utf8Bom) ? 3 : 0;
    // Stateless: a sequence cut off at the end is an error, not state kept for more input.
    // The decoder refuses overlong forms, encoded surrogates and code points past U+10FFFF,
    // so what it accepts encodes back to the same bytes.
    QStringDecoder utf8(QStringConverter::Utf8,
                        QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    FileContent content{utf8.decode(QByteArrayView(bytes).sliced(bom)), FileEncoding::Utf8, bom};
    if (utf8.hasError()) {
        content.text = QString();  // freed before the second decode
        content = {QString::fromLatin1(bytes), FileEncoding::Latin1, 0};
    }
    return content;
}

FileLineEnd MainLineEnd(QByteArrayView bytes) {
    qsizetype crlf = 0;
    qsizetype lf = 0;
    char previous = 0;
    for (const char c : bytes) {
        if (c == '\n')
            ++(previous == '\r' ? crlf : lf);
        previous = c;
    }
    return lf > crlf ? FileLineEnd::Lf : FileLineEnd::CrLf;
}

QByteArrayView LineEndBytes(FileLineEnd lineEnd) {
    return lineEnd == FileLineEnd::CrLf ? QByteArrayView("\r\n") : QByteArrayView("\n");
}

DecodedText DecodeFileBytes(const QByteArray& bytes) {
    FileContent content = DecodeFileContent(bytes);
    UnifyLineEnds(content.text);
    return {std::move(content.text), content.encoding, MainLineEnd(bytes), content.bomLength > 0};
}

QByteArray EncodeFileText(const QString& text, FileEncoding encoding, FileLineEnd lineEnd, bool bom) {
    QString lines = text;
    UnifyLineEnds(lines);
    QByteArray bytes = encoding == FileEncoding::Latin1 ? lines.toLatin1() : lines.toUtf8();
    // Line ends go in after encoding, in one pass: neither encoding uses the byte 0x0A
    // for anything but a line feed.
    if (lineEnd == FileLineEnd::CrLf) {
        if (const qsizetype feeds = bytes.count('\n')) {
            QByteArray crlf(bytes.size() + feeds, Qt::Uninitialized);
            char* out = crlf.data();
            for (const char c : std::as_const(bytes)) {
                if (c == '\n')
                    *out++ = '\r';
                *out++ = c;
            }
            bytes = std::move(crlf);
        }
    }
    if (bom && encoding == FileEncoding::Utf8)
        bytes.prepend(Utf8Bom);
    return bytes;
}

bool CanEncodeFileText(QStringView text, FileEncoding encoding) {
    if (encoding == FileEncoding::Utf8)
        return true;
    for (QChar c : text) {
        if (c.unicode() > 0xFF)
            return false;
    }
    return true;
}

QString DecodeText(QByteArrayView bytes, FileEncoding encoding) {
    if (encoding == FileEncoding::Latin1)
        return QString::fromLatin1(bytes);
    QStringDecoder utf8(QStringConverter::Utf8,
                        QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    return utf8.decode(bytes);
}

void AppendEncoded(QByteArray& out, QStringView text, FileEncoding encoding) {
    out.append(encoding == FileEncoding::Latin1 ? text.toLatin1() : text.toUtf8());
}

QString NativeFilePath(const QString& backslashPath) {
    QString path = backslashPath;
    path.replace(u'\\', u'/');
    return path;
}

}  // namespace norvane
