#pragma once
// The process-wide ODBC environment and the enumeration of the machine's data sources,
// over the ODBC driver manager (unixODBC here).

#include <cstdint>
#include <string>

namespace norvane::ODBC32 {

constexpr std::uint16_t SQL_FETCH_NEXT = 1;
constexpr std::uint16_t SQL_FETCH_FIRST = 2;

// The environment handle; 0 when none exists.
std::uintptr_t hEnv();
// SQLAllocEnv into hEnv; the ODBC return code (0 success).
std::int16_t AllocEnv();
// SQLFreeEnv on hEnv, which becomes 0.
void FreeEnv();

struct Fetched {
    std::int16_t rc = -1;  // SQLDataSources' return code: 0, 1 (truncated, with info), 100 (no data), -1...
    std::string name;      // the whole name whenever rc is 0 or 1
    std::string driver;    // what unixODBC gives as the description: the data source's Driver entry
};
// One step of SQLDataSources in the given direction. The name buffer holds the longest
// name the driver manager can return, so a long name is never cut.
Fetched FetchDataSource(std::uint16_t direction);
// The same step on an environment of the caller's own, which keeps its own position.
Fetched FetchDataSource(std::uintptr_t environment, std::uint16_t direction);

}  // namespace norvane::ODBC32
