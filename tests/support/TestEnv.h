#pragma once
// A private world for one test: its own settings store file, data directory and
// program directory, all under one temporary folder that goes away with the test.

#include <QString>
#include <QTemporaryDir>

namespace norvane::test {

class TestEnv {
public:
    TestEnv();
    ~TestEnv();
    TestEnv(const TestEnv&) = delete;
    TestEnv& operator=(const TestEnv&) = delete;

    QString root() const { return m_dir.path(); }
    QString storePath() const { return m_dir.path() + "/registry.db"; }
    QString path(const QString& relative) const { return m_dir.path() + "/" + relative; }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldStore;
};

}  // namespace norvane::test
