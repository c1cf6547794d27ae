#include "TextFileEditor.h"

#include "BusyCursor.h"
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

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace norvane {

namespace {

// About a tenth of a second of loading on an ordinary machine: past it the operator sees
// the busy pointer, shown before the work starts.
constexpr qsizetype BusyPointerBytes = 1 << 20;

// The file a path names in the end, also when it is still to be made: links followed, the
// directory made canonical. Empty, with *error set, for a loop of links or a directory
// that cannot be reached.
QString WhereLinkLeads(const QString& path, int* error) {
    QFileInfo info(path);
    for (int depth = 0; info.isSymLink(); ++depth) {
        if (depth == 40) {
            *error = ELOOP;
            return {};
        }
        info.setFile(info.symLinkTarget());
    }
    char* directory = ::realpath(QFile::encodeName(info.absolutePath()).constData(), nullptr);
    if (!directory) {
        *error = errno;
        return {};
    }
    const QString file = QDir(QFile::decodeName(directory)).filePath(info.fileName());
    std::free(directory);
    return file;
}

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
    auto fail = [&](const QString& why) {
        m_loadError = why;
        m_loadErrorFile = nativePath;
        return false;
    };
    if (nativePath.isEmpty())
        return fail(SystemErrorText(ENOENT));
    int code = 0;
    const QString target = WhereLinkLeads(nativePath, &code);
    if (target.isEmpty())
        return fail(SystemErrorText(code));
    // Not blocking: a pipe put in the file's place must not hang the window.
    const int fd = ::open(QFile::encodeName(target).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return fail(SystemErrorText(errno));
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(file.errorString());
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return fail(SystemErrorText(errno));
    // Regular files only: a directory is no text, and a device could be endless.
    if (S_ISDIR(st.st_mode))
        return fail(SystemErrorText(EISDIR));
    if (!S_ISREG(st.st_mode))
        return fail(tr("This is not a regular file."));
    if (st.st_size > LineMap::MaxBytes)
        return fail(SystemErrorText(EFBIG));

    const ui::BusyCursor busy(st.st_size >= BusyPointerBytes ? this : nullptr, ui::BusyCursor::Show::Now);
    errno = 0;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(errno ? SystemErrorText(errno) : file.errorString());
    if (bytes.size() > LineMap::MaxBytes)
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
    m_loadedDevice = st.st_dev;
    m_loadedInode = st.st_ino;
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

bool TextFileEditor::SaveFile(const QString& path, QString* error, QString* file) {
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
        return fail(tr("The text holds characters that the file's character set (Latin-1) cannot store."), nativePath);
    if (plan.size > LineMap::MaxBytes)
        return fail(SystemErrorText(EFBIG), nativePath);

    int code = 0;
    const QString target = WhereLinkLeads(nativePath, &code);
    if (target.isEmpty())
        return fail(SystemErrorText(code), nativePath);
    // The loaded file is saved where it was read, never where a link repointed since leads.
    if (path == m_fileName && target != m_loadedFile) {
        struct stat st {};
        const bool same = ::stat(QFile::encodeName(target).constData(), &st) == 0 && st.st_dev == m_loadedDevice &&
                          st.st_ino == m_loadedInode;
        if (!same)
            return fail(tr("%1 leads to %2 now, not to %3 as when it was loaded, so nothing was saved. "
                           "Reload it to edit the file it leads to now.")
                            .arg(nativePath, target, m_loadedFile),
                        nativePath);
    }

    const WriteOutcome outcome = WriteFileBytes(target, plan.pieces, plan.size);
    if (!outcome.written)
        return fail(outcome.message, nativePath);
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
