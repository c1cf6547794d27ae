// The byte form of the clients and users files: what a load takes from the bytes and what
// an edited save writes back.
#include "TextFileEditor.h"

#include <QDir>

#include <gtest/gtest.h>

using norvane::CanEncodeFileText;
using norvane::DecodeFileBytes;
using norvane::EncodeFileText;
using norvane::NativeFilePath;
using Enc = norvane::TextFileEditor::Encoding;
using End = norvane::TextFileEditor::LineEnd;

TEST(FilesCodec, DecodeFindsLineEndsByMajority) {
    struct Case {
        QByteArray bytes;
        End lineEnd;
        QString text;
    };
    const Case cases[] = {
        {"10.0.0.1 s1\r\n10.0.0.2 s2\r\n", End::CrLf, "10.0.0.1 s1\n10.0.0.2 s2\n"},
        {"10.0.0.1 s1\n10.0.0.2 s2\n", End::Lf, "10.0.0.1 s1\n10.0.0.2 s2\n"},
        {"no line end at all", End::CrLf, "no line end at all"},
        {"", End::CrLf, ""},
        {"a\r\nb\n", End::CrLf, "a\nb\n"},          // a tie keeps CRLF
        {"a\r\nb\nc\n", End::Lf, "a\nb\nc\n"},      // mostly LF
        {"a\r\nb\r\nc\n", End::CrLf, "a\nb\nc\n"},  // mostly CRLF
        {"a\rb\r\n", End::CrLf, "a\nb\n"},          // a lone CR still ends a line
        {"\n\n\r\n", End::Lf, "\n\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.toStdString());
        const auto decoded = DecodeFileBytes(c.bytes);
        EXPECT_EQ(decoded.lineEnd, c.lineEnd);
        EXPECT_EQ(decoded.text, c.text);
        EXPECT_EQ(decoded.encoding, Enc::Utf8);
        EXPECT_FALSE(decoded.bom);
    }
}

TEST(FilesCodec, DecodeTakesUtf8OnlyWhenValid) {
    // Valid UTF-8, with and without a byte order mark.
    auto d = DecodeFileBytes("caf\xC3\xA9\r\n");
    EXPECT_EQ(d.encoding, Enc::Utf8);
    EXPECT_EQ(d.text, QString::fromUtf8("caf\xC3\xA9\n"));
    d = DecodeFileBytes("\xEF\xBB\xBFuser\tpw\r\n");
    EXPECT_EQ(d.encoding, Enc::Utf8);
    EXPECT_TRUE(d.bom);
    EXPECT_EQ(d.text, "user\tpw\n");
    // A second mark after the first is text, not dropped.
    d = DecodeFileBytes("\xEF\xBB\xBF\xEF\xBB\xBFx");
    EXPECT_TRUE(d.bom);
    EXPECT_EQ(d.text, QString(QChar(0xFEFF)) + "x");

    // Anything that is not strictly UTF-8 is Latin-1, one character per byte.
    const QByteArray notUtf8[] = {
        "caf\xE9\r\n",            // a Latin-1 e acute
        "cut off \xC3",           // a sequence cut off at the end
        "over\xC0\x80long",       // an overlong NUL
        "sur\xED\xA0\x80rogate",  // an encoded surrogate
        "\xF4\x90\x80\x80",       // beyond U+10FFFF
        "\xEF\xBB\xBF\xFF",       // a mark followed by a byte that is never UTF-8
    };
    for (const QByteArray& bytes : notUtf8) {
        SCOPED_TRACE(bytes.toHex().toStdString());
        d = DecodeFileBytes(bytes);
        EXPECT_EQ(d.encoding, Enc::Latin1);
        EXPECT_FALSE(d.bom);
        EXPECT_EQ(d.text.size(), bytes.size() - bytes.count("\r\n"));
        EXPECT_EQ(EncodeFileText(d.text, d.encoding, d.lineEnd, d.bom), bytes);
    }
}

TEST(FilesCodec, EncodeRestoresUniformFiles) {
    QByteArray everyByte;
    for (int b = 0; b < 256; ++b) {
        if (b != '\r' && b != '\n')
            everyByte.append(char(b));
    }
    everyByte.append("\r\n");
    const QByteArray files[] = {
        "10.0.0.1 secret\r\n192.168.1.20 other\r\n",
        "10.0.0.1 secret\n192.168.1.20 other\n",
        "no final line end\r\nlast",
        "\xEF\xBB\xBFjoe\tPassword = \"x\"\r\n",
        QByteArray("nul\0inside\r\n", 12),
        everyByte,
        "\r\n\r\n\r\n",
    };
    for (const QByteArray& bytes : files) {
        SCOPED_TRACE(bytes.toHex().toStdString());
        const auto d = DecodeFileBytes(bytes);
        EXPECT_EQ(EncodeFileText(d.text, d.encoding, d.lineEnd, d.bom), bytes);
    }
    EXPECT_EQ(DecodeFileBytes(everyByte).encoding, Enc::Latin1);
}

TEST(FilesCodec, EncodeWritesTheChosenForm) {
    const QString text = QString::fromUtf8("r\xC3\xA9seau\nline2\r\nline3\rend");
    EXPECT_EQ(EncodeFileText(text, Enc::Utf8, End::CrLf), "r\xC3\xA9seau\r\nline2\r\nline3\r\nend");
    EXPECT_EQ(EncodeFileText(text, Enc::Utf8, End::Lf), "r\xC3\xA9seau\nline2\nline3\nend");
    EXPECT_EQ(EncodeFileText(text, Enc::Latin1, End::CrLf), "r\xE9seau\r\nline2\r\nline3\r\nend");
    EXPECT_EQ(EncodeFileText("x", Enc::Utf8, End::Lf, true), "\xEF\xBB\xBFx");
    EXPECT_EQ(EncodeFileText("x", Enc::Latin1, End::Lf, true), "x");  // Latin-1 has no mark

    EXPECT_TRUE(CanEncodeFileText(text, Enc::Latin1));
    // Neither Latin-1 nor the Windows code page 1252 has Ł.
    const QString polish = QString::fromUtf8(
        "\xC5\x81\xC3\xB3"
        "d\xC5\xBA");
    EXPECT_FALSE(CanEncodeFileText(polish, Enc::Latin1));
    EXPECT_TRUE(CanEncodeFileText(polish, Enc::Utf8));
}

TEST(FilesCodec, NativeFilePathMapsBackslashes) {
    // Both separators become the platform's own ("\\" on Windows).
    auto native = [](QString path) { return path.replace(u'/', QDir::separator()); };
    EXPECT_EQ(NativeFilePath("/srv/norvane\\Clients"), native("/srv/norvane/Clients"));
    // A directory ending in a backslash gives two separators, used as they are.
    EXPECT_EQ(NativeFilePath("/srv/norvane\\\\users"), native("/srv/norvane//users"));
    EXPECT_EQ(NativeFilePath("relative/already"), native("relative/already"));
    EXPECT_EQ(NativeFilePath(""), "");
}
