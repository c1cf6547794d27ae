#include "ODBC32.h"

#include "OdbcApi.h"

#include <array>
#include <cstring>

namespace norvane::ODBC32 {

namespace {

SQLHENV g_env = SQL_NULL_HENV;

// unixODBC cuts every data-source name it reads from its ini files at just under 1000
// bytes, so this buffer holds any name it can hand back; a name is never cut here.
constexpr std::size_t NameCapacity = 1024;
// The description: unixODBC hands back the data source's Driver entry, a name or a path.
constexpr std::size_t DescriptionCapacity = 1024;

template <std::size_t N>
std::string Text(const std::array<SQLCHAR, N>& buffer) {
    const auto* text = reinterpret_cast<const char*>(buffer.data());
    return {text, ::strnlen(text, N)};
}

}  // namespace

std::uintptr_t hEnv() { return reinterpret_cast<std::uintptr_t>(g_env); }

std::int16_t AllocEnv() {
    SQLHENV env = SQL_NULL_HENV;
    const SQLRETURN rc = SQLAllocEnv(&env);
    // A failed allocation leaves no environment behind.
    g_env = SQL_SUCCEEDED(rc) ? env : SQL_NULL_HENV;
    return static_cast<std::int16_t>(rc);
}

void FreeEnv() {
    if (g_env != SQL_NULL_HENV)
        SQLFreeEnv(g_env);
    g_env = SQL_NULL_HENV;
}

Fetched FetchDataSource(std::uint16_t direction) { return FetchDataSource(hEnv(), direction); }

Fetched FetchDataSource(std::uintptr_t environment, std::uint16_t direction) {
    Fetched fetched;
    const auto env = reinterpret_cast<SQLHENV>(environment);
    if (env == SQL_NULL_HENV) {
        fetched.rc = SQL_INVALID_HANDLE;
        return fetched;
    }
    std::array<SQLCHAR, NameCapacity> name{};
    std::array<SQLCHAR, DescriptionCapacity> description{};
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT descriptionLength = 0;
    const SQLRETURN rc =
        SQLDataSources(env, direction, name.data(), static_cast<SQLSMALLINT>(name.size()), &nameLength,
                       description.data(), static_cast<SQLSMALLINT>(description.size()), &descriptionLength);
    fetched.rc = static_cast<std::int16_t>(rc);
    if (SQL_SUCCEEDED(rc)) {
        // With info, the call may only be saying that the description was cut.
        fetched.name = Text(name);
        fetched.driver = Text(description);
    }
    return fetched;
}

}  // namespace norvane::ODBC32
