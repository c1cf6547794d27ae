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
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace norvane {

namespace {

// About a tenth of a second of loading on an ordinary machine: past it the operator sees
// the busy pointer, shown before the work starts.
constexpr qsizetype BusyPointerBytes = 1 << 20;

// Root may change anything anyway; the operator is the one who asked for the file.
bool Trusted(uid_t uid) { return uid == 0 || uid == ::geteuid(); }

QString UserName(uid_t uid) {
    const passwd* pw = ::getpwuid(uid);
    return pw ? QString::fromLocal8Bit(pw->pw_name) : QString::number(uid);
}

// Where a path leads, or why it is not followed.
struct Destination {
    QString file;     // links followed, every folder real; empty on failure
    int error = 0;    // errno, when the path cannot be followed
    QString refusal;  // the operator's words, when it must not be
};

// Follows the path as the kernel would, one name at a time, to the file it names in the
// end (also when that is still to be made). A link, or a folder on the way, that another
// user owns is refused: that user could make it lead to any file root may write.
Destination WhereLinkLeads(const QString& path) {
    QStringList rest =
        (path.startsWith(u'/') ? path : QDir::currentPath() + u'/' + path).split(u'/', Qt::SkipEmptyParts);
    QStringList done;  // the real folders so far
    auto joined = [&done](const QString& name) { return u'/' + (done + QStringList{name}).join(u'/'); };
    for (int links = 0; !rest.isEmpty();) {
        const QString name = rest.takeFirst();
        if (name == u".")
            continue;
        if (name == u"..") {
            if (!done.isEmpty())
                done.removeLast();
            continue;
        }
        const QString here = joined(name);
        const QByteArray encoded = QFile::encodeName(here);
        struct stat st {};
        if (::lstat(encoded.constData(), &st) != 0) {
            if (errno == ENOENT && rest.isEmpty())
                return {here, 0, {}};  // a file still to be made
            return {{}, errno, {}};
        }
        if (S_ISLNK(st.st_mode)) {
            if (!Trusted(st.st_uid))
                return {{},
                        0,
                        TextFileEditor::tr("%1 is a symbolic link that belongs to the user %2, who could point it at "
                                           "any file; it is not followed. Replace it with the file itself or a link of "
                                           "your own.")
                            .arg(here, UserName(st.st_uid))};
            if (++links > 40)
                return {{}, ELOOP, {}};
            QByteArray buffer(4096, Qt::Uninitialized);
            const ssize_t n = ::readlink(encoded.constData(), buffer.data(), static_cast<size_t>(buffer.size()));
            if (n < 0)
                return {{}, errno, {}};
            const QString to = QFile::decodeName(buffer.first(n));
            if (to.startsWith(u'/'))
                done.clear();
            rest = to.split(u'/', Qt::SkipEmptyParts) + rest;
            continue;
        }
        if (!rest.isEmpty()) {
            if (!S_ISDIR(st.st_mode))
                return {{}, ENOTDIR, {}};
            if (!Trusted(st.st_uid))
                return {
                    {},
                    0,
                    TextFileEditor::tr("The folder %1 belongs to the user %2, who could put any file in the place of "
                                       "the one named; it is not used. Give it to root or to %3.")
                        .arg(here, UserName(st.st_uid), UserName(::geteuid()))};
        }
        done << name;
    }
    return {u'/' + done.join(u'/'), 0, {}};
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
    if (st.st_size > MaxShownBytes)
        return refuse(tr("%1 holds %2 bytes (%3 MB); files above %4 MB are not shown here, since the window would "
                         "stand still for many seconds. Edit it with another editor.")
                          .arg(nativePath)
                          .arg(st.st_size)
                          .arg(st.st_size >> 20)
                          .arg(MaxShownBytes >> 20));

    const ui::BusyCursor busy(st.st_size >= BusyPointerBytes ? this : nullptr, ui::BusyCursor::Show::Now);
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
    m_onDisk = DiskState::Of(st);
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

TextFileEditor::DiskState TextFileEditor::DiskState::Of(const struct stat& st) {
    return {st.st_dev,          st.st_ino,         st.st_size,        st.st_mtim.tv_sec,
            st.st_mtim.tv_nsec, st.st_ctim.tv_sec, st.st_ctim.tv_nsec};
}

bool TextFileEditor::ChangedOnDisk(const QString& target) const {
    const QByteArray name = QFile::encodeName(target);
    struct stat st {};
    // A file removed since holds nothing a save could lose; one that cannot be looked at
    // is left to the write to report.
    if (::stat(name.constData(), &st) != 0 || DiskState::Of(st) == m_onDisk)
        return false;
    if (st.st_size != m_lines.bytes().size())
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
        return fail(tr("The text holds characters that the file's character set (Latin-1) cannot store."), nativePath);
    if (plan.size > LineMap::MaxBytes)
        return fail(SystemErrorText(EFBIG), nativePath);

    const Destination destination = WhereLinkLeads(nativePath);
    if (destination.file.isEmpty())
        return fail(destination.refusal.isEmpty() ? SystemErrorText(destination.error) : destination.refusal,
                    nativePath);
    const QString& target = destination.file;
    // The loaded file is saved where it was read, never where a link repointed since leads.
    if (path == m_fileName && target != m_loadedFile) {
        struct stat st {};
        const bool same = ::stat(QFile::encodeName(target).constData(), &st) == 0 && st.st_dev == m_onDisk.device &&
                          st.st_ino == m_onDisk.inode;
        if (!same)
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
        struct stat st {};
        if (::stat(QFile::encodeName(target).constData(), &st) == 0)
            m_onDisk = DiskState::Of(st);
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
