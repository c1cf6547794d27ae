#pragma once
// What must hold for any input, shared by the fuzz targets (which abort on a broken
// property) and the regression test of the normal suite (which replays every saved
// input). Each check returns "" when the property holds, else what went wrong.

#include "RegFile.h"
#include "Settings.h"
#include "SqliteStore.h"
#include "TextFileEditor.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace norvane::fuzz {

inline std::string Shown(std::string_view s) {
    std::string out;
    for (unsigned char c : s.substr(0, 200)) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char b[8];
            std::snprintf(b, sizeof b, "\\x%02x", c);
            out += b;
        }
    }
    return out;
}

// LeadingNumber, NumberText and the load and save codecs of the settings.
inline std::string CheckNumbers(const std::uint8_t* data, std::size_t size) {
    using namespace Settings;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const std::optional<double> n = LeadingNumber(text);
    const std::string normal = Normalised(text);
    if (n && std::isfinite(*n)) {
        // Read back, the decimal text is the same number to its 15 digits, and from then on
        // it is a fixed form. (A fraction of 1E15 or more is written in 15 digits with an
        // exponent, which reads back as a whole number: one more pass writes it in digits.)
        const std::optional<double> back = LeadingNumber(normal);
        if (!back || std::fabs(*back - *n) > std::fabs(*n) * 1e-14)
            return "NumberText '" + normal + "' does not read back as " + Shown(text);
        const std::string twice = Normalised(normal);
        if (Normalised(twice) != twice)
            return "Normalised is not stable: '" + Shown(text) + "' -> '" + normal + "' -> '" + twice + "' -> '" +
                   Normalised(twice) + "'";
        if (normal.find_first_not_of("-0123456789.E+") != std::string::npos)
            return "NumberText wrote '" + Shown(normal) + "'";
    }
    if (const auto port = LoadPort(text)) {
        if (*port != normal || *port == "0" || port->empty())
            return "LoadPort of '" + Shown(text) + "' gave '" + *port + "', normalised '" + normal + "'";
    }
    if (const auto saved = SavePort(text)) {
        if (*saved != normal || *saved == "0")
            return "SavePort of '" + Shown(text) + "' gave '" + *saved + "'";
    }

    // Every load codec survives the text; a load that succeeds checks the boxes whose bits
    // the number carries, so saving those boxes gives the number's low bits back.
    LoadIgnoreCase(text);
    LoadReqAcctAuth(text);
    LoadAllowMalformed(text);
    LoadTrimName(text);
    LoadMode(text);
    LoadProxy(text);
    LoadSnmp(text);
    // The low bits as an unsigned number; -1 when the number has no 32-bit form.
    std::int64_t bits = -1;
    if (n)
        if (const auto b = ToInt32(*n))
            bits = static_cast<std::uint32_t>(*b);
    if (const auto debug = LoadDebug(text)) {
        std::array<int, 4> v{};
        for (std::size_t i = 0; i < v.size(); ++i)
            v[i] = (*debug)[i] ? 1 : 0;
        if (bits < 0 || SaveDebug(v) != std::to_string(bits & 0xF))
            return "Debug '" + Shown(text) + "' saved back as " + SaveDebug(v);
    }
    if (const auto options = LoadOptions(text)) {
        std::array<int, 14> v{};
        for (std::size_t i = 0; i < v.size(); ++i)
            v[i] = (*options)[i] ? 1 : 0;
        // Box 4 always comes back unchecked.
        if (bits < 0 || SaveOptions(v) != std::to_string(bits & 0x3FEF))
            return "Options '" + Shown(text) + "' saved back as " + SaveOptions(v);
    }

    // Save codecs from box values the input picks (0, 1 or 2).
    if (size >= 14) {
        std::array<int, 14> v{};
        for (std::size_t i = 0; i < 14; ++i)
            v[i] = data[i] % 3;
        std::uint32_t expect = 0;
        for (std::size_t i = 0; i < 14; ++i)
            expect |= (v[i] == 1 ? 1u : 0u) << i;
        if (SaveOptions(v) != std::to_string(expect))
            return "SaveOptions gave " + SaveOptions(v);
        const std::array<int, 6> p = {v[0], v[1], v[2], v[3], v[4], v[5]};
        const std::string proxy = SaveProxy(p);
        if (proxy.empty() || proxy.find_first_not_of("0123456789") != std::string::npos)
            return "SaveProxy gave '" + proxy + "'";
        SaveMode({v[0], (data[0] & 8) != 0}, {v[1], (data[1] & 8) != 0}, {v[2], (data[2] & 8) != 0},
                 {v[3], (data[3] & 8) != 0});
        SaveTrimName({v[4], (data[4] & 8) != 0}, {v[5], (data[5] & 8) != 0});
    }
    return {};
}

