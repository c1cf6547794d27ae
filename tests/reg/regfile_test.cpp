// REGEDIT4 formatting and parsing on their own, without a store.

#include "RegFile.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

using namespace norvane;
using norvane::RegFile::FormatValue;
using norvane::RegFile::Parse;

namespace {

ValueEntry V(std::string name, std::uint32_t type, std::string data) {
    return {std::move(name), type, std::move(data)};
}

std::string S(const char* bytes, std::size_t n) { return std::string(bytes, n); }

std::string File(const std::string& body) { return "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\r\n" + body; }

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

}  // namespace

TEST(RegFileFormat, EachTypeTakesItsRegeditForm) {
    EXPECT_EQ(*FormatValue(V("Port", RegType::Sz, S("1812\0", 5))), "\"Port\"=\"1812\"");
    EXPECT_EQ(*FormatValue(V("", RegType::Sz, S("x\0", 2))), "@=\"x\"");
    EXPECT_EQ(*FormatValue(V("Empty", RegType::Sz, S("\0", 1))), "\"Empty\"=\"\"");
    // A string is shown as text only when it is text and one NUL.
    EXPECT_EQ(*FormatValue(V("NoNul", RegType::Sz, "1812")), "\"NoNul\"=hex(1):31,38,31,32");
    EXPECT_EQ(*FormatValue(V("Two", RegType::Sz, S("1812\0\0", 6))), "\"Two\"=hex(1):31,38,31,32,00,00");
    EXPECT_EQ(*FormatValue(V("Zero", RegType::Sz, "")), "\"Zero\"=hex(1):");
    EXPECT_EQ(*FormatValue(V("Inner", RegType::Sz, S("a\0b\0", 4))), "\"Inner\"=hex(1):61,00,62,00");
    EXPECT_EQ(*FormatValue(V("Tab", RegType::Sz, S("a\tb\0", 4))), "\"Tab\"=hex(1):61,09,62,00");
    EXPECT_EQ(*FormatValue(V("Eol", RegType::Sz, S("a\r\n\0", 4))), "\"Eol\"=hex(1):61,0d,0a,00");
    EXPECT_EQ(*FormatValue(V("High", RegType::Sz, S("caf\xe9\0", 5))), "\"High\"=\"caf\xe9\"");
    EXPECT_EQ(*FormatValue(V("E", RegType::ExpandSz, S("%A%\0", 4))), "\"E\"=hex(2):25,41,25,00");
    EXPECT_EQ(*FormatValue(V("M", RegType::MultiSz, S("a\0b\0\0", 5))), "\"M\"=hex(7):61,00,62,00,00");
    EXPECT_EQ(*FormatValue(V("D", RegType::Dword, S("\x14\x07\0\0", 4))), "\"D\"=dword:00000714");
    EXPECT_EQ(*FormatValue(V("D", RegType::Dword, "\xff\xff\xff\xff")), "\"D\"=dword:ffffffff");
    EXPECT_EQ(*FormatValue(V("Short", RegType::Dword, "\x01\x02")), "\"Short\"=hex(4):01,02");
    EXPECT_EQ(*FormatValue(V("B", RegType::Binary, "\x0a\xff")), "\"B\"=hex:0a,ff");
    EXPECT_EQ(*FormatValue(V("B", RegType::Binary, "")), "\"B\"=hex:");
    EXPECT_EQ(*FormatValue(V("Q", 11, "\x01")), "\"Q\"=hex(b):01");
    EXPECT_EQ(*FormatValue(V("N", 0, "")), "\"N\"=hex(0):");

    EXPECT_EQ(*FormatValue(V("a\"b\\c", RegType::Sz, S("C:\\x \"y\"\0", 9))), "\"a\\\"b\\\\c\"=\"C:\\\\x \\\"y\\\"\"");
    // A name with a line break cannot be written without breaking the file.
    EXPECT_FALSE(FormatValue(V("a\nb", RegType::Sz, S("x\0", 2))));
    EXPECT_FALSE(RegFile::FormatSection("SOFTWARE\\a\rb", {}));
}

