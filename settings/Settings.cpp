#include "Settings.h"

#include "Registry.h"
#include "ValueText.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace norvane::Settings {

constexpr std::array<Definition, SettingCount> Table = {{
    {Setting::IgnoreCase, "IgnoreCase", "IgnoreCase", Kind::Flag, {"chkIgnoreCase"}, nullptr},
    {Setting::AuthPort, "AuthPort", "AuthPort", Kind::Number, {"txtAuthPort"}, nullptr},
    {Setting::ReqAcctAuth, "ReqAcctAuth", "ReqAcctAuth", Kind::Flag, {"chkReqSecret"}, nullptr},
    {Setting::AllowMalformed, "AllowMalformed", "AllowMalformed", Kind::Flag, {"chkMalformed"}, nullptr},
    {Setting::TrimName, "TrimName", "TrimName", Kind::BitMask, {"chkTrimName", 0, 2}, nullptr},
    {Setting::AcctPort, "AcctPort", "AcctPort", Kind::Number, {"txtAcctPort"}, nullptr},
    {Setting::Mode, "Mode", "Mode", Kind::Number, {"chkMode", 0, 3}, nullptr},
    {Setting::Proxy, "Proxy", "Proxy", Kind::BitMask, {"chkProxy", 0, 5}, nullptr},
    {Setting::Options, "Options", "Options", Kind::BitMask, {"chkOptions", 0, 13}, nullptr},
    {Setting::SNMP, "SNMP", "SNMP", Kind::BitMask, {"chkSNMP", 0, 1}, nullptr},
    {Setting::Debug, "Debug", "Debug", Kind::BitMask, {"chkDebug", 0, 3}, nullptr},
    {Setting::LogFile, "LogFile", "LogFile", Kind::Text, {"txtLogFile", 0, 0}, nullptr},
    {Setting::AcctLogFile, "AcctLogFile", "AcctLogFile", Kind::Text, {"txtLogFile", 1, 1}, nullptr},
    {Setting::ODBCDatasource, "ODBCDatasource", "ODBCDatasource", Kind::Text, {"cbDSN", 0, 0}, "Corvex"},
    {Setting::UserName, "UserName", "Username", Kind::Text, {"txtUsername", 0, 0}, nullptr},
    {Setting::Password, "Password", "Password", Kind::Text, {"txtPassword", 0, 1}, nullptr},
    {Setting::AcctODBCDatasource, "AcctODBCDatasource", "AcctODBCDatasource", Kind::Text, {"cbDSN", 1, 1}, "Corvex"},
    {Setting::AcctUserName, "AcctUserName", "AcctUsername", Kind::Text, {"txtUsername", 1, 1}, nullptr},
    {Setting::AcctPassword, "AcctPassword", "AcctPassword", Kind::Text, {"txtPassword", 2, 3}, nullptr},
    {Setting::TestDatabaseSecs, "TestDatabaseSecs", "TestDatabaseSecs", Kind::Text, {"txtCheckDB"}, nullptr},
    {Setting::DataDirectory, "DataDirectory", "DataDirectory", Kind::Text, {"txtFiles", 0, 0}, nullptr},
    {Setting::AcctDirectory, "AcctDirectory", "AcctDirectory", Kind::Text, {"txtFiles", 1, 1}, nullptr},
    {Setting::UsersFile, "UsersFile", "UsersFile", Kind::Text, {"txtFiles", 2, 2}, "Users"},
    {Setting::IPAddress, "IPAddress", "IPAddress", Kind::Text, {"cbIPAddress"}, nullptr},
}};

// A row left out would be a zeroed one: every row is there, at its enumerator's index.
constexpr bool EveryRowInPlace() {
    for (std::size_t i = 0; i < Table.size(); ++i)
        if (static_cast<std::size_t>(Table[i].setting) != i || !Table[i].name || !Table[i].saveName)
            return false;
    return true;
}
static_assert(EveryRowInPlace(), "one row per Setting, in the enum's order");

