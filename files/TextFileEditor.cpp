#include "TextFileEditor.h"

#include <QFileInfo>
#include <QFont>
#include <QKeyEvent>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTextDocument>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace norvane {

namespace {

constexpr char Utf8Bom[] = "\xEF\xBB\xBF";

QString systemError(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

// Lone CR and CRLF both end a line in the editor.
QString unifyLineEnds(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

}  // namespace

DecodedText DecodeFileBytes(const QByteArray& bytes) {
    qsizetype crlf = 0;
    qsizetype lf = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            if (i > 0 && bytes[i - 1] == '\r')
                ++crlf;
            else
                ++lf;
        }
    }
    const auto lineEnd = lf > crlf ? TextFileEditor::LineEnd::Lf : TextFileEditor::LineEnd::CrLf;

    const bool bom = bytes.startsWith(Utf8Bom);
    const QByteArrayView body = QByteArrayView(bytes).sliced(bom ? 3 : 0);
    // Stateless: a sequence cut off at the end is an error, not state kept for more input.
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString text = utf8.decode(body);
    // Only take the bytes as UTF-8 when they come back unchanged; an edited save must not
    // alter the lines the operator did not touch.
    if (!utf8.hasError() && text.toUtf8() == body)
        return {unifyLineEnds(std::move(text)), TextFileEditor::Encoding::Utf8, lineEnd, bom};
    return {unifyLineEnds(QString::fromLatin1(bytes)), TextFileEditor::Encoding::Latin1, lineEnd, false};
}

QByteArray EncodeFileText(const QString& text, TextFileEditor::Encoding encoding, TextFileEditor::LineEnd lineEnd,
                          bool bom) {
    const QString lines = text.contains(u'\r') ? unifyLineEnds(text) : text;
    QByteArray bytes = encoding == TextFileEditor::Encoding::Latin1 ? lines.toLatin1() : lines.toUtf8();
    // Line ends go in after encoding, in one pass: neither encoding uses the byte 0x0A
    // for anything but a line feed.
    if (lineEnd == TextFileEditor::LineEnd::CrLf) {
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
    if (bom && encoding == TextFileEditor::Encoding::Utf8)
        bytes.prepend(Utf8Bom);
    return bytes;
}

bool CanEncodeFileText(const QString& text, TextFileEditor::Encoding encoding) {
    if (encoding == TextFileEditor::Encoding::Utf8)
        return true;
    for (QChar c : text) {
        if (c.unicode() > 0xFF)
            return false;
    }
    return true;
}

QString NativeFilePath(const QString& backslashPath) {
    QString path = backslashPath;
    path.replace(u'\\', u'/');
    return path;
}

TextFileEditor::TextFileEditor(QWidget* parent) : QPlainTextEdit(parent) {
    // Liberation Mono has Courier New's metrics; any fixed-pitch face will do without it.
    QFont font(QStringLiteral("Liberation Mono"));
    font.setFamilies({QStringLiteral("Liberation Mono"), QStringLiteral("Courier New")});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSizeF(8.25);
    setFont(font);

    // Reached by clicking only; Tab inside it moves on, Ctrl+Tab types a tab.
    setFocusPolicy(Qt::ClickFocus);
    setTabChangesFocus(true);
    // Any change of the text, typed or set, means a save must encode it anew.
    connect(document(), &QTextDocument::contentsChanged, this, [this] { m_changedSinceLoad = true; });
    // One entry per line: wrapping would make a long line look like two.
    setLineWrapMode(QPlainTextEdit::NoWrap);
}

QString TextFileEditor::shownText() const {
    // toPlainText() would turn no-break spaces into spaces; the raw text keeps them.
    QString text = document()->toRawText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    return text;
}

bool TextFileEditor::LoadFile(const QString& path) {
    const QString nativePath = NativeFilePath(path);
    // Regular files only: a directory is no text, and a pipe or device could block forever.
    if (!QFileInfo(nativePath).isFile())
        return false;
    QFile file(nativePath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;

    const DecodedText decoded = DecodeFileBytes(bytes);
    setPlainText(decoded.text);
    m_fileName = path;
    m_encoding = decoded.encoding;
    m_lineEnd = decoded.lineEnd;
    m_bom = decoded.bom;
    m_loadedBytes = bytes;
    m_loadedText = shownText();
    m_changedSinceLoad = false;
    return true;
}

QByteArray TextFileEditor::bytesToSave() const {
    if (!m_changedSinceLoad)
        return m_loadedBytes;
    const QString text = shownText();
    if (text == m_loadedText)
        return m_loadedBytes;
    return EncodeFileText(text, m_encoding, m_lineEnd, m_bom);
}

bool TextFileEditor::SaveFile(const QString& path, QString* error) {
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (path.isEmpty())
        return fail(systemError(ENOENT));

    // An unchanged text is written back as the bytes it was read from, without taking it
    // out of the document again.
    const QString text = m_changedSinceLoad ? shownText() : m_loadedText;
    if (m_changedSinceLoad && !CanEncodeFileText(text, m_encoding))
        return fail(tr("The text holds characters that the file's character set (Latin-1) cannot store."));
    const QByteArray bytes = text == m_loadedText ? m_loadedBytes : EncodeFileText(text, m_encoding, m_lineEnd, m_bom);

    // A link stays a link: the new text goes to the file it points to.
    QFileInfo target(NativeFilePath(path));
    for (int depth = 0; target.isSymLink(); ++depth) {
        if (depth == 40)
            return fail(systemError(ELOOP));
        target.setFile(target.symLinkTarget());
    }
    if (target.isDir())
        return fail(systemError(EISDIR));

    QSaveFile file(target.filePath());
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
#ifdef Q_OS_UNIX
    // The replacement is a new file; give it the old one's owner where we may (as root).
    struct stat old {};
    struct stat now {};
    if (::stat(QFile::encodeName(target.filePath()).constData(), &old) == 0 && ::fstat(file.handle(), &now) == 0
        && (old.st_uid != now.st_uid || old.st_gid != now.st_gid)) {
        [[maybe_unused]] const int ignored = ::fchown(file.handle(), old.st_uid, old.st_gid);
    }
#endif
    // A full disk or a size limit can cut the write short without QSaveFile noticing, and
    // commit() would then put a truncated file in place: check the count ourselves.
    errno = 0;
    if (file.write(bytes) != bytes.size()) {
        const int code = errno;
        const QString why = file.error() != QFileDevice::NoError ? file.errorString() : systemError(code ? code : EIO);
        file.cancelWriting();
        return fail(why);
    }
    if (!file.commit())
        return fail(file.errorString());

    m_loadedBytes = bytes;
    m_loadedText = text;
    m_changedSinceLoad = false;
    document()->setModified(false);
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
