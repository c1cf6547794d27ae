// The file editor widget against real files: loads, byte-exact saves, keys and focus, and
// saves that fail without harming the file on disk.
#include "TextFileEditor.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>

#ifndef _WIN32
#include <grp.h>
#include <pwd.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

using norvane::TextFileEditor;

namespace {

QByteArray readBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return f.readAll();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

void appendLine(TextFileEditor& editor, const QString& line) {
    QTextCursor cursor(editor.document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(line);
}

QStringList entries(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// Users, permission bits, mounts and extended attributes: what only Linux runs.
#ifndef _WIN32
// Root ignores permission bits. To see what an ordinary operator sees, the test process
// takes the "nobody" user for a while and gets root back through its saved user id.
class AsOrdinaryUser {
public:
    AsOrdinaryUser() {
        if (::geteuid() != 0) {
            m_ok = true;
            return;
        }
        m_switched = ::setresuid(65534, 65534, 0) == 0;
        m_ok = m_switched;
    }
    ~AsOrdinaryUser() {
        if (m_switched && ::setresuid(0, 0, 0) != 0)
            std::abort();  // the rest of the run would test the wrong thing
    }
    AsOrdinaryUser(const AsOrdinaryUser&) = delete;
    AsOrdinaryUser& operator=(const AsOrdinaryUser&) = delete;
    bool ok() const { return m_ok; }

private:
    bool m_switched = false;
    bool m_ok = false;
};

// A user of its own, for what root cannot see since it reads every file: made for one test
// and removed after it, also when the test fails (one a killed run left goes first).
class ThrowawayUser {
public:
    explicit ThrowawayUser(const QString& name) : m_name(name) {
        Remove();
        m_added =
            Run("useradd", {"--system", "--no-create-home", "--user-group", "--shell", "/usr/sbin/nologin", name});
        if (const passwd* pw = m_added ? ::getpwnam(name.toLocal8Bit().constData()) : nullptr) {
            m_uid = pw->pw_uid;
            m_gid = pw->pw_gid;
            m_made = true;
        }
    }
    ~ThrowawayUser() {
        if (m_added)
            Remove();
    }
    ThrowawayUser(const ThrowawayUser&) = delete;
    ThrowawayUser& operator=(const ThrowawayUser&) = delete;
    bool made() const { return m_made; }

    // What `work` returns when a child process runs it as this user.
    QByteArray As(const std::function<QByteArray()>& work) const {
        int out[2];
        if (::pipe(out) != 0)
            return "<no pipe>";
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(out[0]);
            if (::setgroups(0, nullptr) != 0 || ::setresgid(m_gid, m_gid, m_gid) != 0 ||
                ::setresuid(m_uid, m_uid, m_uid) != 0)
                ::_exit(2);
            const QByteArray result = work();
            const bool sent = ::write(out[1], result.constData(), static_cast<size_t>(result.size())) == result.size();
            ::_exit(sent ? 0 : 3);
        }
        ::close(out[1]);
        QByteArray result;
        char buffer[4096];
        for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
            result.append(buffer, n);
        ::close(out[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? result : "<the child failed>";
    }

    static bool Run(const QString& program, const QStringList& arguments, QString* errors = nullptr) {
        QProcess p;
        p.start(program, arguments);
        const bool ok = p.waitForFinished() && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (errors)
            *errors = QString::fromLocal8Bit(p.readAllStandardError());
        return ok;
    }

private:
    void Remove() { Run("userdel", {m_name}); }

    QString m_name;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
    bool m_added = false;
    bool m_made = false;
};

// What a file carries beside its bytes, as text: mode, owner, every extended attribute.
QString Carried(const QString& file) {
    const QByteArray name = QFile::encodeName(file);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0)
        return "<gone>";
    QString carried = QString("mode %1 owner %2:%3").arg(st.st_mode & 07777, 0, 8).arg(st.st_uid).arg(st.st_gid);
    QByteArray names(65536, '\0');
    names.truncate(std::max<ssize_t>(0, ::llistxattr(name.constData(), names.data(), names.size())));
    QList<QByteArray> list = names.split('\0');
    std::sort(list.begin(), list.end());
    for (const QByteArray& attribute : list) {
        QByteArray value(65536, '\0');
        const ssize_t n = ::lgetxattr(name.constData(), attribute.constData(), value.data(), value.size());
        if (!attribute.isEmpty())
            carried += "\n" + attribute + "=" + value.first(std::max<ssize_t>(0, n)).toHex();
    }
    return carried;
}

// A small ext2 file system on a loop device (root only): ext2 has no fallocate, and a test
// can fill it and make it read-only.
class Ext2FileSystem {
public:
    explicit Ext2FileSystem(const QString& dir) : m_dir(dir + "/ext2") {
        QDir().mkpath(m_dir);
        m_mounted = ThrowawayUser::Run("mkfs.ext2", {"-q", "-F", "-m", "0", dir + "/ext2.img", "1024"}, &m_error) &&
                    ThrowawayUser::Run("mount", {"-o", "loop", dir + "/ext2.img", m_dir}, &m_error);
    }
    ~Ext2FileSystem() {
        if (m_mounted)
            ThrowawayUser::Run("umount", {m_dir});
    }
    Ext2FileSystem(const Ext2FileSystem&) = delete;
    Ext2FileSystem& operator=(const Ext2FileSystem&) = delete;
    bool mounted() const { return m_mounted; }
    QString error() const { return m_error; }
    QString path(const QString& name) const { return m_dir + "/" + name; }
    void Fill() {
        QFile filler(path("filler"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        while (filler.write(QByteArray(1024, 'f')) == 1024 && filler.flush()) {
        }
    }
    bool MakeReadOnly() { return ThrowawayUser::Run("mount", {"-o", "remount,ro", m_dir}); }

private:
    QString m_dir;
    QString m_error;
    bool m_mounted = false;
};

#endif

class FilesEditor : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
#ifndef _WIN32
        // Reachable by the ordinary user of AsOrdinaryUser.
        ::chmod(QFile::encodeName(m_dir.path()).constData(), 0755);
#endif
    }
    void TearDown() override {
#ifndef _WIN32
        // So that the temporary folder can be removed without root's rights too.
        ::chmod(QFile::encodeName(path("readonly-dir")).constData(), 0755);
#endif
    }
    QString path(const QString& name) const { return m_dir.path() + "/" + name; }

    QTemporaryDir m_dir;
};

}  // namespace

TEST_F(FilesEditor, UneditedFilesAreWrittenBackByteForByte) {
    struct Case {
        const char* name;
        QByteArray bytes;
        QString shown;
    };
    const Case cases[] = {
        {"crlf", "10.0.0.1 secret\r\n10.0.0.2 other\r\n", "10.0.0.1 secret\n10.0.0.2 other\n"},
        {"lf", "10.0.0.1 secret\n10.0.0.2 other\n", "10.0.0.1 secret\n10.0.0.2 other\n"},
        {"no final end", "10.0.0.1 secret\r\n10.0.0.2 other", "10.0.0.1 secret\n10.0.0.2 other"},
        {"mixed", "a\r\nb\nc\rd\r\n", "a\nb\nc\nd\n"},
        {"latin1", "bj\xF6rn\tpw\xA0x\r\n", QString::fromLatin1("bj\xF6rn\tpw\xA0x\n")},
        {"bom", "\xEF\xBB\xBFjoe\tAuth-Type = Local\r\n", "joe\tAuth-Type = Local\n"},
        {"nul-byte", QByteArray("a\0b\r\n", 5), QString("a") + QChar(0) + "b\n"},
        {"empty", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = path(QString::fromLatin1(c.name));
        writeBytes(file, c.bytes);
        TextFileEditor editor;
        ASSERT_TRUE(editor.LoadFile(file));
        EXPECT_EQ(editor.FileName(), file);
        EXPECT_EQ(editor.document()->toRawText().replace(QChar::ParagraphSeparator, u'\n'), c.shown);
        QString error;
        ASSERT_TRUE(editor.SaveFile(editor.FileName(), &error)) << error.toStdString();
        EXPECT_EQ(readBytes(file), c.bytes);
        // A second save of the same text changes nothing either.
        ASSERT_TRUE(editor.SaveFile(editor.FileName(), &error));
        EXPECT_EQ(readBytes(file), c.bytes);
    }
}

TEST_F(FilesEditor, EditedFilesKeepTheirEncodingAndLineEnds) {
    QString error;
    struct Case {
        const char* name;
        QByteArray bytes;
        QString added;
        QByteArray expected;
    };
    const Case cases[] = {
        {"crlf", "10.0.0.1 secret\r\n", "10.0.0.9 new\n", "10.0.0.1 secret\r\n10.0.0.9 new\r\n"},
        {"lf", "10.0.0.1 secret\n", "10.0.0.9 new\n", "10.0.0.1 secret\n10.0.0.9 new\n"},
        {"none", "single", "\nnext", "single\r\nnext"},
        // Lines no edit touched keep the line ends they had.
        {"mostly lf", "a\nb\r\nc\n", "d\n", "a\nb\r\nc\nd\n"},
        // No-break spaces stay what they are.
        {"latin1", "bj\xF6rn\xA0x\n", QString::fromLatin1("g\xF6ran\n"), "bj\xF6rn\xA0x\ng\xF6ran\n"},
        {"utf8", "bj\xC3\xB6rn\xC2\xA0x\n", QString::fromLatin1("g\xF6ran\n"), "bj\xC3\xB6rn\xC2\xA0x\ng\xC3\xB6ran\n"},
        {"bom", "\xEF\xBB\xBFx\r\n", "y\n", "\xEF\xBB\xBFx\r\ny\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = path(QString::fromLatin1(c.name));
        writeBytes(file, c.bytes);
        TextFileEditor editor;
        ASSERT_TRUE(editor.LoadFile(file));
        appendLine(editor, c.added);
        ASSERT_TRUE(editor.SaveFile(editor.FileName(), &error)) << error.toStdString();
        EXPECT_EQ(readBytes(file), c.expected);
    }

    // A character the 8-bit set cannot hold (Latin-1, or code page 1252 on Windows) is
    // refused rather than written as '?'.
    const QString latin = path("latin-polish");
    writeBytes(latin, "caf\xE9\n");
    TextFileEditor editor;
    ASSERT_TRUE(editor.LoadFile(latin));
    appendLine(editor, QString::fromUtf8("\xC5\x81"));
    EXPECT_FALSE(editor.SaveFile(latin, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readBytes(latin), "caf\xE9\n");
}

TEST_F(FilesEditor, EditsRewriteOnlyTheLinesTheyTouch) {
    // Each file holds what an edited save must keep: line ends of every kind, a byte order
    // mark, Latin-1 bytes, and characters the text document takes for line ends.
    struct Case {
        const char* name;
        QByteArray bytes;
        QByteArray start, middle, end;  // after an edit there
        // After lines 1 and 2 are replaced by the same line 1 and a new line: only the new
        // line is written anew.
        QByteArray across;
    };
    const Case cases[] = {
        {"crlf", "one\r\ntwo\r\nthree\r\n", "Xone\r\ntwo\r\nthree\r\n", "one\r\ntwoX\r\nY\r\nthree\r\n",
         "one\r\ntwo\r\nthree\r\nZ", "one\r\ntwo\r\nnew\r\nthree\r\n"},
        {"lf", "one\ntwo\nthree", "Xone\ntwo\nthree", "one\ntwoX\nY\nthree", "one\ntwo\nthreeZ",
         "one\ntwo\nnew\nthree"},
        // Mostly CRLF, so a new line gets CRLF; the LF after "two" stays.
        {"mixed", "one\r\ntwo\nthree\rfour\r\n", "Xone\r\ntwo\nthree\rfour\r\n", "one\r\ntwoX\r\nY\nthree\rfour\r\n",
         "one\r\ntwo\nthree\rfour\r\nZ", "one\r\ntwo\nnew\r\nthree\rfour\r\n"},
        {"bom", "\xEF\xBB\xBFj\xC3\xB6\r\nb\r\n", "\xEF\xBB\xBFXj\xC3\xB6\r\nb\r\n",
         "\xEF\xBB\xBFj\xC3\xB6\r\nbX\r\nY\r\n", "\xEF\xBB\xBFj\xC3\xB6\r\nb\r\nZ",
         "\xEF\xBB\xBFj\xC3\xB6\r\nb\r\nnew\r\n"},
        {"latin1", "bj\xF6rn\nb\xE9\n", "Xbj\xF6rn\nb\xE9\n", "bj\xF6rn\nb\xE9X\nY\n", "bj\xF6rn\nb\xE9\nZ",
         "bj\xF6rn\nb\xE9\nnew\n"},
        // U+FDD0, U+FDD1 and U+2029 show as line breaks but are written back as they were.
        {"separators",
         "a\xEF\xB7\x90"
         "b\xEF\xB7\x91"
         "c\xE2\x80\xA9"
         "d\n",
         "Xa\xEF\xB7\x90"
         "b\xEF\xB7\x91"
         "c\xE2\x80\xA9"
         "d\n",
         "a\xEF\xB7\x90"
         "bX\nY\xEF\xB7\x91"
         "c\xE2\x80\xA9"
         "d\n",
         "a\xEF\xB7\x90"
         "b\xEF\xB7\x91"
         "c\xE2\x80\xA9"
         "d\nZ",
         "a\xEF\xB7\x90"
         "b\xEF\xB7\x91"
         "new\nc\xE2\x80\xA9"
         "d\n"},
    };
    const auto atStart = [](QTextCursor& c) { c.insertText("X"); };
    const auto inMiddle = [](QTextCursor& c) {
        c.movePosition(QTextCursor::NextBlock);
        c.movePosition(QTextCursor::EndOfBlock);
        c.insertText("X\nY");
    };
    const auto atEnd = [](QTextCursor& c) {
        c.movePosition(QTextCursor::End);
        c.insertText("Z");
    };
    const auto acrossLines = [](QTextCursor& c) {
        const QString second = c.document()->findBlockByNumber(1).text();
        c.movePosition(QTextCursor::EndOfBlock);
        c.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, 2);
        c.insertText("\n" + second + "\nnew\n");
    };
    for (const Case& c : cases) {
        const QString file = path(QString::fromLatin1(c.name));
        const std::pair<std::function<void(QTextCursor&)>, QByteArray> edits[] = {
            {atStart, c.start}, {inMiddle, c.middle}, {atEnd, c.end}, {acrossLines, c.across}};
        for (const auto& [edit, expected] : edits) {
            SCOPED_TRACE(std::string(c.name) + " -> " + expected.toStdString());
            writeBytes(file, c.bytes);
            TextFileEditor editor;
            ASSERT_TRUE(editor.LoadFile(file));
            QTextCursor cursor(editor.document());
            edit(cursor);
            EXPECT_EQ(editor.bytesToSave(), expected);
            // Undone, the edit gives back the loaded bytes; redone, the edited ones.
            editor.undo();
            EXPECT_EQ(editor.bytesToSave(), c.bytes);
            editor.redo();
            QString error;
            ASSERT_TRUE(editor.SaveFile(file, &error)) << error.toStdString();
            EXPECT_EQ(readBytes(file), expected);
            // After the save the saved bytes are the ones kept: undoing again rewrites only
            // the edited line, which gives the first bytes back.
            editor.undo();
            EXPECT_EQ(editor.bytesToSave(), c.bytes);
        }
    }
}

#ifndef _WIN32
TEST_F(FilesEditor, LoadFailuresKeepTextAndFileName) {
    const QString good = path("Clients");
    writeBytes(good, "10.0.0.1 secret\r\n");
    // The program's backslash path reaches the same file; FileName keeps it as given.
    const QString backslashPath = m_dir.path() + "\\Clients";
    TextFileEditor editor;
    ASSERT_TRUE(editor.LoadFile(backslashPath));
    EXPECT_EQ(editor.FileName(), backslashPath);
    appendLine(editor, "edit not saved");
    const QString shown = editor.toPlainText();

    ASSERT_TRUE(QDir(m_dir.path()).mkdir("subdir"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0644), 0);
    for (const QString& bad : {path("missing"), path("subdir"), path("fifo"), QString()}) {
        SCOPED_TRACE(bad.toStdString());
        EXPECT_FALSE(editor.LoadFile(bad));
        EXPECT_EQ(editor.toPlainText(), shown);
        EXPECT_EQ(editor.FileName(), backslashPath);
    }

    const QString locked = path("locked");
    writeBytes(locked, "secret\n");
    ::chmod(QFile::encodeName(locked).constData(), 0);
    {
        AsOrdinaryUser user;
        if (user.ok()) {
            EXPECT_FALSE(editor.LoadFile(locked));
            EXPECT_EQ(editor.toPlainText(), shown);
            EXPECT_EQ(editor.FileName(), backslashPath);
        }
    }

    // A reload replaces the edits without asking.
    ASSERT_TRUE(editor.LoadFile(good));
    EXPECT_EQ(editor.toPlainText(), "10.0.0.1 secret\n");
    EXPECT_EQ(editor.FileName(), good);
}
#endif

#ifdef _WIN32
// A read-only file is refused with the system's words and left whole, and a save puts the
// new bytes in place of a file without leaving its temporary file behind.
TEST_F(FilesEditor, ReadOnlyFilesAreRefusedAndReplacementsLeaveNothingBehind) {
    const QString file = path("Clients");
    writeBytes(file, "10.0.0.1 secret\r\n");
    ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner));
    TextFileEditor editor;
    ASSERT_TRUE(editor.LoadFile(file));
    appendLine(editor, "10.0.0.2 other\n");
    QString error;
    EXPECT_FALSE(editor.SaveFile(editor.FileName(), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readBytes(file), "10.0.0.1 secret\r\n");

    ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner));
    ASSERT_TRUE(editor.SaveFile(editor.FileName(), &error)) << error.toStdString();
    EXPECT_EQ(readBytes(file), "10.0.0.1 secret\r\n10.0.0.2 other\r\n");
    EXPECT_EQ(entries(m_dir.path()), QStringList{"Clients"});
}
#endif

TEST_F(FilesEditor, CtrlTabTypesATabAndTabMovesOn) {
    const QString file = path("users");
    writeBytes(file, "joe\r\n");

    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* before = new QLineEdit(&window);
    auto* editor = new TextFileEditor(&window);
    auto* after = new QLineEdit(&window);
    layout->addWidget(before);
    layout->addWidget(editor);
    layout->addWidget(after);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window, norvane::test::ActivationWait));

    // Tab from the other controls never lands in the editor.
    before->setFocus();
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_NE(QApplication::focusWidget(), editor);
    }
    EXPECT_EQ(editor->focusPolicy(), Qt::ClickFocus);

    ASSERT_TRUE(editor->LoadFile(file));
    QTest::mouseClick(editor->viewport(), Qt::LeftButton);
    ASSERT_EQ(QApplication::focusWidget(), editor);
    editor->moveCursor(QTextCursor::End);  // the empty line after "joe"
    QTest::keyClicks(editor, "ann");
    QTest::keyClick(editor, Qt::Key_Tab, Qt::ControlModifier);
    QTest::keyClicks(editor, "pw");
    EXPECT_EQ(QApplication::focusWidget(), editor);
    EXPECT_EQ(editor->toPlainText(), "joe\nann\tpw");

    // Plain Tab leaves the editor and types nothing.
    QTest::keyClick(editor, Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), editor);
    EXPECT_EQ(editor->toPlainText(), "joe\nann\tpw");

    QString error;
    ASSERT_TRUE(editor->SaveFile(editor->FileName(), &error)) << error.toStdString();
    EXPECT_EQ(readBytes(file), "joe\r\nann\tpw");
}

