#include "ConnectionCheck.h"

#include "ODBC32.h"

#include <QByteArray>

#include "OdbcApi.h"
#include "ValueText.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

namespace norvane {

namespace {

// unixODBC matches data-source and driver names without regard to the case of ASCII
// letters, and of those only.
bool SameName(std::string_view a, std::string_view b) { return EqualsNoCase(a, b); }

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

// An ODBC handle of one kind, freed when it goes.
template <SQLSMALLINT Type>
class Handle {
public:
    explicit Handle(SQLHANDLE parent) {
        if (!SQL_SUCCEEDED(SQLAllocHandle(Type, parent, &m_handle)))
            m_handle = SQL_NULL_HANDLE;
    }
    ~Handle() {
        if (m_handle != SQL_NULL_HANDLE)
            SQLFreeHandle(Type, m_handle);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    SQLHANDLE handle() const { return m_handle; }

private:
    SQLHANDLE m_handle = SQL_NULL_HANDLE;
};
using Statement = Handle<SQL_HANDLE_STMT>;

// The driver that unixODBC will load for a data source, looked up as it does: the first
// data source of that name among the user's, and only when that one names no driver,
// the first among the system's. None when no data source of that name names a driver.
std::optional<std::string> DataSourceDriver(SQLHENV env, std::string_view name) {
    const auto environment = reinterpret_cast<std::uintptr_t>(env);
    for (const SQLUSMALLINT first : {SQL_FETCH_FIRST_USER, SQL_FETCH_FIRST_SYSTEM}) {
        ODBC32::Fetched fetched = ODBC32::FetchDataSource(environment, first);
        while (SQL_SUCCEEDED(fetched.rc) && !SameName(fetched.name, name))
            fetched = ODBC32::FetchDataSource(environment, SQL_FETCH_NEXT);
        if (SQL_SUCCEEDED(fetched.rc) && !fetched.driver.empty())
            return fetched.driver;
    }
    return std::nullopt;
}

// Whether unixODBC finds a library for the driver a data source names: a path from the
// root is taken as it stands; any other name must be a driver of odbcinst.ini with a
// Driver or Driver64 entry. For anything else the driver manager would quietly load
// the driver of the [Default] data source instead.
bool DriverInstalled(SQLHENV env, std::string_view driver) {
    if (driver.starts_with('/'))
        return true;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        SQLCHAR name[1024] = {};
        SQLCHAR attributes[4096] = {};
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT attributesLength = 0;
        const SQLRETURN rc = SQLDrivers(env, direction, name, sizeof name, &nameLength, attributes,
                                        sizeof attributes - 1, &attributesLength);
        direction = SQL_FETCH_NEXT;
        if (!SQL_SUCCEEDED(rc))
            return false;
        if (!SameName(reinterpret_cast<const char*>(name), driver))
            continue;
        // The first driver of that name is the one looked up: "key=value" texts, each
        // ended by a NUL, the list by a second one.
        for (const char* entry = reinterpret_cast<const char*>(attributes); *entry; entry += std::strlen(entry) + 1) {
            const std::string_view text(entry);
            const std::size_t equals = text.find('=');
            if (equals != std::string_view::npos && equals + 1 < text.size() &&
                (SameName(text.substr(0, equals), "Driver") || SameName(text.substr(0, equals), "Driver64")))
                return true;
        }
        return false;
    }
}

// Why a name must not be handed to SQLConnect, or nothing when it may: it must be a data
// source of the machine whose driver is installed, so that the driver manager never
// falls back to its [Default] data source, which may be any database at all.
QString RefusedName(SQLHENV env, const QByteArray& name) {
    if (name.isEmpty())
        return QStringLiteral("No data source name was given.");
    if (SameName(name.toStdString(), "Default"))
        return QStringLiteral("\"%1\" is the driver manager's fallback, not a data source to check.")
            .arg(QString::fromLocal8Bit(name));
    const std::optional<std::string> driver = DataSourceDriver(env, name.toStdString());
    if (!driver)
        return QStringLiteral("Data source name not found: \"%1\".").arg(QString::fromLocal8Bit(name));
    if (!DriverInstalled(env, *driver))
        return QStringLiteral("The driver \"%1\" of the data source \"%2\" is not installed.")
            .arg(QString::fromLocal8Bit(driver->c_str()), QString::fromLocal8Bit(name));
    return {};
}

using Clock = std::chrono::steady_clock;

// Whole seconds to the deadline, rounded up; 0 once it has passed.
int SecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::seconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// One count statement: the first column of the first row, which must fit 32 bits. The
// column is read as text, since a driver may declare a count 32-bit and cut a larger one.
std::optional<std::int32_t> Count(SQLHDBC connection, const char* statement, Clock::time_point deadline,
                                  QString* error) {
    Statement stmt(connection);
    if (stmt.handle() == SQL_NULL_HANDLE) {
        *error = DiagnosticText(SQL_HANDLE_DBC, connection);
        return std::nullopt;
    }
    const int left = SecondsLeft(deadline);
    if (left == 0) {
        *error = QStringLiteral("No time was left for \"%1\".").arg(QLatin1String(statement));
        return std::nullopt;
    }
    // A driver that does not take the limit (the SQLite driver) is cut short by the caller.
    SQLSetStmtAttr(stmt.handle(), SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(left)), 0);
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

// The check itself, each step given the time that is left.
CheckResult RunCheck(const QByteArray& name, const QByteArray& user, const QByteArray& secret,
                     Clock::time_point deadline) {
    CheckResult result;
    Handle<SQL_HANDLE_ENV> env(SQL_NULL_HANDLE);
    if (env.handle() == SQL_NULL_HANDLE) {
        result.error = QStringLiteral("The ODBC environment could not be allocated.");
        return result;
    }
    SQLSetEnvAttr(env.handle(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);

    result.error = RefusedName(env.handle(), name);
    if (!result.error.isEmpty())
        return result;
    Handle<SQL_HANDLE_DBC> connection(env.handle());
    if (connection.handle() == SQL_NULL_HANDLE) {
        result.error = DiagnosticText(SQL_HANDLE_ENV, env.handle());
        return result;
    }
    const auto seconds = static_cast<SQLULEN>(std::max(1, SecondsLeft(deadline)));
    SQLSetConnectAttr(connection.handle(), SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(seconds), 0);
    SQLSetConnectAttr(connection.handle(), SQL_ATTR_CONNECTION_TIMEOUT, reinterpret_cast<SQLPOINTER>(seconds), 0);
    // The three values go to the driver as they are, each on its own: no connection text
    // is ever built, so a password with ";" or braces arrives whole and is written nowhere.
    auto text = [](const QByteArray& bytes) {
        return reinterpret_cast<SQLCHAR*>(const_cast<char*>(bytes.constData()));
    };
    const SQLRETURN rc =
        SQLConnect(connection.handle(), text(name), static_cast<SQLSMALLINT>(name.size()), text(user),
                   static_cast<SQLSMALLINT>(user.size()), text(secret), static_cast<SQLSMALLINT>(secret.size()));
    if (!SQL_SUCCEEDED(rc)) {
        result.error = DiagnosticText(SQL_HANDLE_DBC, connection.handle());
        return result;
    }
    const std::optional<std::int32_t> master =
        Count(connection.handle(), "Select Count(*) From MasterAccounts", deadline, &result.error);
    const std::optional<std::int32_t> sub =
        master ? Count(connection.handle(), "Select Count(*) From SubAccounts", deadline, &result.error) : std::nullopt;
    if (master && sub) {
        result.ok = true;
        result.masterAccounts = *master;
        result.subAccounts = *sub;
        result.error.clear();
    }
    SQLDisconnect(connection.handle());
    return result;
}

QString LimitText(int seconds) {
    return QStringLiteral(
               "The check did not finish within %1 seconds: the database may be locked or busy, or its "
               "server does not answer.")
        .arg(seconds);
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
                            int limitSeconds) {
    const QByteArray name = dataSource.toLocal8Bit();
    const QByteArray user = userName.toLocal8Bit();
    const QByteArray secret = password.toLocal8Bit();
    constexpr qsizetype longest = std::numeric_limits<SQLSMALLINT>::max();
    if (user.size() > longest || secret.size() > longest)
        return {false, 0, 0, QStringLiteral("The user name or password is too long.")};

    // The login and both statements get what is left of the limit less a moment, which
    // the PostgreSQL driver keeps and reports in its own words. A driver may not (the
    // SQLite driver waits out a locked database for 100 s and ignores both the query
    // timeout and SQLCancel): the check runs on a thread of its own, and at the limit it
    // is left to finish alone, its result dropped, while the window goes on.
    limitSeconds = std::max(1, limitSeconds);
    const Clock::time_point start = Clock::now();
    const Clock::time_point limit = start + std::chrono::seconds(limitSeconds);
    const Clock::time_point deadline = limit - std::min<Clock::duration>(std::chrono::seconds(2), (limit - start) / 2);
    struct Shared {
        std::mutex mutex;
        std::condition_variable finished;
        std::optional<CheckResult> result;
    };
    const auto shared = std::make_shared<Shared>();
    std::thread([shared, name, user, secret, deadline] {
        CheckResult result = RunCheck(name, user, secret, deadline);
        const std::lock_guard lock(shared->mutex);
        shared->result = std::move(result);
        shared->finished.notify_all();
    }).detach();

    std::unique_lock lock(shared->mutex);
    if (!shared->finished.wait_until(lock, limit, [&] { return shared->result.has_value(); }))
        return {false, 0, 0, LimitText(limitSeconds)};
    CheckResult result = std::move(*shared->result);
    if (!result.ok && Clock::now() >= deadline)
        result.error = LimitText(limitSeconds) + u'\n' + result.error;
    return result;
}

}  // namespace norvane
