#include "FileText.h"

#include <QDir>
#include <QStringDecoder>

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#endif

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

#ifdef _WIN32
// Windows programs read 8-bit text in the ANSI code page, and the server with them.
QString FromEightBit(QByteArrayView bytes) {
    if (bytes.isEmpty())
        return {};
    const int size = static_cast<int>(bytes.size());
    QString text(MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0), Qt::Uninitialized);
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, reinterpret_cast<wchar_t*>(text.data()),
                        static_cast<int>(text.size()));
    return text;
}

// The bytes, and whether every character had its own in the code page (no best fit, no '?').
QByteArray ToEightBit(QStringView text, bool* exact = nullptr) {
    if (exact)
        *exact = true;
    if (text.isEmpty())
        return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(text.utf16());
    const int size = static_cast<int>(text.size());
    BOOL defaulted = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, size, nullptr, 0, nullptr, nullptr);
    QByteArray bytes(n, Qt::Uninitialized);
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, size, bytes.data(), n, nullptr, &defaulted);
    if (exact)
        *exact = !defaulted;
    return bytes;
}

bool EightBitHolds(QStringView text) {
    bool exact = true;
    ToEightBit(text, &exact);
    return exact;
}
#else
QString FromEightBit(QByteArrayView bytes) { return QString::fromLatin1(bytes); }

QByteArray ToEightBit(QStringView text) { return text.toLatin1(); }

bool EightBitHolds(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0xFF; });
}
#endif

}  // namespace

QString EightBitCharacterSet() {
#ifdef _WIN32
    return QStringLiteral("ANSI code page %1").arg(GetACP());
#else
    return QStringLiteral("Latin-1");
#endif
}

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
        content = {FromEightBit(bytes), FileEncoding::Latin1, 0};
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
    QByteArray bytes = encoding == FileEncoding::Latin1 ? ToEightBit(lines) : lines.toUtf8();
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
    return EightBitHolds(text);
}

QString DecodeText(QByteArrayView bytes, FileEncoding encoding) {
    if (encoding == FileEncoding::Latin1)
        return FromEightBit(bytes);
    QStringDecoder utf8(QStringConverter::Utf8,
                        QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    return utf8.decode(bytes);
}

void AppendEncoded(QByteArray& out, QStringView text, FileEncoding encoding) {
    out.append(encoding == FileEncoding::Latin1 ? ToEightBit(text) : text.toUtf8());
}

QString NativeFilePath(const QString& backslashPath) {
#ifdef _WIN32
    // Windows' own separator: the operator reads the path as the server joins it.
    return QDir::toNativeSeparators(backslashPath);
#else
    QString path = backslashPath;
    path.replace(u'\\', u'/');
    return path;
#endif
}

}  // namespace norvane