#ifndef _WIN32
TEST_F(FilesEditor, FailedSavesReportAndLeaveTheFileWhole) {
    const QByteArray old = "10.0.0.1 secret\r\n10.0.0.2 other\r\n";
    TextFileEditor editor;
    QString error;

    // Nothing loaded yet: there is no file to write to.
    appendLine(editor, "typed before any load\n");
    EXPECT_FALSE(editor.SaveFile(editor.FileName(), &error));
    EXPECT_FALSE(error.isEmpty());

    // The file holds `old` when this is called; the error is the platform's description.
    auto expectFailure = [&](const QString& file, const QString& savePath, int code) {
        ASSERT_TRUE(editor.LoadFile(file));
        appendLine(editor, "10.0.0.3 added\n");
        const QString shown = editor.toPlainText();
        const QStringList before = entries(QFileInfo(file).path());
        error.clear();
        QString about;
        EXPECT_FALSE(editor.SaveFile(savePath, &error, &about));
        EXPECT_EQ(error, QString::fromLocal8Bit(std::strerror(code)));
        EXPECT_EQ(about, savePath);
        EXPECT_EQ(readBytes(file), old);
        EXPECT_EQ(editor.toPlainText(), shown);
        EXPECT_EQ(entries(QFileInfo(file).path()), before);  // no temporary file left behind
    };

    // The path leads through a regular file: fails for root too.
    writeBytes(path("plainfile"), "x");
    {
        SCOPED_TRACE("parent is a file");
        const QString file = path("real");
        writeBytes(file, old);
        expectFailure(file, path("plainfile/Clients"), ENOTDIR);
    }

    // The disk takes no more than a few bytes: the write fails half-way.
    {
        SCOPED_TRACE("file size limit");
        const QString file = path("limited");
        writeBytes(file, old);
        ASSERT_TRUE(editor.LoadFile(file));
        appendLine(editor, QString(64 * 1024, u'x'));
        const QString shown = editor.toPlainText();
        const QStringList before = entries(m_dir.path());
        auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        rlimit small = saved;
        small.rlim_cur = 4096;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool saved_ok = editor.SaveFile(file, &error);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        EXPECT_FALSE(saved_ok);
        EXPECT_EQ(error, QString::fromLocal8Bit(std::strerror(EFBIG)));
        EXPECT_EQ(readBytes(file), old);
        EXPECT_EQ(editor.toPlainText(), shown);
        EXPECT_EQ(entries(m_dir.path()), before);
    }

    // Permission bits: as an ordinary user, since root ignores them.
    const QString rwDir = path("open-dir");
    ASSERT_TRUE(QDir().mkdir(rwDir));
    writeBytes(rwDir + "/Clients", old);
    ::chmod(QFile::encodeName(rwDir + "/Clients").constData(), 0444);
    ::chmod(QFile::encodeName(rwDir).constData(), 0777);
    AsOrdinaryUser user;
    if (!user.ok())
        GTEST_SKIP() << "running as root without the right to switch user: permission cases not run";
    {
        SCOPED_TRACE("read-only file");
        expectFailure(rwDir + "/Clients", rwDir + "/Clients", EACCES);
    }
}

