#pragma once
// ODBC ini files of a test's own, with the SQLite and PostgreSQL drivers registered.
// unixODBC reads ODBCSYSINI once per process, so the system folder is one for the whole
// process and its odbc.ini is emptied for each test; ODBCINI, the user file, is read anew
// at each use and gets a folder of the test's own.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace norvane::test {

class OdbcIni {
public:
    using Attributes = std::vector<std::pair<QString, QString>>;

    static constexpr const char* SqliteDriver = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";
    static constexpr const char* PostgresDriver = "/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so";

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

}  // namespace norvane::test
