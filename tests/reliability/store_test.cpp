// The settings store under a killed administrator and under two administrators saving at
// once: real processes with the real window, the store read back from its file.
#include "KeyStore.h"
#include "Main.h"
#include "MessageBox.h"
#include "ODBC32.h"
#include "Registry.h"
#include "SqliteStore.h"
#include "support/TestEnv.h"
#include "support/reliability_values.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

using namespace norvane;

namespace {

const std::string Key = "SOFTWARE\\Tarsel\\Norvane";

std::string IntegrityCheck(const QString& store) {
    sqlite3* db = nullptr;
    // Opened for writing, as the next administrator would: a hot journal is rolled back here.
    if (sqlite3_open_v2(store.toLocal8Bit().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        std::string why = db ? sqlite3_errmsg(db) : "cannot open";
        sqlite3_close(db);
        return "open: " + why;
    }
    std::string result;
    sqlite3_exec(
        db, "PRAGMA integrity_check",
        [](void* out, int, char** row, char**) {
            auto* s = static_cast<std::string*>(out);
            *s += (s->empty() ? "" : "; ") + std::string(row[0] ? row[0] : "NULL");
            return 0;
        },
        &result, nullptr);
    sqlite3_close(db);
    return result;
}

std::vector<ValueEntry> StoredValues(const QString& store) {
    SqliteStore s(store.toStdString());
    HKey k = 0;
    std::vector<ValueEntry> values;
    if (s.OpenKey(HKEY_LOCAL_MACHINE_ROOT, Key, Access::QueryValue, k) == 0) {
        s.EnumValues(k, values);
        s.CloseKey(k);
    }
    return values;
}

// Checks that the store holds exactly one whole save and says which one.
std::optional<std::pair<QString, std::uint64_t>> WholeSave(const QString& store, const QStringList& ipItems,
                                                           std::string& why) {
    const std::vector<ValueEntry> values = StoredValues(store);
    std::map<std::string, std::string> stored;
    for (const ValueEntry& v : values) {
        if (v.type != RegType::Sz || v.data.empty() || v.data.back() != '\0') {
            why = "value " + v.name + " is not a terminated REG_SZ";
            return std::nullopt;
        }
        stored[v.name] = v.data.substr(0, v.data.size() - 1);
    }
    const auto which = test::SaveOf(stored["LogFile"]);
    if (!which) {
        why = "LogFile names no save: '" + stored["LogFile"] + "'";
        return std::nullopt;
    }
    const auto expected = test::ExpectedSave(which->first, which->second, ipItems);
    if (values.size() != expected.size())
        why = "the key holds " + std::to_string(values.size()) + " values";
    for (const auto& [name, text] : expected)
        if (!stored.count(name) || stored[name] != text)
            why += " " + name + "='" + (stored.count(name) ? stored[name] : "<missing>") + "' (save " +
                   which->first.toStdString() + "-" + std::to_string(which->second) + " wrote '" + text + "');";
    if (!why.empty())
        return std::nullopt;
    return which;
}

class ReliabilityStore : public ::testing::Test {
protected:
    void SetUp() override {
        MessageBox::setTestMode(true);
        // Only this test's (empty) data sources.
        QDir().mkpath(env.path("odbc"));
        QFile(env.path("odbc/odbc.ini")).open(QIODevice::WriteOnly);
        QFile(env.path("odbc/odbcinst.ini")).open(QIODevice::WriteOnly);
        processEnv = QProcessEnvironment::systemEnvironment();
        processEnv.insert("NORVANE_REGISTRY", env.storePath());
        processEnv.insert("ODBCSYSINI", env.path("odbc"));
        processEnv.insert("ODBCINI", env.path("odbc/odbc.ini"));
        processEnv.insert("QT_QPA_PLATFORM", "offscreen");
        // The list the administrators choose their address from, as a window shows it.
        qputenv("ODBCSYSINI", env.path("odbc").toLocal8Bit());
        qputenv("ODBCINI", env.path("odbc/odbc.ini").toLocal8Bit());
        Main window;
        for (int k = 0; k < window.cbIPAddress->count(); ++k)
            ipItems << window.cbIPAddress->itemText(k);
        if (ODBC32::hEnv())
            ODBC32::FreeEnv();
        Registry::UseStore(nullptr);
        QFile::remove(env.storePath());
    }
    void Start(QProcess& p, const QString& tag, std::uint64_t first, std::uint64_t count) {
        p.setProcessEnvironment(processEnv);
        p.start(QStringLiteral(NORVANE_RELIABILITY_SAVER), {tag, QString::number(first), QString::number(count)});
        ASSERT_TRUE(p.waitForStarted(30000)) << p.errorString().toStdString();
    }
    // Reads the child's lines until "ready" (false when it ended first).
    static bool WaitReady(QProcess& p, QByteArray& out) {
        QElapsedTimer t;
        t.start();
        while (!out.contains("ready\n") && t.elapsed() < 120000) {
            if (!p.waitForReadyRead(1000) && p.state() == QProcess::NotRunning)
                break;
            out += p.readAllStandardOutput();
        }
        return out.contains("ready\n");
    }
    // The last "saved N" line, if any.
    static std::optional<std::uint64_t> LastSaved(const QByteArray& out) {
        const qsizetype at = out.lastIndexOf("saved ");
        if (at < 0)
            return std::nullopt;
        return out.mid(at + 6, out.indexOf('\n', at) - at - 6).toULongLong();
    }

    test::TestEnv env;
    QProcessEnvironment processEnv;
    QStringList ipItems;
};

TEST_F(ReliabilityStore, KilledMidSaveLeavesOneWholeSave) {
    const char* killsEnv = std::getenv("RELIABILITY_KILLS");
    const int kills = killsEnv ? std::atoi(killsEnv) : 200;
    const char* seedEnv = std::getenv("RELIABILITY_SEED");
    const unsigned seed = seedEnv ? unsigned(std::strtoul(seedEnv, nullptr, 10)) : std::random_device{}();
    std::printf("seed %u (RELIABILITY_SEED repeats a run), %d kills\n", seed, kills);
    std::mt19937 rng(seed);

    // One save that finishes, so there is a previous save to keep.
    {
        QProcess first;
        Start(first, "A", 0, 1);
        ASSERT_TRUE(first.waitForFinished(120000));
        ASSERT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
    }
    std::uint64_t stored = 0;
    int hotJournals = 0;
    int midRun = 0;
    QElapsedTimer clock;
    clock.start();
    for (int k = 0; k < kills; ++k) {
        QProcess child;
        Start(child, "A", stored + 1, 1000000);
        QByteArray out;
        ASSERT_TRUE(WaitReady(child, out)) << "kill " << k << ": " << child.readAllStandardError().toStdString();
        // Anywhere from the first save's start to a few dozen saves in.
        std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, 40000)(rng)));
        ASSERT_EQ(child.state(), QProcess::Running)
            << "the saver stopped by itself: " << child.readAllStandardError().toStdString();
        child.kill();  // SIGKILL
        ASSERT_TRUE(child.waitForFinished(30000));
        out += child.readAllStandardOutput();