// A writable file that a new one cannot replace (its folder is read-only to the operator,
// or it is bind-mounted, as in containers) is written in place.
TEST_F(FilesEditor, FilesThatCannotBeReplacedAreWrittenInPlace) {
    const QString roDir = path("readonly-dir");
    ASSERT_TRUE(QDir().mkdir(roDir));
    writeBytes(roDir + "/Clients", "10.0.0.1 a\n");
    ::chmod(QFile::encodeName(roDir + "/Clients").constData(), 0666);
    ::chmod(QFile::encodeName(roDir).constData(), 0555);
    const QString mounted = path("Users");
    writeBytes(path("Users.host"), "ann\tpw\n");
    writeBytes(mounted, "");
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::mount(QFile::encodeName(path("Users.host")).constData(), QFile::encodeName(mounted).constData(),
                          nullptr, MS_BIND, nullptr),
                  0)
            << std::strerror(errno);
    }
    const auto save = [](const QString& file) {
        TextFileEditor editor;
        if (!editor.LoadFile(file))
            return QByteArray("<not loaded>");
        appendLine(editor, "added\n");
        QString error;
        return editor.SaveFile(file, &error) ? readBytes(file) : error.toUtf8();
    };
    if (root) {
        EXPECT_EQ(save(mounted), "ann\tpw\nadded\n");
        EXPECT_EQ(readBytes(path("Users.host")), "ann\tpw\nadded\n");
        ::umount2(QFile::encodeName(mounted).constData(), MNT_DETACH);
    }
    AsOrdinaryUser user;
    if (!user.ok())
        GTEST_SKIP() << "running as root without the right to switch user";
    EXPECT_EQ(save(roDir + "/Clients"), "10.0.0.1 a\nadded\n");
    EXPECT_EQ(entries(roDir), QStringList{"Clients"});
}