TEST(RegFileFormat, LongHexListsWrapLikeRegedit) {
    std::string blob;
    for (int i = 0; i < 60; ++i)
        blob += static_cast<char>(i);
    EXPECT_EQ(*FormatValue(V("Blob", RegType::Binary, blob)),
              "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
              "  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,\\\r\n"
              "  2f,30,31,32,33,34,35,36,37,38,39,3a,3b");

    // Whatever the name's length, no line passes 80 columns and each ends after a comma.
    for (std::size_t nameLength : {0u, 1u, 30u, 67u, 68u, 69u, 70u}) {
        const std::string text =
            *FormatValue(V(std::string(nameLength, 'n'), RegType::Binary, std::string(300, '\x5a')));
        const auto lines = Lines(text);
        ASSERT_GT(lines.size(), 3u);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (nameLength < 60) {
                EXPECT_LE(lines[i].size(), 80u) << lines[i];
            }
            if (i + 1 < lines.size()) {
                EXPECT_EQ(lines[i].substr(lines[i].size() - 2), ",\\") << lines[i];
            }
            if (i > 0) {
                EXPECT_EQ(lines[i].substr(0, 2), "  ");
            }
        }
        const auto parsed = Parse(File(text + "\r\n"));
        ASSERT_FALSE(parsed.error) << parsed.error->message;
        EXPECT_EQ(parsed.keys.at(0).values.at(0).value.data, std::string(300, '\x5a'));
    }
}

TEST(RegFileParse, ReadsEveryFormBackToTheSameBytes) {
    // Values of every type, with names and bytes drawn at random, survive Format then Parse.
    std::mt19937 rng(1812);
    const std::uint32_t types[] = {RegType::None,    RegType::Sz, RegType::ExpandSz, RegType::Binary, RegType::Dword,
                                   RegType::MultiSz, 11,          0x12345678};
    std::vector<ValueEntry> values;
    for (int i = 0; i < 400; ++i) {
        ValueEntry v;
        v.type = types[rng() % std::size(types)];
        const std::size_t nameLength = rng() % 12;
        for (std::size_t k = 0; k < nameLength; ++k) {
            const char pool[] = "ab\\\"= @[]\xe9;";
            v.name += pool[rng() % (sizeof pool - 1)];
        }
        const std::size_t dataLength = v.type == RegType::Dword && rng() % 2 ? 4 : rng() % 120;
        for (std::size_t k = 0; k < dataLength; ++k)
            v.data += static_cast<char>(rng() % 4 == 0 ? rng() % 256 : 'a' + rng() % 26);
        if (v.type == RegType::Sz && rng() % 2)
            v.data += '\0';  // the common case, shown as a quoted string
        values.push_back(v);
    }
    const auto section = RegFile::FormatSection("SOFTWARE\\T", values);
    ASSERT_TRUE(section);
    const auto parsed = Parse(RegFile::Header() + *section);
    ASSERT_FALSE(parsed.error) << parsed.error->line << ": " << parsed.error->message;
    ASSERT_EQ(parsed.keys.size(), 1u);
    EXPECT_EQ(parsed.keys[0].path, "SOFTWARE\\T");
    ASSERT_EQ(parsed.keys[0].values.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        const ValueEntry& got = parsed.keys[0].values[i].value;
        EXPECT_EQ(got.name, values[i].name) << i;
        EXPECT_EQ(got.type, values[i].type) << i;
        EXPECT_EQ(got.data, values[i].data) << i;
        EXPECT_FALSE(parsed.keys[0].values[i].remove);
    }
}

TEST(RegFileParse, AcceptsWhatRegeditWrites) {
    const std::string text =
        "REGEDIT4\n"
        "\n"
        "; a comment\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n"
        "@=\"top\"\n"
        "\"Dw\"=dword:1F\n"
        "\"Gone\"=-\n"
        "\"Hx\"=hex(2):41,\\\n"
        "    42,00\n"
        "\n"
        "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\Old]\n"
        "[hklm\\SOFTWARE\\B\\]\n"
        "\"Bin\" = HEX: 0A , ff\n";
    const auto parsed = Parse(text);
    ASSERT_FALSE(parsed.error) << parsed.error->line << ": " << parsed.error->message;
    ASSERT_EQ(parsed.keys.size(), 3u);

    const auto& a = parsed.keys[0];
    EXPECT_EQ(a.path, "SOFTWARE\\A");
    EXPECT_FALSE(a.remove);
    EXPECT_EQ(a.line, 4);
    ASSERT_EQ(a.values.size(), 4u);
    EXPECT_EQ(a.values[0].value.name, "");
    EXPECT_EQ(a.values[0].value.data, S("top\0", 4));
    EXPECT_EQ(a.values[1].value.type, RegType::Dword);
    EXPECT_EQ(a.values[1].value.data, S("\x1f\0\0\0", 4));
    EXPECT_TRUE(a.values[2].remove);
    EXPECT_EQ(a.values[2].value.name, "Gone");
    EXPECT_EQ(a.values[3].value.type, RegType::ExpandSz);
    EXPECT_EQ(a.values[3].value.data, S("AB\0", 3));
    EXPECT_EQ(a.values[3].line, 8);

    EXPECT_TRUE(parsed.keys[1].remove);
    EXPECT_EQ(parsed.keys[1].path, "SOFTWARE\\A\\Old");
    EXPECT_EQ(parsed.keys[2].path, "SOFTWARE\\B");
    EXPECT_EQ(parsed.keys[2].values.at(0).value.type, RegType::Binary);
    EXPECT_EQ(parsed.keys[2].values.at(0).value.data, "\x0a\xff");

    // CRLF and LF read alike.
    std::string crlf;
    for (char c : text)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const auto again = Parse(crlf);
    ASSERT_FALSE(again.error);
    EXPECT_EQ(again.keys[0].values[3].value.data, S("AB\0", 3));
}