// A value entry made from bytes: formatted as a REGEDIT4 entry and parsed back, it is the
// same name, type and bytes.
inline std::string CheckRegValue(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return {};
    ValueEntry v;
    const std::uint32_t types[] = {
        RegType::Sz, RegType::ExpandSz, RegType::Binary, RegType::Dword, RegType::MultiSz, RegType::None, 11u, 0xFFFFu};
    v.type = types[data[0] % 8];
    const std::size_t nameLength = std::min<std::size_t>(data[1] % 16, size - 2);
    v.name.assign(reinterpret_cast<const char*>(data + 2), nameLength);
    v.data.assign(reinterpret_cast<const char*>(data + 2 + nameLength), size - 2 - nameLength);
    const auto line = RegFile::FormatValue(v);
    if (!line)
        return {};  // a name with control characters is refused, never written wrong
    const std::string file = RegFile::Header() + "[HKEY_LOCAL_MACHINE\\Fuzz]\r\n" + *line + "\r\n\r\n";
    const RegFile::ParsedFile parsed = RegFile::Parse(file);
    if (parsed.error)
        return "an exported value does not parse: line " + std::to_string(parsed.error->line) + ": " +
               parsed.error->message + "\n" + Shown(file);
    if (parsed.keys.size() != 1 || parsed.keys[0].values.size() != 1)
        return "an exported value parses as something else:\n" + Shown(file);
    const ValueEntry& back = parsed.keys[0].values[0].value;
    if (back.name != v.name || back.type != v.type || back.data != v.data)
        return "value changed on the trip: type " + std::to_string(v.type) + " -> " + std::to_string(back.type) +
               ", name '" + Shown(v.name) + "' -> '" + Shown(back.name) + "', data '" + Shown(v.data) + "' -> '" +
               Shown(back.data) + "'";
    return {};
}

// Any text: parsing never fails hard; a file that parses imports into a store whole, and
// what the store then exports parses and imports to the very same export.
inline std::string CheckRegImport(const std::uint8_t* data, std::size_t size, const std::string& storeA,
                                  const std::string& storeB) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const RegFile::ParsedFile parsed = RegFile::Parse(text);
    if (parsed.error)
        return {};
    QFile::remove(QString::fromStdString(storeA));
    QFile::remove(QString::fromStdString(storeB));
    std::string first;
    {
        SqliteStore a(storeA);
        const RegFile::Outcome in = RegFile::ImportFile(a, parsed);
        if (in.status != Status::Success)
            return {};  // refused whole (a value name the store cannot hold, say)
        const RegFile::Outcome out = RegFile::ExportTree(a, "", first);
        if (out.status != Status::Success)
            return "an imported store does not export: " + out.message;
    }
    const RegFile::ParsedFile again = RegFile::Parse(first);
    if (again.error)
        return "an export does not parse: line " + std::to_string(again.error->line) + ": " + again.error->message +
               "\n" + Shown(first);
    std::string second;
    {
        SqliteStore b(storeB);
        const RegFile::Outcome in = RegFile::ImportFile(b, again);
        if (in.status != Status::Success)
            return "an export does not import: " + in.message;
        const RegFile::Outcome out = RegFile::ExportTree(b, "", second);
        if (out.status != Status::Success)
            return "a re-imported store does not export: " + out.message;
    }
    if (first != second)
        return "export, import, export changed the text:\n" + Shown(first) + "\n---\n" + Shown(second);
    return {};
}

