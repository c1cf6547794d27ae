#pragma once
// The ODBC API with its 8-bit entry points (SQLDataSources, SQLConnect), which take names
// and passwords as the bytes they are, on every platform. Qt builds for Windows define
// UNICODE, which would turn those names into their W forms.

#ifdef _WIN32
#include <windows.h>
#pragma push_macro("UNICODE")
#undef UNICODE
#endif
#include <sql.h>
#include <sqlext.h>
#ifdef _WIN32
#pragma pop_macro("UNICODE")
#endif