TEST_F(FilesEditor, SavesKeepLinksPermissionsAndOwner) {
    const QString target = path("Clients.real");
    const QString link = path("Clients");
    writeBytes(target, "10.0.0.1 secret\n");
    ASSERT_TRUE(QFile::link("Clients.real", link));  // a relative link, as people make them
    ::chmod(QFile::encodeName(target).constData(), 0640);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(QFile::encodeName(target).constData(), 65534, 65534), 0);
    }

    TextFileEditor editor;
    ASSERT_TRUE(editor.LoadFile(link));
    appendLine(editor, "10.0.0.2 other\n");
    QString error;
    ASSERT_TRUE(editor.SaveFile(editor.FileName(), &error)) << error.toStdString();

    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), QFileInfo(target).absoluteFilePath());
    EXPECT_EQ(readBytes(target), "10.0.0.1 secret\n10.0.0.2 other\n");
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
    }

    // A link whose target was removed is written through as well, making the target again.
    ASSERT_TRUE(QFile::remove(target));
    ASSERT_TRUE(editor.SaveFile(link, &error)) << error.toStdString();
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readBytes(target), "10.0.0.1 secret\n10.0.0.2 other\n");

    // Repointed after the load, the link leads to another file: nothing is written, and
    // the message names where it leads now and what was loaded.
    const QString rootOnly = path("root-only");
    writeBytes(rootOnly, "root:x:0:0\n");
    ::chmod(QFile::encodeName(rootOnly).constData(), 0600);
    appendLine(editor, "10.0.0.3 more\n");
    ASSERT_TRUE(QFile::remove(link));
    ASSERT_TRUE(QFile::link(rootOnly, link));
    QString about;
    EXPECT_FALSE(editor.SaveFile(editor.FileName(), &error, &about));
    EXPECT_TRUE(error.contains(link) && error.contains(QFileInfo(rootOnly).canonicalFilePath()) &&
                error.contains(QFileInfo(target).canonicalFilePath()))
        << error.toStdString();
    EXPECT_EQ(about, link);
    EXPECT_EQ(readBytes(rootOnly), "root:x:0:0\n");
    EXPECT_EQ(readBytes(target), "10.0.0.1 secret\n10.0.0.2 other\n");
    // Reloaded, the file it leads to now is the one a save writes.
    ASSERT_TRUE(editor.LoadFile(link));
    appendLine(editor, "root2:x:0:0\n");
    ASSERT_TRUE(editor.SaveFile(editor.FileName(), &error)) << error.toStdString();
    EXPECT_EQ(readBytes(rootOnly), "root:x:0:0\nroot2:x:0:0\n");
}

