#include "LineMap.h"

#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace norvane {

namespace {

// Where each line begins: after every line end the text document breaks a block at. Also
// counts CRLF and LF line ends, for the file's main line end. One pass.
std::vector<std::uint32_t> LineStarts(const QByteArray& bytes, FileEncoding encoding, int bomLength,
                                      FileLineEnd* mainLineEnd) {
    std::vector<std::uint32_t> starts;
    starts.reserve(static_cast<std::size_t>(bytes.size() / 32) + 2);
    starts.push_back(static_cast<std::uint32_t>(bomLength));
    // Bytes that may end a line: the loop skips all others at one test a byte.
    std::array<bool, 256> special{};
    special['\n'] = special['\r'] = true;
    special[0xE2] = special[0xEF] = encoding == FileEncoding::Utf8;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype crlf = 0;
    qsizetype lf = 0;
    for (qsizetype i = bomLength; i < n; ++i) {
        while (!special[p[i]] && ++i < n) {
        }
        if (i == n)
            break;
        const unsigned char c = p[i];
        if (c == '\n') {
            ++lf;
        } else if (c == '\r') {
            if (i + 1 < n && p[i + 1] == '\n') {
                ++crlf;
                ++i;
            }
        } else if (i + 2 < n &&
                   ((c == 0xE2 && p[i + 1] == 0x80 && p[i + 2] == 0xA9) ||                         // U+2029
                    (c == 0xEF && p[i + 1] == 0xB7 && (p[i + 2] == 0x90 || p[i + 2] == 0x91)))) {  // U+FDD0/1
            i += 2;
        } else {
            continue;
        }
        starts.push_back(static_cast<std::uint32_t>(i + 1));
    }
    starts.push_back(static_cast<std::uint32_t>(n));
    *mainLineEnd = lf > crlf ? FileLineEnd::Lf : FileLineEnd::CrLf;
    return starts;
}

}  // namespace

void LineMap::Reset(QByteArray bytes, FileEncoding encoding, int bomLength, int blockCount) {
    m_bytes = std::move(bytes);
    m_encoding = encoding;
    m_starts = LineStarts(m_bytes, encoding, bomLength, &m_lineEnd);
    m_touched.clear();
    m_blockCount = blockCount;
    // Should the document ever break lines elsewhere, a save compares every line instead.
    if (blockCount != lineCount())
        m_touched.push_back({0, lineCount(), blockCount});
}

void LineMap::BlocksChanged(int first, int last, int blockCount) {
    const int lastBefore = last + (m_blockCount - blockCount);
    m_blockCount = blockCount;
    // Between touched stretches a block is its original line moved by `shift`.
    int shift = 0;
    auto from = m_touched.begin();
    for (; from != m_touched.end() && from->first + shift + from->blocks <= first; ++from)
        shift += from->blocks - (from->end - from->first);
    Touched merged{first - shift, 0, 0};
    int begin = first;  // in block numbers from before the change
    int lastEnd = -1;   // last block of the last touched stretch the change reaches
    int lastLineEnd = 0;
    auto to = from;
    for (; to != m_touched.end() && to->first + shift <= lastBefore; ++to) {
        const int start = to->first + shift;
        if (start < begin) {
            begin = start;
            merged.first = to->first;
        }
        shift += to->blocks - (to->end - to->first);
        lastEnd = start + to->blocks - 1;
        lastLineEnd = to->end;
    }
    const int end = std::max(lastEnd, lastBefore);
    merged.end = lastEnd >= lastBefore ? lastLineEnd : lastBefore - shift + 1;
    merged.blocks = end - begin + 1 + (last - lastBefore);
    m_touched.insert(m_touched.erase(from, to), merged);
}

QByteArrayView LineMap::lineBytes(int first, int end) const {
    return QByteArrayView(m_bytes).sliced(m_starts[first], m_starts[end] - m_starts[first]);
}

QByteArrayView LineMap::lineEndOf(int line) const {
    const QByteArrayView bytes = lineBytes(line, line + 1);
    if (line + 1 == lineCount())
        return {};
    if (bytes.endsWith("\r\n"))
        return bytes.last(2);
    if (bytes.endsWith('\n') || bytes.endsWith('\r'))
        return bytes.last(1);
    return bytes.last(3);
}

QString LineMap::lineText(int line) const {
    const QByteArrayView bytes = lineBytes(line, line + 1).chopped(lineEndOf(line).size());
    return DecodeText(bytes, m_encoding);
}