// The clients and users files: bytes -> text -> bytes.
inline std::string CheckFileBytes(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const DecodedText d = DecodeFileBytes(bytes);
    const QByteArray encoded = EncodeFileText(d.text, d.encoding, d.lineEnd, d.bom);
    if (!CanEncodeFileText(d.text, d.encoding))
        return "decoded text cannot be encoded in its own encoding";

    // Bytes whose line ends are all of one kind (and no lone CR) come back exactly.
    qsizetype lf = 0, crlf = 0, cr = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r'))
            ++lf;
        if (bytes[i] == '\r')
            (i + 1 < bytes.size() && bytes[i + 1] == '\n') ? ++crlf : ++cr;
    }
    const bool uniform = cr == 0 && (lf == 0 || crlf == 0);
    if (uniform && encoded != bytes)
        return "uniform line ends did not come back: " + Shown(bytes.toStdString()) + " -> " +
               Shown(encoded.toStdString());
    // Otherwise the lines come back with the file's main line end: decoding the result
    // gives the same text and form.
    const DecodedText again = DecodeFileBytes(encoded);
    if (again.text != d.text || again.encoding != d.encoding || again.bom != d.bom ||
        (d.text.contains(u'\n') && again.lineEnd != d.lineEnd))
        return "re-decoding changed the text or its form: " + Shown(bytes.toStdString());
    if (EncodeFileText(again.text, again.encoding, again.lineEnd, again.bom) != encoded)
        return "encoding is not stable: " + Shown(bytes.toStdString());
    return {};
}

// Where each line of a file's bytes begins, found from its text one character at a time:
// a reference for the editor's own line map.
inline std::vector<qsizetype> LineStartsOf(const QByteArray& bytes, const DecodedText& form) {
    const qsizetype bom = form.bom ? 3 : 0;
    const QByteArrayView body = QByteArrayView(bytes).sliced(bom);
    const QString text = DecodeText(body, form.encoding);
    std::vector<qsizetype> starts{bom};
    qsizetype at = bom;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (form.encoding == FileEncoding::Latin1 || c < 0x80)
            at += 1;
        else if (c < 0x800)
            at += 2;
        else if (QChar::isHighSurrogate(c))
            at += 4, ++i;
        else
            at += 3;
        const bool crBeforeLf = c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n';
        if ((c == u'\n' || c == u'\r' || c == 0x2029 || c == 0xFDD0 || c == 0xFDD1) && !crBeforeLf)
            starts.push_back(at);
    }
    return starts;
}

// Bytes in the file's form read back as the editor shows them: every line end "\n".
inline QString ShownText(const QByteArray& bytes, const DecodedText& form) {
    const QByteArrayView body = QByteArrayView(bytes).sliced(form.bom ? 3 : 0);
    QString text = DecodeText(body, form.encoding);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    for (const char16_t end : {u'\r', u'\x2029', u'\xFDD0', u'\xFDD1'})
        text.replace(QChar(end), u'\n');
    return text;
}

