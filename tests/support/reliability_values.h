#pragma once
// One recognisable save per iteration: every box of the window set from the iteration
// number and a writer's tag, and the 24 texts that save must store, worked out by hand
// here rather than through the program's own conversions.

#include "Main.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QStringList>

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace norvane::test {

// Bits that change from one iteration to the next in many boxes at once.
inline std::uint64_t SaveBits(std::uint64_t i) {
    std::uint64_t z = i + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

struct SaveBoxes {
    int ignoreCase, reqSecret, malformed, spaces, domains, text, odbc, diffAcct;
    int proxy[6];
    int options[14];
    int snmp[2];
    int debug[4];
};

inline SaveBoxes BoxesFor(std::uint64_t i) {
    const std::uint64_t b = SaveBits(i);
    auto bit = [b](int n) { return static_cast<int>((b >> n) & 1u); };
    SaveBoxes s{};
    s.ignoreCase = bit(0);
    s.reqSecret = bit(1);
    s.malformed = bit(2);
    s.spaces = bit(3);
    s.domains = bit(4);
    s.text = bit(5);
    s.odbc = bit(6);
    s.diffAcct = bit(7);
    for (int k = 0; k < 6; ++k)
        s.proxy[k] = bit(8 + k);
    for (int k = 0; k < 14; ++k)
        s.options[k] = bit(14 + k);
    for (int k = 0; k < 2; ++k)
        s.snmp[k] = bit(28 + k);
    for (int k = 0; k < 4; ++k)
        s.debug[k] = bit(30 + k);
    return s;
}

inline QString Tagged(const char* what, const QString& tag, std::uint64_t i) {
    return QStringLiteral("%1-%2-%3").arg(QLatin1String(what), tag).arg(i);
}
inline int AuthPortFor(const QString& tag, std::uint64_t i) { return (tag == "B" ? 30000 : 1024) + int(i % 20000); }
inline int AcctPortFor(const QString& tag, std::uint64_t i) { return (tag == "B" ? 50000 : 21024) + int(i % 9000); }

// Puts iteration i into every box, as an operator (or the load) would.
inline void ApplySave(Main& m, const QString& tag, std::uint64_t i) {
    const SaveBoxes s = BoxesFor(i);
    Main::SetValue(m.chkIgnoreCase, s.ignoreCase);
    Main::SetValue(m.chkReqSecret, s.reqSecret);
    Main::SetValue(m.chkMalformed, s.malformed);
    Main::SetValue(m.chkTrimName[0], 1);  // "Spaces" and "Domains" shown, so they count
    Main::SetValue(m.chkTrimName[1], s.spaces);
    Main::SetValue(m.chkTrimName[2], s.domains);
    Main::SetValue(m.chkMode[3], 0);
    Main::SetValue(m.chkMode[2], 0);
    Main::SetValue(m.chkMode[0], s.text);
    Main::SetValue(m.chkMode[1], s.odbc);
    for (int k = 0; k < 6; ++k)
        Main::SetValue(m.chkProxy[k], s.proxy[k]);
    for (int k = 0; k < 14; ++k)
        Main::SetValue(m.chkOptions[k], s.options[k]);
    for (int k = 0; k < 2; ++k)
        Main::SetValue(m.chkSNMP[k], s.snmp[k]);
    for (int k = 0; k < 4; ++k)
        Main::SetValue(m.chkDebug[k], s.debug[k]);
    Main::SetValue(m.chkDiffAcct, s.diffAcct);

    // Port boxes hold a number followed by letters: the save keeps the leading number.
    m.txtAuthPort->setText(QString::number(AuthPortFor(tag, i)) + " rad");
    m.txtAcctPort->setText(QString::number(AcctPortFor(tag, i)) + " acct");
    m.txtLogFile[0]->setText(Tagged("log", tag, i));
    m.txtLogFile[1]->setText(Tagged("acctlog", tag, i));
    m.cbDSN[0]->setEditText(Tagged("dsn", tag, i));
    m.txtUsername[0]->setText(Tagged("user", tag, i));
    m.txtPassword[0]->setText(Tagged("pw", tag, i));
    m.txtPassword[1]->setText(Tagged("pw", tag, i));
    m.cbDSN[1]->setEditText(Tagged("acctdsn", tag, i));
    m.txtUsername[1]->setText(Tagged("acctuser", tag, i));
    m.txtPassword[2]->setText(Tagged("acctpw", tag, i));
    m.txtPassword[3]->setText(Tagged("acctpw", tag, i));
    m.txtCheckDB->setText(QString::number(i % 600));
    m.txtFiles[0]->setText(Tagged("/srv/data", tag, i));
    m.txtFiles[1]->setText(Tagged("/srv/acct", tag, i));
    m.txtFiles[2]->setText(Tagged("users", tag, i));
    m.cbIPAddress->setCurrentIndex(int(i % std::uint64_t(m.cbIPAddress->count())));
}

// The 24 texts a save of iteration i stores; ipItems is cbIPAddress's list.
inline std::map<std::string, std::string> ExpectedSave(const QString& tag, std::uint64_t i,
                                                       const QStringList& ipItems) {
    const SaveBoxes s = BoxesFor(i);
    auto str = [](const QString& q) { return q.toStdString(); };
    auto num = [](long long n) { return std::to_string(n); };
    std::map<std::string, std::string> v;
    v["IgnoreCase"] = s.ignoreCase ? "3" : "0";
    v["AuthPort"] = num(AuthPortFor(tag, i));
    v["ReqAcctAuth"] = num(s.reqSecret);
    v["AllowMalformed"] = num(s.malformed);
    v["TrimName"] = num(s.spaces + 2 * s.domains);
    v["AcctPort"] = num(AcctPortFor(tag, i));
    v["Mode"] = num(s.text && s.odbc ? 2 : s.odbc ? 1 : 0);  // Text Backup and From Database stay clear
    const int* p = s.proxy;
    v["Proxy"] = num(p[0] * (p[1] + 2 * p[3] + 8 * p[4] + 16 * p[2]) + 4 * p[5]);
    long long options = 0;
    for (int k = 0; k < 14; ++k)
        options += static_cast<long long>(s.options[k]) << k;
    v["Options"] = num(options);
    v["SNMP"] = num(s.snmp[0] + 2 * s.snmp[1]);
    v["Debug"] = num(s.debug[0] + 2 * s.debug[1] + 4 * s.debug[2] + 8 * s.debug[3]);
    v["LogFile"] = str(Tagged("log", tag, i));
    v["AcctLogFile"] = str(Tagged("acctlog", tag, i));
    v["ODBCDatasource"] = str(Tagged("dsn", tag, i));
    v["Username"] = str(Tagged("user", tag, i));
    v["Password"] = str(Tagged("pw", tag, i));
    v["AcctODBCDatasource"] = s.diffAcct ? str(Tagged("acctdsn", tag, i)) : "";
    v["AcctUsername"] = s.diffAcct ? str(Tagged("acctuser", tag, i)) : "";
    v["AcctPassword"] = s.diffAcct ? str(Tagged("acctpw", tag, i)) : "";
    v["TestDatabaseSecs"] = num(static_cast<long long>(i % 600));
    v["DataDirectory"] = str(Tagged("/srv/data", tag, i));
    v["AcctDirectory"] = str(Tagged("/srv/acct", tag, i));
    v["UsersFile"] = str(Tagged("users", tag, i));
    v["IPAddress"] = ipItems.isEmpty() ? std::string() : str(ipItems[int(i % std::uint64_t(ipItems.size()))]);
    return v;
}

// The tag and iteration a stored "LogFile" text names ("log-A-17").
inline std::optional<std::pair<QString, std::uint64_t>> SaveOf(const std::string& logFile) {
    const QStringList parts = QString::fromStdString(logFile).split(u'-');
    bool ok = false;
    if (parts.size() != 3 || parts[0] != "log")
        return std::nullopt;
    const std::uint64_t i = parts[2].toULongLong(&ok);
    if (!ok)
        return std::nullopt;
    return std::make_pair(parts[1], i);
}

}  // namespace norvane::test
