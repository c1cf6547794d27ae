#pragma once
// A private world for one test: its own settings store file, data directory and
// program directory, all under one temporary folder that goes away with the test.

#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <map>
#include <string>
#include <utility>

namespace norvane {
class KeyStore;
}

namespace norvane::test {

// How long a shown window may take to become active, in milliseconds: under Wine on a
// busy machine, the first window of a run waits for Wine's own desktop to come up.
inline constexpr int ActivationWait = 30000;

class TestEnv {
public:
    TestEnv();
    ~TestEnv();
    TestEnv(const TestEnv&) = delete;
    TestEnv& operator=(const TestEnv&) = delete;

    QString root() const { return m_dir.path(); }
    QString storePath() const { return m_dir.path() + "/registry.db"; }
    QString path(const QString& relative) const { return m_dir.path() + "/" + relative; }

    // Empty ODBC ini files of this test's own: no data source of the machine's shows.
    void UseEmptyOdbcIni();

    // Every value under the settings key as the store in use holds it: name -> (type, bytes).
    using Stored = std::map<std::string, std::pair<std::uint32_t, std::string>>;
    static Stored StoredValues();
    // The bytes alone (name -> bytes, the terminating NUL included), of the given store.
    static std::map<std::string, std::string> StoredBytes(KeyStore& store);

private:
    QTemporaryDir m_dir;
    QByteArray m_oldStore;
};

}  // namespace norvane::test