// A few edits at places a generator seeded by the input picks: what a save would write is
// then the whole text in the file's form (line ends aside), and keeps every byte of the
// lines before the first and after the last line an edit touched. Undo stays above `floor`
// steps.
template <typename Random>
std::string CheckRandomEdits(TextFileEditor& editor, const QByteArray& base, const DecodedText& form, Random& random,
                             int floor) {
    QTextDocument* doc = editor.document();
    const std::vector<qsizetype> starts = LineStartsOf(base, form);
    const int lines = static_cast<int>(starts.size());
    int head = lines;  // lines at the start no edit touched
    int tail = lines;  // and at the end
    const QString pieces[] = {QStringLiteral("x"),  QStringLiteral("\n"),     QStringLiteral("\t"),
                              QString(QChar(0xE9)), QStringLiteral("ab\ncd"), QString()};
    std::string done;
    for (int n = 1 + static_cast<int>(random() % 5); n > 0; --n) {
        const int length = doc->characterCount() - 1;
        const int at = static_cast<int>(random() % static_cast<unsigned>(length + 1));
        const int removed = random() % 3 == 0 ? static_cast<int>(random() % static_cast<unsigned>(length - at + 1)) : 0;
        const QString& added = pieces[random() % std::size(pieces)];
        if (random() % 6 == 0 && doc->availableUndoSteps() > floor) {
            doc->undo();  // undoes an edit already counted
            done += " undo";
            continue;
        }
        QTextCursor cursor(doc);
        cursor.setPosition(at);
        cursor.setPosition(at + removed, QTextCursor::KeepAnchor);
        head = std::min(head, doc->findBlock(at).blockNumber());
        cursor.insertText(added);
        tail =
            std::min(tail, doc->blockCount() - 1 - doc->findBlock(at + static_cast<int>(added.size())).blockNumber());
        done += " at " + std::to_string(at) + " -" + std::to_string(removed) + " +'" + Shown(added.toStdString()) + "'";
    }
    const QByteArray saved = editor.bytesToSave();
    const QString shown = doc->toRawText().replace(QChar::ParagraphSeparator, u'\n');
    const QByteArray reference = EncodeFileText(shown, form.encoding, form.lineEnd, form.bom);
    const auto what = [&] {
        return " after" + done + " on " + Shown(base.toStdString()) + ": " + Shown(saved.toStdString());
    };
    if (form.bom && !saved.startsWith("\xEF\xBB\xBF"))
        return "an edited save lost the byte order mark" + what();
    if (EncodeFileText(ShownText(saved, form), form.encoding, form.lineEnd, form.bom) != reference)
        return "an edited save is not the text" + what() + " instead of " + Shown(reference.toStdString());
    const QByteArray before = base.first(starts[static_cast<std::size_t>(head)]);
    const QByteArray after = base.sliced(tail == 0 ? base.size() : starts[static_cast<std::size_t>(lines - tail)]);
    if (!saved.startsWith(before) || !saved.endsWith(after))
        return "an edited save changed lines no edit touched" + what();
    return {};
}

// The editor itself (needs a QApplication): a file loaded and saved unedited comes back
// byte for byte, an edit at the end adds its bytes and nothing else, and so on for edits
// anywhere, before and after a real save; undone, edits give the bytes back.
inline std::string CheckFileEditor(const std::uint8_t* data, std::size_t size, const QString& path) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            return "cannot write the input file";
    }
    TextFileEditor editor;
    if (!editor.LoadFile(path))
        return "LoadFile failed";
    if (editor.bytesToSave() != bytes)
        return "an unedited save changes the file: " + Shown(bytes.toStdString());
    QTextDocument* doc = editor.document();
    QTextCursor end(doc);
    end.movePosition(QTextCursor::End);
    end.insertText(QStringLiteral("Z"));
    if (editor.bytesToSave() != bytes + "Z")
        return "an edit at the end changed other bytes: " + Shown(bytes.toStdString()) + " saved as " +
               Shown(editor.bytesToSave().toStdString());
    doc->undo();
    if (editor.bytesToSave() != bytes)
        return "an undone edit does not give the loaded bytes back: " + Shown(bytes.toStdString());

    const DecodedText form = DecodeFileBytes(bytes);
    std::minstd_rand random(static_cast<std::uint32_t>(std::hash<std::string_view>{}(bytes.toStdString())));
    if (std::string broken = CheckRandomEdits(editor, bytes, form, random, 0); !broken.empty())
        return broken;
    const QByteArray saved = editor.bytesToSave();
    QString error;
    if (!editor.SaveFile(path, &error))
        return "SaveFile failed: " + error.toStdString();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.readAll() != saved)
        return "the file does not hold what the save was to write: " + Shown(saved.toStdString());
    // From the save on, the saved bytes are the ones to keep.
    const int steps = doc->availableUndoSteps();
    if (std::string broken = CheckRandomEdits(editor, saved, form, random, steps); !broken.empty())
        return "after a save: " + broken;
    while (doc->availableUndoSteps() > steps)
        doc->undo();
    if (editor.bytesToSave() != saved)
        return "edits undone after a save do not give the saved bytes back: " + Shown(saved.toStdString()) + " -> " +
               Shown(editor.bytesToSave().toStdString());
    return {};
}

}  // namespace norvane::fuzz
