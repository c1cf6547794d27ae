#include "TextFileEditor.h"

#include "BusyCursor.h"
#include "FilePlace.h"
#include "FileWrite.h"
#include "Fonts.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace norvane {

namespace {

// About a tenth of a second of loading on an ordinary machine: past it the operator sees
// the busy pointer, shown before the work starts.
constexpr qsizetype BusyPointerBytes = 1 << 20;

}  // namespace

TextFileEditor::TextFileEditor(QWidget* parent) : QPlainTextEdit(parent) {
    setFont(ui::FixedFont(8.25));

    // Reached by clicking only; Tab inside it moves on, Ctrl+Tab types a tab.
    setFocusPolicy(Qt::ClickFocus);
    setTabChangesFocus(true);
    // Every change of the text, typed, set or undone, marks the lines a save encodes anew.
    connect(document(), &QTextDocument::contentsChange, this,
            [this](int position, int, int added) { contentsChange(position, added); });
    // One entry per line: wrapping would make a long line look like two.
    setLineWrapMode(QPlainTextEdit::NoWrap);
}

void TextFileEditor::contentsChange(int position, int added) {
    if (m_loading)
        return;
    const QTextDocument* doc = document();
    // The document may count its final block end in the change; positions stop at the last.
    const int end = std::max(0, doc->characterCount() - 1);
    const int first = doc->findBlock(std::clamp(position, 0, end)).blockNumber();
    const int last = doc->findBlock(std::clamp(position + added, 0, end)).blockNumber();
    m_lines.BlocksChanged(first, last, doc->blockCount());
}

bool TextFileEditor::LoadFile(const QString& path) {
    const QString nativePath = NativeFilePath(path);
    m_loadRefusal.clear();
    auto fail = [&](const QString& why) {
        m_loadError = why;
        m_loadErrorFile = nativePath;
        return false;
    };
    auto refuse = [&](const QString& why) {
        m_loadRefusal = why;
        return fail(why);
    };
    if (nativePath.isEmpty())
        return fail(SystemErrorText(ENOENT));
    const Destination destination = WhereLinkLeads(nativePath);
    if (!destination.refusal.isEmpty())
        return refuse(destination.refusal);
    if (destination.file.isEmpty())
        return fail(SystemErrorText(destination.error));
    const QString& target = destination.file;
    QFile file;
    DiskState state;
    bool regular = true;
    if (const int error = OpenToRead(file, target, &state, &regular))
        return fail(SystemErrorText(error));
    // Regular files only: a directory is no text, and a device could be endless.
    if (!regular)
        return fail(tr("This is not a regular file."));
    if (state.size > MaxShownBytes)
        return refuse(tr("%1 holds %2 bytes (%3 MB); files above %4 MB are not shown here, since the window would "
                         "stand still for many seconds. Edit it with another editor.")
                          .arg(nativePath)
                          .arg(state.size)
                          .arg(state.size >> 20)
                          .arg(MaxShownBytes >> 20));

    const ui::BusyCursor busy(state.size >= BusyPointerBytes ? this : nullptr, ui::BusyCursor::Show::Now);
    errno = 0;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(errno ? SystemErrorText(errno) : file.errorString());
    if (bytes.size() > MaxShownBytes)
        return fail(SystemErrorText(EFBIG));

    {
        // The text keeps its line ends: the document breaks lines at CRLF, LF and CR alike.
        const FileContent content = DecodeFileContent(bytes);
        m_loading = true;
        setPlainText(content.text);
        m_loading = false;
        m_lines.Reset(std::move(bytes), content.encoding, content.bomLength, document()->blockCount());
    }
    m_fileName = path;
    m_loadedFile = target;
    m_onDisk = state;
    m_loadError.clear();
    m_loadErrorFile.clear();
    return true;
}

QByteArray TextFileEditor::bytesToSave() const {
    if (m_lines.Unchanged())
        return m_lines.bytes();
    const LineMap::Plan plan = m_lines.MakePlan(*document());
    QByteArray bytes;
    bytes.reserve(plan.size);
    for (const QByteArrayView piece : plan.pieces)
        bytes.append(piece);
    return bytes;
}

bool TextFileEditor::ChangedOnDisk(const QString& target) const {
    const std::optional<DiskState> now = DiskStateOf(target);
    // A file removed since holds nothing a save could lose; one that cannot be looked at
    // is left to the write to report.
    if (!now || *now == m_onDisk)
        return false;
    if (now->size != m_lines.bytes().size())
        return true;
    // Touched, copied back or rewritten with the same size: the bytes decide.
    QFile file(target);
    return !file.open(QIODevice::ReadOnly) || file.readAll() != m_lines.bytes();
}

bool TextFileEditor::SaveFile(const QString& path, QString* error, QString* file, IfChanged ifChanged) {
    m_saveFoundChange = false;
    auto fail = [error, file](const QString& why, const QString& about) {
        if (error)
            *error = why;
        if (file)
            *file = about;
        return false;
    };
    if (path.isEmpty())
        return fail(m_loadError.isEmpty() ? SystemErrorText(ENOENT) : m_loadError, m_loadErrorFile);
    const QString nativePath = NativeFilePath(path);

    const ui::BusyCursor busy(m_lines.bytes().size() >= BusyPointerBytes ? this : nullptr, ui::BusyCursor::Show::Now);
    LineMap::Plan plan = m_lines.MakePlan(*document());
    if (!plan.encodable)
        return fail(tr("The text holds characters that the file's character set (%1) cannot store.")
                        .arg(EightBitCharacterSet()),
                    nativePath);
    if (plan.size > LineMap::MaxBytes)
        return fail(SystemErrorText(EFBIG), nativePath);

    const Destination destination = WhereLinkLeads(nativePath);
    if (destination.file.isEmpty())
        return fail(destination.refusal.isEmpty() ? SystemErrorText(destination.error) : destination.refusal,
                    nativePath);
    const QString& target = destination.file;
    // The loaded file is saved where it was read, never where a link repointed since leads.
    if (path == m_fileName && target != m_loadedFile) {
        const std::optional<DiskState> now = DiskStateOf(target);
        if (!now || !now->SameFile(m_onDisk))
            return fail(tr("%1 leads to %2 now, not to %3 as when it was loaded, so nothing was saved. "
                           "Reload it to edit the file it leads to now.")
                            .arg(nativePath, target, m_loadedFile),
                        nativePath);
    }

    // Another administrator's change is not written over unasked.
    if (path == m_fileName && ifChanged == IfChanged::Refuse && ChangedOnDisk(target)) {
        m_saveFoundChange = true;
        return fail(tr("%1 was changed by someone else after it was loaded here.").arg(nativePath), nativePath);
    }

    const WriteOutcome outcome = WriteFileBytes(target, plan.pieces, plan.size);
    if (!outcome.written)
        return fail(outcome.message, nativePath);
    if (path == m_fileName) {
        if (const std::optional<DiskState> now = DiskStateOf(target))
            m_onDisk = *now;
    }
    m_lines.Adopt(std::move(plan));
    document()->setModified(false);
    if (!outcome.message.isEmpty())
        return fail(outcome.message, nativePath);
    return true;
}

void TextFileEditor::Refresh() { viewport()->update(); }

void TextFileEditor::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Tab && (event->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier) {
        if (!isReadOnly())
            insertPlainText(QStringLiteral("\t"));
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

}  // namespace norvane