TEST_F(FilesEditor, SavesKeepWhatTheFileCarries) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: files of other owners, and a user of its own";
    // Stands for a server that reads the clients file through an ACL entry.
    const ThrowawayUser server("norvane-t-files");
    ASSERT_TRUE(server.made()) << "useradd norvane-t-files failed";
    const QString dir = path("data");
    ASSERT_TRUE(QDir().mkdir(dir));
    const QString clients = dir + "/Clients";  // setgid, an ACL entry, an extended attribute
    const QString secret = dir + "/Secret";    // no ACL at all
    const QString users = dir + "/Users";      // two names
    for (const QString& file : {clients, secret, users})
        writeBytes(file, "10.0.0.1 secret\n");
    ASSERT_EQ(::chown(QFile::encodeName(clients).constData(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(clients).constData(), 02640), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(secret).constData(), 0600), 0);
    ASSERT_EQ(::link(QFile::encodeName(users).constData(), QFile::encodeName(dir + "/Users.other").constData()), 0);
    QString errors;
    if (!ThrowawayUser::Run("setfacl", {"-m", "u:norvane-t-files:r", clients}, &errors)) {
        if (errors.contains("not supported"))
            GTEST_SKIP() << "the file system of " << dir.toStdString() << " has no ACLs: " << errors.toStdString();
        FAIL() << "setfacl: " << errors.toStdString();
    }
    // A new file in the directory would get the server's access: a replacement must not.
    ASSERT_TRUE(ThrowawayUser::Run("setfacl", {"-d", "-m", "u:norvane-t-files:rw", dir}, &errors))
        << errors.toStdString();
    if (::setxattr(QFile::encodeName(clients).constData(), "user.norvane", "kept", 4, 0) != 0) {
        if (errno == ENOTSUP)
            GTEST_SKIP() << "the file system of " << dir.toStdString() << " has no user attributes";
        FAIL() << "setxattr: " << std::strerror(errno);
    }
    const QString clientsCarried = Carried(clients);
    const QString secretCarried = Carried(secret);
    ASSERT_TRUE(clientsCarried.contains("system.posix_acl_access") && clientsCarried.contains("mode 2640"))
        << clientsCarried.toStdString();
    struct stat st {};
    ::stat(QFile::encodeName(users).constData(), &st);
    const ino_t usersInode = st.st_ino;

    for (const QString& file : {clients, secret, users}) {
        SCOPED_TRACE(file.toStdString());
        TextFileEditor editor;
        ASSERT_TRUE(editor.LoadFile(file));
        appendLine(editor, "10.0.0.2 other\n");
        QString error;
        ASSERT_TRUE(editor.SaveFile(editor.FileName(), &error)) << error.toStdString();
        EXPECT_EQ(readBytes(file), "10.0.0.1 secret\n10.0.0.2 other\n");
    }
    EXPECT_EQ(Carried(clients), clientsCarried);
    EXPECT_EQ(Carried(secret), secretCarried);
    EXPECT_EQ(server.As([&] { return readBytes(clients); }), "10.0.0.1 secret\n10.0.0.2 other\n");
    EXPECT_EQ(server.As([&] { return readBytes(secret); }), "<unreadable>");
    // The two names still name one file, which holds the new text.
    ASSERT_EQ(::stat(QFile::encodeName(dir + "/Users.other").constData(), &st), 0);
    EXPECT_EQ(st.st_ino, usersInode);
    EXPECT_EQ(st.st_nlink, 2u);
    EXPECT_EQ(readBytes(dir + "/Users.other"), "10.0.0.1 secret\n10.0.0.2 other\n");

    // An operator who may write the file but not give a new one its owner: written in place,
    // the file stays root's.
    const QString open = path("open");
    ASSERT_TRUE(QDir().mkdir(open));
    ::chmod(QFile::encodeName(open).constData(), 0777);
    const QString shared = open + "/Users";
    writeBytes(shared, "a\n");
    ::chmod(QFile::encodeName(shared).constData(), 0666);
    const QString sharedCarried = Carried(shared);
    EXPECT_EQ(server.As([&] {
        TextFileEditor editor;
        if (!editor.LoadFile(shared))
            return QByteArray("<not loaded>");
        appendLine(editor, "b\n");
        QString error;
        return editor.SaveFile(editor.FileName(), &error) ? QByteArray("saved") : error.toUtf8();
    }),
              "saved");
    EXPECT_EQ(readBytes(shared), "a\nb\n");
    EXPECT_EQ(Carried(shared), sharedCarried);
}

