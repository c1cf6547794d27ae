// Faults from outside the program: a file system that fills up or turns read-only under
// the server files and the settings store, and a database server that is not there or
// never answers.
#include "Main.h"
#include "MessageBox.h"
#include "ODBC32.h"
#include "Registry.h"
#include "SqliteStore.h"
#include "TextFileEditor.h"
#include "support/TestEnv.h"
#include "support/OdbcIni.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <map>
#include <netinet/in.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace norvane;

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// A small file system of the test's own, so it can be filled and made read-only.
class SmallFileSystem {
public:
    explicit SmallFileSystem(const QString& dir, int kilobytes) : m_dir(dir) {
        QDir().mkpath(dir);
        const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k,mode=0700";
        if (::mount("tmpfs", QFile::encodeName(dir).constData(), "tmpfs", 0, options.constData()) == 0)
            m_mounted = true;
        else
            m_error = QString::fromLocal8Bit(std::strerror(errno));
    }
    ~SmallFileSystem() {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir).constData(), MNT_DETACH);
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool mounted() const { return m_mounted; }
    QString error() const { return m_error; }
    QString path(const QString& name) const { return m_dir + "/" + name; }

    // Writes a filler file until the file system says it is full.
    void Fill() {
        QFile filler(path("filler"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Append));
        const QByteArray block(512, 'f');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        filler.close();
        // Nothing more fits, not even one byte in a new file.
        QFile probe(path("probe"));
        ASSERT_TRUE(probe.open(QIODevice::WriteOnly));
        const bool wrote = probe.write(QByteArray(4096, 'p')) == 4096 && probe.flush();
        probe.close();
        QFile::remove(path("probe"));
        ASSERT_FALSE(wrote) << "the file system did not fill up";
    }
    void Free() { QFile::remove(path("filler")); }
    bool MakeReadOnly() {
        return ::mount(nullptr, QFile::encodeName(m_dir).constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    QString m_dir;
    bool m_mounted = false;
    QString m_error;
};

std::map<std::string, std::string> StoredIn(const QString& store) {
    SqliteStore s(store.toStdString());
    return test::TestEnv::StoredBytes(s);
}

std::string IntegrityCheck(const QString& store) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(store.toLocal8Bit().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return "cannot open";
    }
    std::string result;
    sqlite3_exec(
        db, "PRAGMA integrity_check",
        [](void* out, int, char** row, char**) {
            *static_cast<std::string*>(out) += row[0] ? row[0] : "NULL";
            return 0;
        },
        &result, nullptr);
    sqlite3_close(db);
    return result;
}

class ReliabilityFaults : public ::testing::Test {
protected:
    void SetUp() override {
        MessageBox::setTestMode(true);
        MessageBox::takeShown();
    }
    void TearDown() override {
        main.reset();
        if (ODBC32::hEnv())
            ODBC32::FreeEnv();
        Registry::UseStore(nullptr);
    }
    void OpenWindow() {
        main = std::make_unique<Main>();
        main->setProgramDirectory(env.path("program"));
        main->show();
    }
    test::TestEnv env;
    test::OdbcIni ini;
    std::unique_ptr<Main> main;
};

