#include "ConnectionCheck.h"

#include <QAtomicInteger>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

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

// One count statement: the first column of the first row, which must fit 32 bits.
std::optional<std::int32_t> Count(QSqlDatabase& db, const QString& statement, QString* error) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(statement)) {
        *error = DriverWords(query.lastError());
        return std::nullopt;
    }
    if (!query.next()) {
        *error = query.lastError().isValid() ? DriverWords(query.lastError())
                                             : QStringLiteral("The statement returned no row.");
        return std::nullopt;
    }
    const std::optional<std::int32_t> count = CountFromVariant(query.value(0));
    if (!count)
        *error = QStringLiteral("The count %1 is not a 32-bit number.").arg(query.value(0).toString());
    return count;
}

}  // namespace

std::optional<std::int32_t> CountFromVariant(const QVariant& value) {
    if (!value.isValid() || value.isNull())
        return std::nullopt;
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok);
    if (!ok || number < std::numeric_limits<std::int32_t>::min() || number > std::numeric_limits<std::int32_t>::max())
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
                const auto master = Count(db, QStringLiteral("Select Count(*) From MasterAccounts"), &result.error);
                const auto sub =
                    master ? Count(db, QStringLiteral("Select Count(*) From SubAccounts"), &result.error) : std::nullopt;
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