TEST_F(FilesEditor, SaveBeforeAnyLoadGivesTheReasonTheLoadFailed) {
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("subdir"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0644), 0);
    writeBytes(path("locked"), "secret\n");
    ::chmod(QFile::encodeName(path("locked")).constData(), 0);
    // What a save says, and of which file, after each load failed.
    const auto reasons = [&] {
        QByteArray said;
        for (const char* name : {"missing", "subdir", "locked", "fifo"}) {
            TextFileEditor editor;
            editor.LoadFile(path(QString::fromLatin1(name)));
            QString error = "<saved>";
            QString about;
            editor.SaveFile(editor.FileName(), &error, &about);
            said += (error + " | " + QFileInfo(about).fileName() + "\n").toUtf8();
        }
        return said;
    };
    const QByteArray expected =
        QString("%1 | missing\n%2 | subdir\n%3 | locked\nThis is not a regular file. | fifo\n")
            .arg(QString::fromLocal8Bit(std::strerror(ENOENT)), QString::fromLocal8Bit(std::strerror(EISDIR)),
                 QString::fromLocal8Bit(std::strerror(EACCES)))
            .toUtf8();
    if (::geteuid() != 0) {
        EXPECT_EQ(reasons(), expected);
        return;
    }
    const ThrowawayUser operatorUser("norvane-t-files-l");  // root would read the locked file
    ASSERT_TRUE(operatorUser.made()) << "useradd norvane-t-files-l failed";
    EXPECT_EQ(operatorUser.As(reasons), expected);
}
#endif