        if (QFile::exists(env.storePath() + "-journal") && QFile(env.storePath() + "-journal").size() > 0)
            ++hotJournals;
        const std::optional<std::uint64_t> saved = LastSaved(out);
        midRun += saved.has_value();

        ASSERT_EQ(IntegrityCheck(env.storePath()), "ok") << "kill " << k;
        std::string why;
        const auto whole = WholeSave(env.storePath(), ipItems, why);
        ASSERT_TRUE(whole) << "kill " << k << ": a mixed or broken save:" << why;
        EXPECT_EQ(whole->first, "A");
        // The last save the child reported, or the one after it whose commit landed just
        // before the kill; never an older one.
        const std::uint64_t reported = saved.value_or(stored);
        ASSERT_TRUE(whole->second == reported || whole->second == reported + 1)
            << "kill " << k << ": store holds save " << whole->second << ", last reported " << reported;
        stored = whole->second;
    }
    std::printf("%d kills in %.1f s: %d left a hot journal, %d after one or more whole saves; last save %llu\n", kills,
                clock.elapsed() / 1000.0, hotJournals, midRun, static_cast<unsigned long long>(stored));
    // The kills must have landed inside transactions, or the test proved nothing.
    if (kills >= 50) {
        EXPECT_GT(hotJournals, 0);
    }
}

TEST_F(ReliabilityStore, TwoSavingAtOnceNeverFail) {
    constexpr int Saves = 200;
    QProcess a, b;
    Start(a, "A", 0, Saves);
    Start(b, "B", 0, Saves);
    for (QProcess* p : {&a, &b}) {
        ASSERT_TRUE(p->waitForFinished(600000));
        const QByteArray err = p->readAllStandardError();
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p->exitCode(), 0) << err.toStdString();
        EXPECT_EQ(LastSaved(p->readAllStandardOutput()), std::optional<std::uint64_t>(Saves - 1));
    }
    ASSERT_EQ(IntegrityCheck(env.storePath()), "ok");
    std::string why;
    const auto whole = WholeSave(env.storePath(), ipItems, why);
    ASSERT_TRUE(whole) << why;
    // Whoever committed last: its final save, whole.
    EXPECT_TRUE(whole->first == "A" || whole->first == "B");
    EXPECT_EQ(whole->second, std::uint64_t(Saves - 1));
}

}  // namespace