LineMap::Plan LineMap::MakePlan(const QTextDocument& document) const {
    Plan plan;
    Plan::Change change{m_starts.front(), 0, 0, 0, {}, {}};  // the one being made
    const QByteArrayView bom = QByteArrayView(m_bytes).first(m_starts.front());
    if (!bom.isEmpty())
        plan.pieces.append(bom);
    plan.size = bom.size();
    char lastByte = 0;  // of what is written so far
    auto endChange = [&](qsizetype to, int endLine) {
        change.to = to;
        change.endLine = endLine;
        if (change.from == to && change.bytes.isEmpty())
            return;
        plan.size += change.bytes.size();
        plan.changes.push_back(std::exchange(change, {}));
        if (!plan.changes.back().bytes.isEmpty())
            plan.pieces.append(plan.changes.back().bytes);
    };
    // A lone CR with a line feed after it would read as one CRLF, and a line would be gone:
    // the empty line after it ends in CRLF instead.
    auto keepApart = [&](QByteArrayView next) {
        const char last = change.bytes.isEmpty() ? lastByte : change.bytes.back();
        if (last != '\r' || !next.startsWith('\n'))
            return false;
        change.starts.push_back(static_cast<std::uint32_t>(change.bytes.size()));
        change.bytes.append('\r');
        return true;
    };
    auto keep = [&](int first, int end) {  // lines [first, end) as they were read
        if (first >= end)
            return;
        const QByteArrayView bytes = lineBytes(first, end);
        const bool apart = keepApart(bytes);
        endChange(m_starts[first], first + (apart ? 1 : 0));
        // Loaded bytes that follow each other go out as one piece (bytes of a change never
        // begin where loaded ones end: each buffer ends in a terminating zero of its own).
        if (!plan.pieces.isEmpty() && plan.pieces.back().end() == bytes.begin())
            plan.pieces.back() = QByteArrayView(plan.pieces.back().begin(), bytes.end());
        else if (!bytes.isEmpty())
            plan.pieces.append(bytes);
        plan.size += bytes.size();
        if (!bytes.isEmpty())
            lastByte = bytes.back();
        change = {m_starts[end], 0, end, 0, {}, {}};
    };
    auto encode = [&](const QString& text, QByteArrayView end) {  // a line written anew
        plan.encodable = plan.encodable && CanEncodeFileText(text, m_encoding);
        if (!(text.isEmpty() && keepApart(end)))
            change.starts.push_back(static_cast<std::uint32_t>(change.bytes.size()));
        AppendEncoded(change.bytes, text, m_encoding);
        change.bytes.append(end);
    };

    int next = 0;
    int shift = 0;
    for (const Touched& t : m_touched) {
        keep(next, t.first);
        next = t.end;
        const int lines = t.end - t.first;
        const int firstBlock = t.first + shift;
        shift += t.blocks - lines;

        // Lines at either end of the stretch that read as they did keep their bytes
        // (an undone edit gives the loaded bytes back).
        QTextBlock block = document.findBlockByNumber(firstBlock);
        int same = 0;
        while (same < t.blocks - 1 && same < lines - 1 && block.text() == lineText(t.first + same)) {
            ++same;
            block = block.next();
        }
        QTextBlock last = document.findBlockByNumber(firstBlock + t.blocks - 1);
        int sameAtEnd = 0;
        while (sameAtEnd < t.blocks - same && sameAtEnd < lines - same &&
               last.text() == lineText(t.end - 1 - sameAtEnd)) {
            ++sameAtEnd;
            last = last.previous();
        }
        keep(t.first, t.first + same);
        // When the stretch still has as many lines as it had, line stands for line: each
        // keeps its line end, and its bytes when it reads as it did.
        const int count = t.blocks - same - sameAtEnd;
        const bool lineForLine = count == lines - same - sameAtEnd;
        for (int i = 0; i < count; ++i, block = block.next()) {
            const int line = t.first + same + i;
            const QString text = block.text();
            if (lineForLine && text == lineText(line))
                keep(line, line + 1);
            else if (lineForLine)
                encode(text, lineEndOf(line));
            else  // the line end after the stretch is the one the file had there
                encode(text, i + 1 < count || sameAtEnd > 0 ? LineEndBytes(m_lineEnd) : lineEndOf(t.end - 1));
        }
        keep(t.end - sameAtEnd, t.end);
    }
    keep(next, lineCount());
    endChange(m_bytes.size(), lineCount());
    return plan;
}

void LineMap::Adopt(Plan plan) {
    // The bytes: a few changes are made in place, from the last, so no new buffer has to be
    // filled; many, in one pass into a new one.
    if (plan.changes.size() <= 4) {
        for (auto c = plan.changes.rbegin(); c != plan.changes.rend(); ++c) {
            const qsizetype size = m_bytes.size();
            const qsizetype grow = c->bytes.size() - (c->to - c->from);
            if (grow > 0)
                m_bytes.resize(size + grow);
            char* data = m_bytes.data();
            std::memmove(data + c->to + grow, data + c->to, static_cast<std::size_t>(size - c->to));
            std::copy(c->bytes.cbegin(), c->bytes.cend(), data + c->from);
            if (grow < 0)
                m_bytes.truncate(size + grow);
        }
    } else {
        QByteArray bytes(plan.size, Qt::Uninitialized);
        char* out = bytes.data();
        for (const QByteArrayView piece : std::as_const(plan.pieces))
            out = std::copy(piece.begin(), piece.end(), out);
        m_bytes = std::move(bytes);
    }

    // The line starts: those past a change move by what it added; its own are new.
    const bool sameLines = std::all_of(plan.changes.begin(), plan.changes.end(), [](const Plan::Change& c) {
        return c.starts.size() == static_cast<std::size_t>(c.endLine - c.firstLine);
    });
    std::vector<std::uint32_t> rebuilt;
    if (!sameLines)
        rebuilt.reserve(m_starts.size());
    qsizetype moved = 0;
    std::size_t next = 0;
    auto copyUpTo = [&](std::size_t end) {
        for (; next < end; ++next) {
            const auto start = static_cast<std::uint32_t>(m_starts[next] + moved);
            if (sameLines)
                m_starts[next] = start;
            else
                rebuilt.push_back(start);
        }
    };
    for (const Plan::Change& c : plan.changes) {
        copyUpTo(static_cast<std::size_t>(c.firstLine));
        const qsizetype from = c.from + moved;
        for (std::size_t i = 0; i < c.starts.size(); ++i) {
            const auto start = static_cast<std::uint32_t>(from + c.starts[i]);
            if (sameLines)
                m_starts[next + i] = start;
            else
                rebuilt.push_back(start);
        }
        next = static_cast<std::size_t>(c.endLine);
        moved += c.bytes.size() - (c.to - c.from);
    }
    copyUpTo(m_starts.size());
    if (!sameLines)
        m_starts = std::move(rebuilt);
    m_touched.clear();
}

}  // namespace norvane
