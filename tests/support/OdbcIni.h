#pragma once
// ODBC ini files of a test's own, with the SQLite and PostgreSQL drivers registered, and
// what the connection-check tests build on them: account databases, directory listings.
// unixODBC reads ODBCSYSINI once per process, so the system folder is one for the whole
// process and its odbc.ini is emptied for each test; ODBCINI, the user file, is read anew
// at each use and gets a folder of the test's own.

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace norvane::test {

class OdbcIni {
public:
    using Attributes = std::vector<std::pair<QString, QString>>;

    static constexpr const char* SqliteDriver = NORVANE_ODBC_DRIVER_DIR "/libsqlite3odbc.so";
    static constexpr const char* PostgresDriver = NORVANE_ODBC_DRIVER_DIR "/psqlodbcw.so";

    OdbcIni() : m_oldSys(qgetenv("ODBCSYSINI")), m_oldUser(qgetenv("ODBCINI")) {
        if (!m_dir.isValid())
            ADD_FAILURE() << "no temporary directory";
        Write(SystemDir() + "/odbcinst.ini", QStringLiteral("[SQLite3]\nDriver=%1\n\n[PostgreSQL]\nDriver=%2\n")
                                                 .arg(QLatin1String(SqliteDriver), QLatin1String(PostgresDriver))
                                                 .toUtf8());
        Write(SystemDir() + "/odbc.ini", {});
        Write(path("user/odbc.ini"), {});
        qputenv("ODBCSYSINI", SystemDir().toLocal8Bit());
        qputenv("ODBCINI", path("user/odbc.ini").toLocal8Bit());
    }
    ~OdbcIni() {
        Restore("ODBCSYSINI", m_oldSys);
        Restore("ODBCINI", m_oldUser);
    }
    OdbcIni(const OdbcIni&) = delete;
    OdbcIni& operator=(const OdbcIni&) = delete;

    QString path(const QString& relative) const { return m_dir.path() + "/" + relative; }

    // Appends a data source to the system file, or to the user file.
    void AddDataSource(const QString& name, const QString& driver, const Attributes& attributes, bool user = false) {
        QByteArray section = "[" + name.toUtf8() + "]\nDriver=" + driver.toUtf8() + "\n";
        for (const auto& [key, value] : attributes)
            section += key.toUtf8() + "=" + value.toUtf8() + "\n";
        Append(user ? path("user/odbc.ini") : SystemDir() + "/odbc.ini", section + "\n");
    }
    void AddSqlite(const QString& name, const QString& database, bool user = false) {
        AddDataSource(name, QStringLiteral("SQLite3"), {{QStringLiteral("Database"), database}}, user);
    }
    void AddPostgres(const QString& name, int port, const QString& database) {
        AddDataSource(name, QStringLiteral("PostgreSQL"),
                      {{QStringLiteral("Servername"), QStringLiteral("127.0.0.1")},
                       {QStringLiteral("Port"), QString::number(port)},
                       {QStringLiteral("Database"), database},
                       {QStringLiteral("SSLmode"), QStringLiteral("disable")}});
    }

private:
    static QString SystemDir() {
        static QTemporaryDir dir;
        return dir.path();
    }
    static void Write(const QString& file, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(file).path());
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate)) << file.toStdString();
        out.write(bytes);
    }
    static void Append(const QString& file, const QByteArray& bytes) {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Append)) << file.toStdString();
        out.write(bytes);
    }
    static void Restore(const char* name, const QByteArray& old) {
        if (old.isNull())
            qunsetenv(name);
        else
            qputenv(name, old);
    }

    QTemporaryDir m_dir;
    QByteArray m_oldSys;
    QByteArray m_oldUser;
};

// An SQLite database with the two account tables, that many rows in each; without the
// SubAccounts table when withSubAccounts is false.
inline void MakeAccounts(const QString& file, int masters, int subs, bool withSubAccounts = true) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.toLocal8Bit().constData(), &db), SQLITE_OK) << file.toStdString();
    std::string sql = "CREATE TABLE MasterAccounts(Id INTEGER PRIMARY KEY, Name TEXT);";
    if (withSubAccounts)
        sql += "CREATE TABLE SubAccounts(Id INTEGER PRIMARY KEY, Master INTEGER);";
    for (int i = 1; i <= masters; ++i)
        sql += "INSERT INTO MasterAccounts VALUES(" + std::to_string(i) + ", 'm');";
    for (int i = 1; i <= subs; ++i)
        sql += "INSERT INTO SubAccounts VALUES(" + std::to_string(i) + ", 1);";
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

// The working directory, the program's directory and the given ones, each entry by its
// path on a line of its own: a check must leave these as it found them.
inline std::string PlacesAFileCouldAppear(QStringList directories) {
    directories << QDir::currentPath() << QCoreApplication::applicationDirPath();
    QStringList entries;
    for (const QString& directory : directories)
        for (const QFileInfo& entry :
             QDir(directory).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
            entries << entry.filePath();
    entries.sort();
    return entries.join(u'\n').toStdString();
}

// A working directory of the test's own while it lives, so that nothing another test
// leaves in the shared one is taken for a file this test made.
class OwnWorkingDirectory {
public:
    OwnWorkingDirectory() : m_old(QDir::currentPath()) { EXPECT_TRUE(QDir::setCurrent(m_dir.path())); }
    ~OwnWorkingDirectory() { QDir::setCurrent(m_old); }
    OwnWorkingDirectory(const OwnWorkingDirectory&) = delete;
    OwnWorkingDirectory& operator=(const OwnWorkingDirectory&) = delete;

private:
    QTemporaryDir m_dir;
    QString m_old;
};

}  // namespace norvane::test
