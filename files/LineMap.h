#pragma once
// The bytes a file was loaded from, where each of its lines begins in them, and which lines
// of the text document edits have touched since. A save writes the untouched lines as the
// bytes they were read from and encodes only the touched ones anew.
//
// A "line" is what the document makes a block of: the text up to a line feed, a CRLF, a
// lone CR, or (in UTF-8) a U+2029, U+FDD0 or U+FDD1, each of which ends a block there.

#include "FileText.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <cstdint>
#include <vector>

class QTextDocument;

namespace norvane {

class LineMap {
public:
    // What a save writes, in order; `pieces` point into the map's bytes and the plan's own.
    struct Plan {
        QList<QByteArrayView> pieces;
        qsizetype size = 0;
        bool encodable = true;  // false when an edited line holds a character the encoding lacks
    private:
        friend class LineMap;
        // Loaded bytes [from, to) become `bytes`; the starts of lines [firstLine, endLine)
        // become `starts`, offsets into `bytes`.
        struct Change {
            qsizetype from = 0;
            qsizetype to = 0;
            int firstLine = 0;
            int endLine = 0;
            QByteArray bytes;
            std::vector<std::uint32_t> starts;
        };
        std::vector<Change> changes;
    };

    // Largest file the map can address.
    static constexpr qsizetype MaxBytes = 0xFFFF'FFFF;

    // Takes freshly loaded bytes; `blockCount` is the document's once it holds their text.
    void Reset(QByteArray bytes, FileEncoding encoding, int bomLength, int blockCount);
    // Document blocks [first, lastBefore] became [first, last]; the document now has
    // `blockCount` blocks. What the document reports as changed, in block numbers.
    void BlocksChanged(int first, int last, int blockCount);

    bool Unchanged() const { return m_touched.empty(); }
    const QByteArray& bytes() const { return m_bytes; }
    FileEncoding encoding() const { return m_encoding; }
    FileLineEnd lineEnd() const { return m_lineEnd; }
    bool hasBom() const { return m_starts.front() > 0; }

    Plan MakePlan(const QTextDocument& document) const;
    // The plan was written: its bytes are now the file's.
    void Adopt(Plan plan);

private:
    // Original lines [first, end) are now `blocks` document blocks.
    struct Touched {
        int first;
        int end;
        int blocks;
    };
    int lineCount() const { return static_cast<int>(m_starts.size()) - 1; }
    QByteArrayView lineBytes(int first, int end) const;  // lines [first, end) with their ends
    QByteArrayView lineEndOf(int line) const;
    QString lineText(int line) const;

    QByteArray m_bytes;
    FileEncoding m_encoding = FileEncoding::Utf8;
    FileLineEnd m_lineEnd = FileLineEnd::CrLf;
    std::vector<std::uint32_t> m_starts{0, 0};  // byte offset of each line, then the size
    std::vector<Touched> m_touched;             // in order, apart
    int m_blockCount = 1;
};

}  // namespace norvane
