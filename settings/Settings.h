#pragma once
// The server's settings: every value under the settings key, its kind, the controls
// that show it and the conversions that loading and saving share.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace norvane::Settings {

constexpr std::uint32_t Root = 0x80000002u;  // HKEY_LOCAL_MACHINE
constexpr const char* KeyPath = "SOFTWARE\\Tarsel\\Norvane";

enum class Kind { Flag, Number, BitMask, Text };

// Every value under the settings key, in the order the save writes them; each indexes its
// row of Table, so a setting is named in one place and renaming it breaks every use.
enum class Setting {
    IgnoreCase,
    AuthPort,
    ReqAcctAuth,
    AllowMalformed,
    TrimName,
    AcctPort,
    Mode,
    Proxy,
    Options,
    SNMP,
    Debug,
    LogFile,
    AcctLogFile,
    ODBCDatasource,
    UserName,
    Password,
    AcctODBCDatasource,
    AcctUserName,
    AcctPassword,
    TestDatabaseSecs,
    DataDirectory,
    AcctDirectory,
    UsersFile,
    IPAddress,
    Count
};
constexpr std::size_t SettingCount = static_cast<std::size_t>(Setting::Count);

// The main window's controls that show a setting, by object name: one control (first < 0)
// or the members first..last of a control array, named "name(i)".
struct Controls {
    const char* name;
    int first = -1, last = -1;
};

struct Definition {
    Setting setting;
    const char* name;      // as the load reads it
    const char* saveName;  // as the save writes it (differs only in letter case)
    Kind kind;
    Controls controls;
    const char* whenEmpty;  // what the save stores for an empty box; null: the empty text
};

extern const std::array<Definition, SettingCount> Table;
inline const Definition& Row(Setting setting) { return Table[static_cast<std::size_t>(setting)]; }

// Through the Registry module's current location, which the caller points at the settings
// key: the stored text ("" when it cannot be read) under the name the load reads, and a
// REG_SZ write under the name the save writes (0 on success).
std::string Read(Setting setting);
std::int16_t Write(Setting setting, const std::string& text);

// The number a text begins with; nullopt when it does not fit (a double that overflows,
// an &H or &O number wider than 32 bits), which callers treat as a failing step.
std::optional<double> LeadingNumber(std::string_view text);
// Decimal text of a number: whole numbers as plain digits, others with at most 15
// significant digits.
std::string NumberText(double value);
// Rounded to a signed 32-bit integer, a half to the even neighbour; nullopt out of range.
std::optional<std::int32_t> ToInt32(double value);
// NumberText(LeadingNumber(text)), "" when the number does not fit.
std::string Normalised(std::string_view text);

// Load codecs: which boxes the load checks (it never unchecks them). A stored text whose
// number is out of range gives nullopt: the step fails and the boxes keep their state.
struct TrimNameLoad {
    bool spaces = false, domains = false;
};
std::optional<TrimNameLoad> LoadTrimName(std::string_view stored);

using ModeBoxes = std::array<bool, 4>;  // Text, ODBC, Text Backup, From Database
std::optional<ModeBoxes> LoadMode(std::string_view stored);

using ProxyBoxes = std::array<bool, 6>;  // User Proxy, Authentication, Unknown, Accounting, Echo, Server Proxy
std::optional<ProxyBoxes> LoadProxy(std::string_view stored);

using OptionBoxes = std::array<bool, 14>;  // box i stands for bit 2^i; box 4 always comes back unchecked
std::optional<OptionBoxes> LoadOptions(std::string_view stored);

using SnmpBoxes = std::array<bool, 2>;
std::optional<SnmpBoxes> LoadSnmp(std::string_view stored);

using DebugBoxes = std::array<bool, 4>;
std::optional<DebugBoxes> LoadDebug(std::string_view stored);

// A flag is checked when its number passes the flag's own test.
bool LoadIgnoreCase(std::string_view stored);      // not 0
bool LoadReqAcctAuth(std::string_view stored);     // equals 1
bool LoadAllowMalformed(std::string_view stored);  // 1 or more
// A port box takes the normalised text when the number is not 0; nullopt leaves the box alone.
std::optional<std::string> LoadPort(std::string_view stored);

// Save codecs, from check box Values (0, 1, 2) and their own shown flags.
struct Box {
    int value = 0;
    bool shown = true;
};
std::string SaveTrimName(Box spaces, Box domains);
std::string SaveMode(Box text, Box odbc, Box textBackup, Box fromDatabase);
std::string SaveProxy(const std::array<int, 6>& values);
std::string SaveOptions(const std::array<int, 14>& values);
std::string SaveSnmp(int statistics, int concurrency);
std::string SaveDebug(const std::array<int, 4>& values);
// nullopt when the box's number is 0: the stored port stays as it is.
std::optional<std::string> SavePort(std::string_view boxText);

}  // namespace norvane::Settings