std::string Read(Setting setting) { return Registry::ReadString("", Row(setting).name); }

std::int16_t Write(Setting setting, const std::string& text) {
    return Registry::WriteString("", Row(setting).saveName, text);
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// &H and &O integers: at most 32 bits, read as a signed 32-bit number (&HFFFFFFFF is -1).
std::optional<double> RadixNumber(const std::string& s, std::size_t pos, unsigned radix) {
    std::uint64_t value = 0;
    for (; pos < s.size(); ++pos) {
        int digit;
        char c = AsciiLower(s[pos]);
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (radix == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            break;
        if (digit >= static_cast<int>(radix))
            break;
        value = value * radix + static_cast<unsigned>(digit);
        if (value > 0xFFFFFFFFull)
            return std::nullopt;
    }
    return static_cast<double>(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
}

}  // namespace

std::optional<double> LeadingNumber(std::string_view text) {
    std::string s;
    s.reserve(text.size());
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\n')
            s.push_back(c);

    if (s.size() >= 2 && s[0] == '&') {
        char p = AsciiLower(s[1]);
        if (p == 'h')
            return RadixNumber(s, 2, 16);
        if (p == 'o')
            return RadixNumber(s, 2, 8);
    }

    // Collect what fits: sign, digits, one decimal point, an exponent with its digits.
    std::size_t i = 0;
    std::string number;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        number.push_back(s[i++]);
    bool digits = false;
    while (i < s.size() && IsDigit(s[i])) {
        number.push_back(s[i++]);
        digits = true;
    }
    if (i < s.size() && s[i] == '.') {
        number.push_back(s[i++]);
        while (i < s.size() && IsDigit(s[i])) {
            number.push_back(s[i++]);
            digits = true;
        }
    }
    if (!digits)
        return 0.0;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
        std::size_t j = i + 1;
        std::string exponent = "E";
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            exponent.push_back(s[j++]);
        bool expDigits = false;
        while (j < s.size() && IsDigit(s[j])) {
            exponent.push_back(s[j++]);
            expDigits = true;
        }
        if (expDigits)
            number += exponent;
    }
    errno = 0;
    double value = std::strtod(number.c_str(), nullptr);
    if (!std::isfinite(value))
        return std::nullopt;
    return value == 0.0 ? 0.0 : value;  // no negative zero
}

std::string NumberText(double value) {
    if (!std::isfinite(value))
        return {};
    if (value == 0.0)
        return "0";
    char buffer[400];
    if (std::floor(value) == value)
        std::snprintf(buffer, sizeof buffer, "%.0f", value);
    else
        std::snprintf(buffer, sizeof buffer, "%.15G", value);
    return buffer;
}

std::optional<std::int32_t> ToInt32(double value) {
    if (!std::isfinite(value))
        return std::nullopt;
    double r = std::nearbyint(value);  // the default rounding mode: a half to the even neighbour
    if (r < -2147483648.0 || r > 2147483647.0)
        return std::nullopt;
    return static_cast<std::int32_t>(r);
}

std::string Normalised(std::string_view text) {
    auto n = LeadingNumber(text);
    return n ? NumberText(*n) : std::string();
}

namespace {

std::optional<std::int32_t> Bits(std::string_view stored) {
    auto n = LeadingNumber(stored);
    if (!n)
        return std::nullopt;
    return ToInt32(*n);
}

template <std::size_t N>
std::optional<std::array<bool, N>> PowerBoxes(std::string_view stored) {
    auto bits = Bits(stored);
    if (!bits)
        return std::nullopt;
    std::array<bool, N> boxes{};
    for (std::size_t i = 0; i < N; ++i)
        boxes[i] = (static_cast<std::uint32_t>(*bits) >> i) & 1u;
    return boxes;
}

template <std::size_t N>
int PowerSum(const std::array<int, N>& values) {
    int sum = 0;
    for (std::size_t i = 0; i < N; ++i)
        if (values[i] == 1)
            sum += 1 << i;
    return sum;
}

std::string Text(long long n) { return std::to_string(n); }

}  // namespace

std::optional<TrimNameLoad> LoadTrimName(std::string_view stored) {
    auto n = LeadingNumber(stored);
    if (!n)
        return std::nullopt;
    TrimNameLoad load;
    if (*n == 0)
        return load;
    auto bits = ToInt32(*n);
    if (!bits)
        return std::nullopt;
    load.spaces = *bits & 1;
    load.domains = *bits & 2;
    return load;
}

std::optional<ModeBoxes> LoadMode(std::string_view stored) {
    auto n = LeadingNumber(stored);
    if (!n)
        return std::nullopt;
    return ModeBoxes{*n == 0 || *n == 2, *n >= 1, *n >= 3, *n >= 4};
}

std::optional<ProxyBoxes> LoadProxy(std::string_view stored) {
    auto bits = Bits(stored);
    if (!bits)
        return std::nullopt;
    const std::int32_t b = *bits;
    ProxyBoxes boxes{};
    if (b & 3) {
        boxes[0] = true;
        if (b & 1) {
            boxes[1] = true;
            boxes[2] = b & 16;
        }
        if (b & 2) {
            boxes[3] = true;
            boxes[4] = b & 8;
        }
    }
    boxes[5] = b & 4;
    return boxes;
}

std::optional<OptionBoxes> LoadOptions(std::string_view stored) {
    auto boxes = PowerBoxes<14>(stored);
    if (boxes)
        (*boxes)[4] = false;  // "MS Access Mode" never survives a load
    return boxes;
}

std::optional<SnmpBoxes> LoadSnmp(std::string_view stored) { return PowerBoxes<2>(stored); }
std::optional<DebugBoxes> LoadDebug(std::string_view stored) { return PowerBoxes<4>(stored); }

bool LoadIgnoreCase(std::string_view stored) {
    auto n = LeadingNumber(stored);
    return n && *n != 0;
}

bool LoadReqAcctAuth(std::string_view stored) {
    auto n = LeadingNumber(stored);
    return n && *n == 1;
}

bool LoadAllowMalformed(std::string_view stored) {
    auto n = LeadingNumber(stored);
    return n && *n >= 1;
}

std::optional<std::string> LoadPort(std::string_view stored) {
    auto n = LeadingNumber(stored);
    if (!n || *n == 0)
        return std::nullopt;
    return NumberText(*n);
}

std::string SaveTrimName(Box spaces, Box domains) {
    return Text((spaces.value == 1 && spaces.shown ? 1 : 0) + (domains.value == 1 && domains.shown ? 2 : 0));
}

std::string SaveMode(Box text, Box odbc, Box textBackup, Box fromDatabase) {
    if (fromDatabase.value == 1 && fromDatabase.shown)
        return "4";
    if (textBackup.value == 1 && textBackup.shown)
        return "3";
    if (text.value == 1 && odbc.value == 1)
        return "2";
    if (odbc.value == 1)
        return "1";
    return "0";
}

std::string SaveProxy(const std::array<int, 6>& p) {
    return Text(static_cast<long long>(p[0]) * (p[1] + 2 * p[3] + 8 * p[4] + 16 * p[2]) + 4 * p[5]);
}

std::string SaveOptions(const std::array<int, 14>& values) { return Text(PowerSum(values)); }
std::string SaveSnmp(int statistics, int concurrency) { return Text(statistics + 2 * concurrency); }
std::string SaveDebug(const std::array<int, 4>& values) { return Text(PowerSum(values)); }

std::optional<std::string> SavePort(std::string_view boxText) {
    auto n = LeadingNumber(boxText);
    if (!n || *n == 0)
        return std::nullopt;
    return NumberText(*n);
}

}  // namespace norvane::Settings
