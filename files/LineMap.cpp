#include "LineMap.h"

#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <utility>

namespace norvane {

namespace {

// Where each line begins: after every line end the text document breaks a block at.
std::vector<std::uint32_t> LineStarts(const QByteArray& bytes, FileEncoding encoding, int bomLength) {
    std::vector<std::uint32_t> starts{static_cast<std::uint32_t>(bomLength)};
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    const bool utf8 = encoding == FileEncoding::Utf8;
    for (qsizetype i = bomLength; i < n; ++i) {
        const unsigned char c = p[i];
        if (c == '\n') {
            starts.push_back(static_cast<std::uint32_t>(i + 1));
        } else if (c == '\r') {
            if (i + 1 < n && p[i + 1] == '\n')
                ++i;
            starts.push_back(static_cast<std::uint32_t>(i + 1));
        } else if (utf8 && i + 2 < n &&
                   ((c == 0xE2 && p[i + 1] == 0x80 && p[i + 2] == 0xA9) ||                   // U+2029
                    (c == 0xEF && p[i + 1] == 0xB7 && (p[i + 2] == 0x90 || p[i + 2] == 0x91)))) {  // U+FDD0, U+FDD1
            i += 2;
            starts.push_back(static_cast<std::uint32_t>(i + 1));
        }
    }
    starts.push_back(static_cast<std::uint32_t>(n));
    return starts;
}

}  // namespace

void LineMap::Reset(QByteArray bytes, FileEncoding encoding, int bomLength, int blockCount) {
    m_bytes = std::move(bytes);
    m_encoding = encoding;
    m_lineEnd = MainLineEnd(m_bytes);
    m_starts = LineStarts(m_bytes, encoding, bomLength);
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
    int begin = first;   // in block numbers from before the change
    int lastEnd = -1;    // last block of the last touched stretch the change reaches
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
    plan.starts.reserve(static_cast<std::size_t>(document.blockCount()) + 1);
    bool lastLoaded = false;
    char lastByte = 0;
    auto add = [&](QByteArrayView bytes, bool loaded) {
        if (bytes.isEmpty())
            return;
        // Loaded bytes that follow each other go out as one piece.
        if (loaded && lastLoaded && plan.pieces.back().end() == bytes.begin())
            plan.pieces.back() = QByteArrayView(plan.pieces.back().begin(), bytes.end());
        else
            plan.pieces.append(bytes);
        lastLoaded = loaded;
        lastByte = bytes.back();
        plan.size += bytes.size();
    };
    // Lines, as bytes and where each begins in them.
    auto addLines = [&](QByteArrayView bytes, int count, auto startOf, bool loaded) {
        // A lone CR with a line feed after it would read as one CRLF, and a line would be
        // gone: the empty line after it ends in CRLF instead.
        const bool apart = lastByte == '\r' && bytes.startsWith('\n');
        for (int i = 0; i < count; ++i)
            plan.starts.push_back(static_cast<std::uint32_t>(plan.size + startOf(i) + (apart && i > 0 ? 1 : 0)));
        if (apart)
            add("\r", false);
        add(bytes, loaded);
    };
    auto addLoaded = [&](int first, int end) {   // lines [first, end) as they were read
        if (first < end)
            addLines(lineBytes(first, end), end - first, [&](int i) { return m_starts[first + i] - m_starts[first]; }, true);
    };

    add(QByteArrayView(m_bytes).first(m_starts.front()), true);   // the byte order mark
    int next = 0;
    int shift = 0;
    for (const Touched& t : m_touched) {
        addLoaded(next, t.first);
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
        addLoaded(t.first, t.first + same);
        // When the stretch still has as many lines as it had, line stands for line: each
        // keeps its line end, and its bytes when it reads as it did.
        const int count = t.blocks - same - sameAtEnd;
        const bool lineForLine = count == lines - same - sameAtEnd;
        QByteArray out;
        std::vector<qsizetype> starts;
        auto addEncoded = [&] {
            if (starts.empty())
                return;
            plan.encoded.push_back(std::exchange(out, {}));
            addLines(plan.encoded.back(), static_cast<int>(starts.size()),
                     [&](int i) { return starts[static_cast<std::size_t>(i)]; }, false);
            starts.clear();
        };
        for (int i = 0; i < count; ++i, block = block.next()) {
            const int line = t.first + same + i;
            const QString text = block.text();
            if (lineForLine && text == lineText(line)) {
                addEncoded();
                addLoaded(line, line + 1);
                continue;
            }
            starts.push_back(out.size());
            plan.encodable = plan.encodable && CanEncodeFileText(text, m_encoding);
            AppendEncoded(out, text, m_encoding);
            // The line end after the stretch is the one the file had there.
            const QByteArrayView end = lineForLine ? lineEndOf(line)
                                       : i + 1 < count || sameAtEnd > 0 ? LineEndBytes(m_lineEnd)
                                                                       : lineEndOf(t.end - 1);
            if (text.isEmpty() && end.startsWith('\n') && (out.isEmpty() ? lastByte : out.back()) == '\r')
                out.append('\r');   // as in addLines
            out.append(end);
        }
        addEncoded();
        addLoaded(t.end - sameAtEnd, t.end);
    }
    addLoaded(next, lineCount());
    plan.starts.push_back(static_cast<std::uint32_t>(plan.size));
    return plan;
}

void LineMap::Adopt(Plan plan) {
    const bool same = plan.pieces.size() == 1 && plan.pieces.front().data() == m_bytes.constData() &&
                      plan.pieces.front().size() == m_bytes.size();
    if (!same) {
        QByteArray bytes(plan.size, Qt::Uninitialized);
        char* out = bytes.data();
        for (const QByteArrayView piece : std::as_const(plan.pieces))
            out = std::copy(piece.begin(), piece.end(), out);
        m_bytes = std::move(bytes);
    }
    m_starts = std::move(plan.starts);
    m_touched.clear();
}

}  // namespace norvane