TEST_F(ReliabilityFaults, ServerFileSavesOnAFullOrReadOnlyFileSystemKeepTheOldFile) {
    SmallFileSystem fs(env.path("data"), 64);
    if (!fs.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs here (" << fs.error().toStdString()
                     << "); this test needs root with CAP_SYS_ADMIN";
    const QByteArray oldClients = "10.0.0.1\tsecret-one\r\n10.0.0.2\tsecret-two\r\n";
    const QByteArray oldUsers = "alice Password = \"a\"\r\nbob Password = \"b\"\r\n";
    {
        QFile c(fs.path("Clients"));
        ASSERT_TRUE(c.open(QIODevice::WriteOnly));
        c.write(oldClients);
        QFile u(fs.path("Users"));
        ASSERT_TRUE(u.open(QIODevice::WriteOnly));
        u.write(oldUsers);
    }
    OpenWindow();
    main->txtFiles[0]->setText(env.path("data"));
    main->txtFiles[2]->setText("Users");
    main->tabMain->setCurrentIndex(Main::TabClients);
    main->tabMain->setCurrentIndex(Main::TabUsers);
    ASSERT_EQ(main->rtbClients->toPlainText(), QString::fromLatin1(oldClients).replace("\r\n", "\n"));
    ASSERT_EQ(main->rtbUsers->toPlainText(), QString::fromLatin1(oldUsers).replace("\r\n", "\n"));

    struct Editor {
        const char* name;
        TextFileEditor* editor;
        QPushButton* save;
        QString file;
        QByteArray old;
    };
    const std::vector<Editor> editors = {
        {"clients", main->rtbClients, main->cmdClientsSave, fs.path("Clients"), oldClients},
        {"users", main->rtbUsers, main->cmdUsersSave, fs.path("Users"), oldUsers},
    };

    fs.Fill();
    for (const Editor& e : editors) {
        SCOPED_TRACE(e.name);
        // An edit larger than any space that might be left over.
        e.editor->appendPlainText(QString(20000, u'x'));
        e.save->click();
        const auto shown = MessageBox::takeShown();
        ASSERT_EQ(shown.size(), 1);
        EXPECT_TRUE(shown[0].text.contains("No space left on device", Qt::CaseInsensitive))
            << shown[0].text.toStdString();
        EXPECT_EQ(ReadAll(e.file), e.old);
    }
    // No half-written copies left behind by the failed saves.
    EXPECT_EQ(QDir(env.path("data")).entryList(QDir::Files | QDir::Hidden).size(), 3);

    fs.Free();
    ASSERT_TRUE(fs.MakeReadOnly()) << std::strerror(errno);
    for (const Editor& e : editors) {
        SCOPED_TRACE(e.name);
        e.save->click();
        const auto shown = MessageBox::takeShown();
        ASSERT_EQ(shown.size(), 1);
        EXPECT_FALSE(shown[0].text.isEmpty());
        EXPECT_EQ(ReadAll(e.file), e.old);
    }
}

TEST_F(ReliabilityFaults, SettingsSaveOnAFullDiskReportsAndKeepsThePreviousSave) {
    SmallFileSystem fs(env.path("store"), 128);
    if (!fs.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs here (" << fs.error().toStdString()
                     << "); this test needs root with CAP_SYS_ADMIN";
    const QString store = fs.path("registry.db");
    qputenv("NORVANE_REGISTRY", store.toLocal8Bit());
    Registry::UseStore(nullptr);
    OpenWindow();
    main->txtLogFile[0]->setText("/var/log/corvex.log");
    main->txtUsername[0]->setText("radius");
    main->txtAuthPort->setText("1812");
    main->mSave->trigger();
    auto shown = MessageBox::takeShown();
    ASSERT_EQ(shown.size(), 1);
    ASSERT_EQ(shown[0].text, "Norvane Configuration Saved");
    const auto previous = StoredIn(store);
    ASSERT_EQ(previous.at("LogFile"), std::string("/var/log/corvex.log") + '\0');

    fs.Fill();
    // Every text box full: this save needs pages the file system no longer has.
    for (QLineEdit* box : main->findChildren<QLineEdit*>())
        if (box != main->txtAuthPort && box != main->txtAcctPort)
            box->setText(QString(10000, u'n'));
    main->txtAuthPort->setText("1645");
    main->mSave->trigger();
    shown = MessageBox::takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_NE(shown[0].text, "Norvane Configuration Saved");
    EXPECT_EQ(shown[0].icon, MessageBox::Icon::Critical);
    EXPECT_TRUE(shown[0].text.contains("full", Qt::CaseInsensitive)) << shown[0].text.toStdString();
    EXPECT_TRUE(main->DirtyFlag());

    // Read by another administrator, on the full disk: the previous save, whole.
    EXPECT_EQ(IntegrityCheck(store), "ok");
    EXPECT_EQ(StoredIn(store), previous);

    // The same window saves once there is room again.
    fs.Free();
    main->mSave->trigger();
    shown = MessageBox::takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, "Norvane Configuration Saved");
    EXPECT_EQ(StoredIn(store).at("AuthPort"), std::string("1645") + '\0');
    const auto second = StoredIn(store);

    // A store whose file system turned read-only: refused and reported, nothing changes.
    // (The file system is busy while the store is open for writing, so it is closed first
    // and opened again by the next save.)
    Registry::UseStore(nullptr);
    ASSERT_TRUE(fs.MakeReadOnly()) << std::strerror(errno);
    main->txtAuthPort->setText("1700");
    main->mSave->trigger();
    shown = MessageBox::takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_NE(shown[0].text, "Norvane Configuration Saved");
    // The cause is the mount, not the operator's rights: root is refused too.
    EXPECT_TRUE(shown[0].text.contains("read-only")) << shown[0].text.toStdString();
    EXPECT_FALSE(shown[0].text.contains("administrator rights")) << shown[0].text.toStdString();
    EXPECT_EQ(StoredIn(store), second);
    Registry::UseStore(nullptr);
}

// A loopback port with nothing behind it, and one that takes connections but never says a word.
int ClosedPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(s);
    return ntohs(a.sin_port);
}

class SilentServer {
public:
    SilentServer() {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        // The kernel completes the handshake for the backlog; nobody ever accepts or replies.
        if (::bind(m_socket, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(m_socket, 16) == 0 &&
            ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            m_port = ntohs(a.sin_port);
    }
    ~SilentServer() { ::close(m_socket); }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;
    int port() const { return m_port; }

private:
    int m_socket = -1;
    int m_port = 0;
};

TEST_F(ReliabilityFaults, UnreachableDatabaseFailsWithinTheLoginBound) {
    SilentServer silent;
    ASSERT_GT(silent.port(), 0);
    ini.AddPostgres("Closed", ClosedPort(), "norvane");
    ini.AddPostgres("Silent", silent.port(), "norvane");
    OpenWindow();
    Main::SetValue(main->chkMode[1], 1);
    main->tabMain->setCurrentIndex(Main::TabOdbcDsn);
    main->txtUsername[0]->setText("norvane");
    main->txtPassword[0]->setText("norvane-pw");
    main->txtPassword[1]->setText("norvane-pw");

    // The check's own login bound, and room for a slow (sanitizer) build on top of it.
    constexpr qint64 LoginBoundMs = 10000;
    constexpr qint64 SlackMs = 15000;
    for (const char* dsn : {"Closed", "Silent"}) {
        SCOPED_TRACE(dsn);
        main->cbDSN[0]->setEditText(dsn);
        ASSERT_TRUE(main->cmdCheck[0]->isEnabled());
        QElapsedTimer t;
        t.start();
        QTest::mouseClick(main->cmdCheck[0], Qt::LeftButton);
        const qint64 took = t.elapsed();
        std::printf("%s: failed after %lld ms\n", dsn, static_cast<long long>(took));
        const auto shown = MessageBox::takeShown();
        ASSERT_EQ(shown.size(), 1);
        EXPECT_EQ(shown[0].text, "Check Connection failed");
        EXPECT_FALSE(shown[0].detailedText.isEmpty());
        EXPECT_LT(took, LoginBoundMs + SlackMs);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
}

}  // namespace