TEST_F(FilesEditor, LongLoadsAndSavesShowTheBusyPointer) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* editor = new TextFileEditor(&window);
    layout->addWidget(editor);
    window.show();
    // Every change of the window's pointer shape.
    struct Watch : QObject {
        QWidget* window = nullptr;
        QStringList seen;
        bool eventFilter(QObject*, QEvent* event) override {
            const QString shape = QString::number(window->cursor().shape());
            if (event->type() == QEvent::CursorChange && (seen.isEmpty() || seen.back() != shape))
                seen << shape;
            return false;
        }
    } watch;
    watch.window = &window;
    window.installEventFilter(&watch);
    const QString wait = QString::number(Qt::WaitCursor);
    const QString cross = QString::number(Qt::CrossCursor);

    QByteArray bytes;
    for (int i = 0; bytes.size() < 2 * 1024 * 1024; ++i)
        bytes += "user" + QByteArray::number(i) + "\tCleartext-Password := \"pw\"\r\n";
    writeBytes(path("Users"), bytes);
    ASSERT_TRUE(editor->LoadFile(path("Users")));
    EXPECT_EQ(watch.seen, QStringList({wait, QString::number(Qt::ArrowCursor)}));

    // A pointer of the window's own comes back, after a save and after a failed one.
    window.setCursor(Qt::CrossCursor);
    watch.seen.clear();
    appendLine(*editor, "ann\tpw\r\n");
    QString error;
    ASSERT_TRUE(editor->SaveFile(editor->FileName(), &error)) << error.toStdString();
    writeBytes(path("plainfile"), "x");
    EXPECT_FALSE(editor->SaveFile(path("plainfile/Users"), &error));
    EXPECT_EQ(watch.seen, QStringList({wait, cross, wait, cross}));

    // A small file is loaded in a moment, without it.
    writeBytes(path("Clients"), "10.0.0.1 secret\n");
    watch.seen.clear();
    ASSERT_TRUE(editor->LoadFile(path("Clients")));
    EXPECT_TRUE(watch.seen.isEmpty());
}

