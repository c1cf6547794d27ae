#include "ConnectionCheck.h"

#include <QAtomicInteger>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlDriver>
#include <QVariant>

#include <sql.h>
#include <sqlext.h>

#include <cmath>
#include <limits>
#include <optional>

namespace norvane {

namespace {

QString DriverWords(const QSqlError& error) {
    QString text = error.databaseText();
    if (text.isEmpty())
        text = error.driverText();
    return text.isEmpty() ? error.text() : text;
}

// A value that the driver would split the connection string on goes in braces, with a
// closing brace doubled, so a password such as "a;b" reaches the driver whole.
QString ConnectionValue(const QString& value) {
    static const QString special = QStringLiteral(";{}");
    bool plain = !value.startsWith(u' ') && !value.endsWith(u' ');
    for (QChar c : value)
        plain = plain && !special.contains(c);
    if (plain)
        return value;
    QString quoted = value;
    quoted.replace(u'}', QStringLiteral("}}"));
    return u'{' + quoted + u'}';
}

// ODBC's own words for the last failure on a handle.
QString DiagnosticText(SQLSMALLINT type, SQLHANDLE handle) {
    QString text;
    for (SQLSMALLINT record = 1; record <= 8; ++record) {
        SQLCHAR state[8] = {};
        SQLINTEGER native = 0;
        SQLCHAR message[1024] = {};
        SQLSMALLINT length = 0;
        const SQLRETURN rc = SQLGetDiagRec(type, handle, record, state, &native, message, sizeof message, &length);
        if (!SQL_SUCCEEDED(rc))
            break;
        if (!text.isEmpty())
            text += u'\n';
        text += QString::fromLocal8Bit(reinterpret_cast<const char*>(message));
    }
    return text.isEmpty() ? QStringLiteral("The ODBC call failed.") : text;
}

class Statement {
public:
    explicit Statement(SQLHDBC connection) {
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection, &m_handle)))
            m_handle = SQL_NULL_HSTMT;
    }
    ~Statement() {
        if (m_handle != SQL_NULL_HSTMT)
            SQLFreeHandle(SQL_HANDLE_STMT, m_handle);
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    SQLHSTMT handle() const { return m_handle; }

private:
    SQLHSTMT m_handle = SQL_NULL_HSTMT;
};

// One count statement: the first column of the first row, which must fit 32 bits. The
// column is read as text, since a driver may declare a count 32-bit and cut a larger one.
std::optional<std::int32_t> Count(SQLHDBC connection, const char* statement, QString* error) {
    Statement stmt(connection);
    if (stmt.handle() == SQL_NULL_HSTMT) {
        *error = DiagnosticText(SQL_HANDLE_DBC, connection);
        return std::nullopt;
    }
    SQLRETURN rc = SQLExecDirect(stmt.handle(), reinterpret_cast<SQLCHAR*>(const_cast<char*>(statement)), SQL_NTS);
    if (!SQL_SUCCEEDED(rc)) {
        *error = DiagnosticText(SQL_HANDLE_STMT, stmt.handle());
        return std::nullopt;
    }
    rc = SQLFetch(stmt.handle());
    if (rc == SQL_NO_DATA) {
        *error = QStringLiteral("The statement returned no row.");
        return std::nullopt;
    }
    if (!SQL_SUCCEEDED(rc)) {
        *error = DiagnosticText(SQL_HANDLE_STMT, stmt.handle());
        return std::nullopt;
    }
    char text[128] = {};
    SQLLEN indicator = 0;
    rc = SQLGetData(stmt.handle(), 1, SQL_C_CHAR, text, sizeof text, &indicator);
    if (!SQL_SUCCEEDED(rc)) {
        *error = DiagnosticText(SQL_HANDLE_STMT, stmt.handle());
        return std::nullopt;
    }
    if (indicator == SQL_NULL_DATA) {
        *error = QStringLiteral("The count is empty.");
        return std::nullopt;
    }
    text[sizeof text - 1] = 0;
    const std::optional<std::int32_t> count = CountFromText(text);
    if (!count)
        *error = QStringLiteral("The count %1 is not a 32-bit number.").arg(QString::fromLatin1(text));
    return count;
}

}  // namespace

std::optional<std::int32_t> CountFromText(std::string_view text) {
    const QByteArray digits = QByteArray(text.data(), static_cast<qsizetype>(text.size())).trimmed();
    bool ok = false;
    qlonglong number = digits.toLongLong(&ok);
    if (!ok) {
        // A driver may give a count as a decimal, such as "12.0".
        const double value = digits.toDouble(&ok);
        if (!ok || value != std::trunc(value) || std::fabs(value) > 4e18)
            return std::nullopt;
        number = static_cast<qlonglong>(value);
    }
    if (number < std::numeric_limits<std::int32_t>::min() || number > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(number);
}

CheckResult CheckConnection(const QString& dataSource, const QString& userName, const QString& password,
                            int loginTimeoutSeconds) {
    static QAtomicInteger<quint64> serial;
    const QString connectionName = QStringLiteral("norvane-check-%1").arg(serial.fetchAndAddRelaxed(1));
    CheckResult result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), connectionName);
        if (!db.isValid()) {
            result.error = DriverWords(db.lastError());
            if (result.error.isEmpty())
                result.error = QStringLiteral("The ODBC driver of Qt SQL is not available.");
        } else {
            db.setDatabaseName(ConnectionValue(dataSource));
            db.setUserName(ConnectionValue(userName));
            db.setPassword(ConnectionValue(password));
            // An unreachable server must not hold the window longer than this.
            const int seconds = qMax(1, loginTimeoutSeconds);
            db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1;SQL_ATTR_CONNECTION_TIMEOUT=%1").arg(seconds));
            if (!db.open()) {
                result.error = DriverWords(db.lastError());
            } else {
                const QVariant handle = db.driver()->handle();
                // Qt hands the ODBC connection handle out as a pointer-sized value.
                const SQLHDBC connection = handle.isValid() && handle.metaType().sizeOf() == sizeof(SQLHDBC)
                                               ? *static_cast<const SQLHDBC*>(handle.constData())
                                               : SQL_NULL_HDBC;
                std::optional<std::int32_t> master;
                std::optional<std::int32_t> sub;
                if (connection == SQL_NULL_HDBC)
                    result.error = QStringLiteral("The ODBC connection handle is not available.");
                else
                    master = Count(connection, "Select Count(*) From MasterAccounts", &result.error);
                if (master)
                    sub = Count(connection, "Select Count(*) From SubAccounts", &result.error);
                if (master && sub) {
                    result.ok = true;
                    result.masterAccounts = *master;
                    result.subAccounts = *sub;
                    result.error.clear();
                }
                db.close();
            }
        }
    }
    QSqlDatabase::removeDatabase(connectionName);
    return result;
}

}  // namespace norvane
