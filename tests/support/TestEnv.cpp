#include "support/TestEnv.h"

#include "Registry.h"
#include "Settings.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace norvane::test {

TestEnv::TestEnv() : m_oldStore(qgetenv("NORVANE_REGISTRY")) {
    if (!m_dir.isValid())
        ADD_FAILURE() << "no temporary directory";
#ifdef _WIN32
    // One registry for all: each test starts from no settings key (the tests run one at a time).
    Registry::UseStore(nullptr);
    Registry::Store().DeleteTree(Settings::Root, Settings::KeyPath);
#else
    qputenv("NORVANE_REGISTRY", storePath().toLocal8Bit());
    Registry::UseStore(nullptr);  // the next use opens this test's store
#endif
}

TestEnv::~TestEnv() {
    Registry::UseStore(nullptr);
    if (m_oldStore.isNull())
        qunsetenv("NORVANE_REGISTRY");
    else
        qputenv("NORVANE_REGISTRY", m_oldStore);
}

void TestEnv::UseEmptyOdbcIni() {
    // Under Wine the driver manager sees only the variables the process started with.
    QDir().mkpath(path("odbc"));
    QFile(path("odbc/odbc.ini")).open(QIODevice::WriteOnly);
    QFile(path("odbc/odbcinst.ini")).open(QIODevice::WriteOnly);
    qputenv("ODBCSYSINI", path("odbc").toLocal8Bit());
    qputenv("ODBCINI", path("odbc/odbc.ini").toLocal8Bit());
}

namespace {

TestEnv::Stored ValuesIn(KeyStore& store) {
    TestEnv::Stored out;
    HKey key = 0;
    if (store.OpenKey(Settings::Root, Settings::KeyPath, Access::QueryValue, key) != 0)
        return out;
    std::vector<ValueEntry> values;
    store.EnumValues(key, values);
    store.CloseKey(key);
    for (auto& v : values)
        out[v.name] = {v.type, v.data};
    return out;
}

}  // namespace

TestEnv::Stored TestEnv::StoredValues() { return ValuesIn(Registry::Store()); }

std::map<std::string, std::string> TestEnv::StoredBytes(KeyStore& store) {
    std::map<std::string, std::string> out;
    for (auto& [name, value] : ValuesIn(store))
        out[name] = std::move(value.second);
    return out;
}

}  // namespace norvane::test