#ifndef _WIN32
// A file with a second name is written in place. Where no room can be reserved beforehand
// (ext2, NFSv3), a full disk must stop the save before the first old byte is overwritten.
TEST_F(FilesEditor, InPlaceSavesOnAFullFileSystemWithoutFallocateKeepTheOldBytes) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: mounts an ext2 image";
    Ext2FileSystem fs(m_dir.path());
    if (!fs.mounted())
        GTEST_SKIP() << "cannot mount an ext2 image on a loop device here: " << fs.error().toStdString();
    QByteArray old;
    for (int i = 0; old.size() < 60000; ++i)
        old += "user" + QByteArray::number(i) + "\tCleartext-Password := \"pw\"\n";
    const QString users = fs.path("users");
    writeBytes(users, old);
    ASSERT_EQ(::link(QFile::encodeName(users).constData(), QFile::encodeName(fs.path("users.2")).constData()), 0);
    TextFileEditor editor;
    ASSERT_TRUE(editor.LoadFile(users));
    QTextCursor(editor.document()).insertText(QString("new\tCleartext-Password := \"pw\"\n").repeated(1000));
    const QByteArray edited = editor.bytesToSave();

    fs.Fill();
    QString error;
    EXPECT_FALSE(editor.SaveFile(users, &error));
    EXPECT_EQ(error, QString::fromLocal8Bit(std::strerror(ENOSPC)));
    EXPECT_EQ(readBytes(users), old);

    ASSERT_TRUE(QFile::remove(fs.path("filler")));
    ASSERT_TRUE(editor.SaveFile(users, &error)) << error.toStdString();
    EXPECT_EQ(readBytes(fs.path("users.2")), edited);

    // A read-only file system is named as the cause, for root too.
    ASSERT_TRUE(fs.MakeReadOnly());
    appendLine(editor, "more\n");
    EXPECT_FALSE(editor.SaveFile(users, &error));
    EXPECT_EQ(error, QString::fromLocal8Bit(std::strerror(EROFS)));
    EXPECT_EQ(readBytes(users), edited);
}

// A link or a folder that another user owns could lead root's editor to any file: neither
// is followed, and the message names it. Root's own link is followed as before.
TEST_F(FilesEditor, LinksAndFoldersOfOtherUsersAreNotFollowed) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: a user of its own";
    const ThrowawayUser other("norvane-t-files-o");
    ASSERT_TRUE(other.made()) << "useradd norvane-t-files-o failed";
    const passwd* pw = ::getpwnam("norvane-t-files-o");
    ASSERT_NE(pw, nullptr);
    const QString shadow = path("shadow");
    writeBytes(shadow, "root:x:0:0\n");
    ::chmod(QFile::encodeName(shadow).constData(), 0600);
    const QString theirs = path("theirs");
    ASSERT_TRUE(QDir().mkdir(theirs));
    ASSERT_EQ(::chown(QFile::encodeName(theirs).constData(), pw->pw_uid, pw->pw_gid), 0);
    ASSERT_TRUE(QFile::link(shadow, path("Users")));
    ASSERT_EQ(::lchown(QFile::encodeName(path("Users")).constData(), pw->pw_uid, pw->pw_gid), 0);
    ASSERT_TRUE(QFile::link(shadow, theirs + "/Users"));
    writeBytes(theirs + "/Clients", "10.0.0.1 a\n");
    for (const QString& file : {path("Users"), theirs + "/Users", theirs + "/Clients"}) {
        SCOPED_TRACE(file.toStdString());
        TextFileEditor editor;
        EXPECT_FALSE(editor.LoadFile(file));
        const QString named = file.contains("theirs") ? theirs : file;
        EXPECT_TRUE(editor.LoadRefusal().contains(named) && editor.LoadRefusal().contains("norvane-t-files-o"))
            << editor.LoadRefusal().toStdString();
        QString error;
        EXPECT_FALSE(editor.SaveFile(file, &error));
        EXPECT_TRUE(error.contains(named)) << error.toStdString();
    }
    EXPECT_EQ(readBytes(shadow), "root:x:0:0\n");
    ASSERT_EQ(::lchown(QFile::encodeName(path("Users")).constData(), 0, 0), 0);
    TextFileEditor editor;
    EXPECT_TRUE(editor.LoadFile(path("Users")));
    EXPECT_TRUE(editor.LoadRefusal().isEmpty());
}
#endif
