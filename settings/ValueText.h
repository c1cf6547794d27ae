#pragma once
// The byte forms of registry values and the ASCII text helpers around them, shared by the
// Registry module here and by the REGEDIT4 codec and norvane-reg in reg/. Pure functions,
// header-only, so that reg/ uses them without settings/ knowing about reg/.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norvane {

// Key and value names match without ASCII case, as the registry matches them, whatever
// the locale says about other bytes.
inline char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string AsciiLower(std::string s) {
    for (char& c : s)
        c = AsciiLower(c);
    return s;
}

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}

inline bool LessNoCase(std::string_view a, std::string_view b) {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const auto x = static_cast<unsigned char>(AsciiLower(a[i]));
        const auto y = static_cast<unsigned char>(AsciiLower(b[i]));
        if (x != y)
            return x < y;
    }
    return a.size() < b.size();
}

// REG_DWORD: four bytes in little-endian order, as on Windows.
inline std::string DwordBytes(std::uint32_t v) {
    std::string bytes(4, '\0');
    for (std::size_t i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return bytes;
}

// The number in the first four bytes; callers check that there are four.
inline std::uint32_t DwordValue(std::string_view bytes) {
    std::uint32_t v = 0;
    for (std::size_t i = 4; i-- > 0;)
        v = (v << 8) | static_cast<unsigned char>(bytes[i]);
    return v;
}

// 0 to 15, or -1 for what is not a hex digit.
inline int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Two hex digits for one byte.
inline std::string HexByte(unsigned char b, bool upper) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    return {digits[b >> 4], digits[b & 0xF]};
}

// Digits of the radix (10 or 16) and nothing else, at least one, the number within 32 bits.
inline std::optional<std::uint32_t> ParseUint32(std::string_view digits, unsigned radix) {
    if (digits.empty())
        return std::nullopt;
    std::uint64_t v = 0;
    for (char c : digits) {
        const int d = HexDigit(c);
        if (d < 0 || static_cast<unsigned>(d) >= radix)
            return std::nullopt;
        v = v * radix + static_cast<unsigned>(d);
        if (v > 0xFFFFFFFFull)
            return std::nullopt;
    }
    return static_cast<std::uint32_t>(v);
}

// REG_MULTI_SZ: NUL-terminated entries and an empty one that ends the list. The entries
// are read up to that empty one (or the end of the bytes).
inline std::vector<std::string> MultiSzEntries(std::string_view bytes) {
    std::vector<std::string> entries;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t end = bytes.find('\0', pos);
        if (end == std::string_view::npos)
            end = bytes.size();
        if (end == pos)
            break;
        entries.emplace_back(bytes.substr(pos, end - pos));
        pos = end + 1;
    }
    return entries;
}

// Entries must not be empty: an empty one would end the list early.
inline std::string MultiSzBytes(const std::vector<std::string>& entries) {
    std::string bytes;
    for (const std::string& e : entries)
        bytes += e + '\0';
    return bytes + '\0';
}

}  // namespace norvane
