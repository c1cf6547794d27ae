// The file editor widget against real files: loads, byte-exact saves, keys and focus, and
// saves that fail without harming the file on disk.
#include "TextFileEditor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <functional>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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
            std::abort();   // the rest of the run would test the wrong thing
    }
    AsOrdinaryUser(const AsOrdinaryUser&) = delete;
    AsOrdinaryUser& operator=(const AsOrdinaryUser&) = delete;
    bool ok() const { return m_ok; }

private:
    bool m_switched = false;
    bool m_ok = false;
};

class FilesEditor : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        // Reachable by the ordinary user of AsOrdinaryUser.
        ::chmod(QFile::encodeName(m_dir.path()).constData(), 0755);
    }
    void TearDown() override {
        // So that the temporary folder can be removed without root's rights too.
        ::chmod(QFile::encodeName(path("readonly-dir")).constData(), 0755);
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
        {"nul", QByteArray("a\0b\r\n", 5), QString("a") + QChar(0) + "b\n"},
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

    // A character Latin-1 cannot hold is refused rather than written as '?'.
    const QString latin = path("latin-euro");
    writeBytes(latin, "caf\xE9\n");
    TextFileEditor editor;
    ASSERT_TRUE(editor.LoadFile(latin));
    appendLine(editor, QString::fromUtf8("\xE2\x82\xAC"));
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
        QByteArray start, middle, end;   // after an edit there
        // After lines 1 and 2 are replaced by the same line 1 and a new line: only the new
        // line is written anew.
        QByteArray across;
    };
    const Case cases[] = {
        {"crlf", "one\r\ntwo\r\nthree\r\n", "Xone\r\ntwo\r\nthree\r\n", "one\r\ntwoX\r\nY\r\nthree\r\n",
         "one\r\ntwo\r\nthree\r\nZ", "one\r\ntwo\r\nnew\r\nthree\r\n"},
        {"lf", "one\ntwo\nthree", "Xone\ntwo\nthree", "one\ntwoX\nY\nthree", "one\ntwo\nthreeZ", "one\ntwo\nnew\nthree"},
        // Mostly CRLF, so a new line gets CRLF; the LF after "two" stays.
        {"mixed", "one\r\ntwo\nthree\rfour\r\n", "Xone\r\ntwo\nthree\rfour\r\n", "one\r\ntwoX\r\nY\nthree\rfour\r\n",
         "one\r\ntwo\nthree\rfour\r\nZ", "one\r\ntwo\nnew\r\nthree\rfour\r\n"},
        {"bom", "\xEF\xBB\xBFj\xC3\xB6\r\nb\r\n", "\xEF\xBB\xBFXj\xC3\xB6\r\nb\r\n", "\xEF\xBB\xBFj\xC3\xB6\r\nbX\r\nY\r\n",
         "\xEF\xBB\xBFj\xC3\xB6\r\nb\r\nZ", "\xEF\xBB\xBFj\xC3\xB6\r\nb\r\nnew\r\n"},
        {"latin1", "bj\xF6rn\nb\xE9\n", "Xbj\xF6rn\nb\xE9\n", "bj\xF6rn\nb\xE9X\nY\n", "bj\xF6rn\nb\xE9\nZ",
         "bj\xF6rn\nb\xE9\nnew\n"},
        // U+FDD0, U+FDD1 and U+2029 show as line breaks but are written back as they were.
        {"separators", "a\xEF\xB7\x90" "b\xEF\xB7\x91" "c\xE2\x80\xA9" "d\n",
         "Xa\xEF\xB7\x90" "b\xEF\xB7\x91" "c\xE2\x80\xA9" "d\n",
         "a\xEF\xB7\x90" "bX\nY\xEF\xB7\x91" "c\xE2\x80\xA9" "d\n",
         "a\xEF\xB7\x90" "b\xEF\xB7\x91" "c\xE2\x80\xA9" "d\nZ",
         "a\xEF\xB7\x90" "b\xEF\xB7\x91" "new\nc\xE2\x80\xA9" "d\n"},
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
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

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
    editor->moveCursor(QTextCursor::End);   // the empty line after "joe"
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

TEST_F(FilesEditor, FailedSavesReportAndLeaveTheFileWhole) {
    const QByteArray old = "10.0.0.1 secret\r\n10.0.0.2 other\r\n";
    TextFileEditor editor;
    QString error;

    // Nothing loaded yet: there is no file to write to.
    appendLine(editor, "typed before any load\n");
    EXPECT_FALSE(editor.SaveFile(editor.FileName(), &error));
    EXPECT_FALSE(error.isEmpty());

    // The file holds `old` when this is called.
    auto expectFailure = [&](const QString& file, const QString& savePath) {
        ASSERT_TRUE(editor.LoadFile(file));
        appendLine(editor, "10.0.0.3 added\n");
        const QString shown = editor.toPlainText();
        const QStringList before = entries(QFileInfo(file).path());
        error.clear();
        EXPECT_FALSE(editor.SaveFile(savePath, &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(readBytes(file), old);
        EXPECT_EQ(editor.toPlainText(), shown);
        EXPECT_EQ(entries(QFileInfo(file).path()), before);   // no temporary file left behind
    };

    // The path leads through a regular file: fails for root too.
    writeBytes(path("plainfile"), "x");
    {
        SCOPED_TRACE("parent is a file");
        const QString file = path("real");
        writeBytes(file, old);
        expectFailure(file, path("plainfile/Clients"));
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
    const QString roDir = path("readonly-dir");
    const QString rwDir = path("open-dir");
    ASSERT_TRUE(QDir().mkdir(roDir));
    ASSERT_TRUE(QDir().mkdir(rwDir));
    writeBytes(roDir + "/Clients", old);
    writeBytes(rwDir + "/Clients", old);
    ::chmod(QFile::encodeName(roDir + "/Clients").constData(), 0666);
    ::chmod(QFile::encodeName(roDir).constData(), 0555);
    ::chmod(QFile::encodeName(rwDir + "/Clients").constData(), 0444);
    ::chmod(QFile::encodeName(rwDir).constData(), 0777);
    AsOrdinaryUser user;
    if (!user.ok())
        GTEST_SKIP() << "running as root without the right to switch user: permission cases not run";
    {
        SCOPED_TRACE("read-only directory");
        expectFailure(roDir + "/Clients", roDir + "/Clients");
    }
    {
        SCOPED_TRACE("read-only file");
        expectFailure(rwDir + "/Clients", rwDir + "/Clients");
    }
}

TEST_F(FilesEditor, SavesKeepLinksPermissionsAndOwner) {
    const QString target = path("Clients.real");
    const QString link = path("Clients");
    writeBytes(target, "10.0.0.1 secret\n");
    ASSERT_TRUE(QFile::link("Clients.real", link));   // a relative link, as people make them
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
}
