#pragma once
// Connects to an ODBC data source by name, user name and password and counts the rows
// of the two account tables, in the remote-data control's place.

#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>

namespace norvane {

struct CheckResult {
    bool ok = false;
    std::int32_t masterAccounts = 0;
    std::int32_t subAccounts = 0;
    QString error;  // the driver's words when !ok
};

// The longest a check may take, login and both statements together.
constexpr int CheckLimitSeconds = 15;

// Runs "Select Count(*) From MasterAccounts" then "Select Count(*) From SubAccounts".
// Only a data source of that name, with its driver installed, is ever connected to; any
// other name fails before a driver is loaded. A check that takes longer than
// limitSeconds fails, saying so in its error.
CheckResult CheckConnection(const QString& dataSource, const QString& userName, const QString& password,
                            int limitSeconds = CheckLimitSeconds);

// A count as the driver writes it out, when it is a whole number that fits 32 bits.
std::optional<std::int32_t> CountFromText(std::string_view text);

}  // namespace norvane