TEST(RegFileParse, NamesTheLineThatIsWrong) {
    struct Case {
        std::string text;
        int line;
    };
    const std::string head = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\r\n\"ok\"=\"1\"\r\n";  // lines 1-4
    const Case cases[] = {
        {"REGEDIT5\r\n", 1},
        {"Windows Registry Editor Version 5.00\r\n", 1},
        {"", 1},
        {"REGEDIT4\r\n\"a\"=\"b\"\r\n", 2},
        {head + "\"a\"=\"unterminated\r\n", 5},
        {head + "\"a\"=\"x\" trailing\r\n", 5},
        {head + "\"a\"=\"bad \\n escape\"\r\n", 5},
        {head + "\"a\"\"b\"\r\n", 5},
        {head + "\"a\"=dword:123456789\r\n", 5},
        {head + "\"a\"=dword:xyz\r\n", 5},
        {head + "\"a\"=dword:\r\n", 5},
        {head + "\"a\"=hex:1,2\r\n", 5},
        {head + "\"a\"=hex:01,,02\r\n", 5},
        {head + "\"a\"=hex:01,02,\r\n", 5},
        {head + "\"a\"=hex(zz):01\r\n", 5},
        {head + "\"a\"=hex(1)01\r\n", 5},
        {head + "\"a\"=text\r\n", 5},
        {head + "plain words\r\n", 5},
        {head + "[HKEY_CURRENT_USER\\X]\r\n", 5},
        {head + "[HKEY_LOCAL_MACHINE\\X\r\n", 5},
        {head + "[HKEY_LOCAL_MACHINE\\X\\\\Y]\r\n", 5},
        {head + "[-HKEY_LOCAL_MACHINE]\r\n", 5},
        {head + "[-HKEY_LOCAL_MACHINE\\X]\r\n\"a\"=\"b\"\r\n", 6},
        {head + "\"a\"=hex:01,\\\r\n  02,zz\r\n\"b\"=\"c\"\r\n", 5},
        {head + "\"a\"=hex:01,\\\r\n", 5},
        {head + "\r\n\"ok2\"=\"2\"\r\n\"bad\"=\r\n", 7},
    };
    for (const Case& c : cases) {
        const auto parsed = Parse(c.text);
        ASSERT_TRUE(parsed.error) << c.text;
        EXPECT_EQ(parsed.error->line, c.line) << c.text;
        EXPECT_FALSE(parsed.error->message.empty());
        EXPECT_TRUE(parsed.keys.empty()) << "a malformed file yields nothing to write";
    }
}

TEST(RegFileParse, KeyNames) {
    EXPECT_EQ(RegFile::ParseKeyName("HKLM\\SOFTWARE\\Tarsel\\Norvane"), "SOFTWARE\\Tarsel\\Norvane");
    EXPECT_EQ(RegFile::ParseKeyName("HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsel\\Norvane"), "SOFTWARE\\Tarsel\\Norvane");
    EXPECT_EQ(RegFile::ParseKeyName("hkey_local_machine\\a\\"), "a");
    EXPECT_EQ(RegFile::ParseKeyName("HKLM"), "");
    EXPECT_EQ(RegFile::ParseKeyName("HKLM\\"), "");
    EXPECT_FALSE(RegFile::ParseKeyName("HKCU\\SOFTWARE"));
    EXPECT_FALSE(RegFile::ParseKeyName("HKEY_USERS\\x"));
    EXPECT_FALSE(RegFile::ParseKeyName("HKLMX\\x"));
    EXPECT_FALSE(RegFile::ParseKeyName("SOFTWARE\\Tarsel"));
    EXPECT_FALSE(RegFile::ParseKeyName("HKLM\\\\SOFTWARE"));
    EXPECT_FALSE(RegFile::ParseKeyName("HKLM\\a\\\\b"));
    EXPECT_EQ(RegFile::FullKeyName(""), "HKEY_LOCAL_MACHINE");
    EXPECT_EQ(RegFile::FullKeyName("a\\b"), "HKEY_LOCAL_MACHINE\\a\\b");
}
