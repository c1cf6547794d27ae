// The number conversions and the codecs that turn stored values into check marks and back.
#include "Settings.h"

#include <gtest/gtest.h>

using namespace norvane::Settings;

TEST(LeadingNumber, TakesTheNumberATextBeginsWith) {
    EXPECT_EQ(LeadingNumber(""), 0.0);
    EXPECT_EQ(LeadingNumber("1645"), 1645.0);
    EXPECT_EQ(LeadingNumber("1 645"), 1645.0);
    EXPECT_EQ(LeadingNumber(" 1\t6\n45 "), 1645.0);
    EXPECT_EQ(LeadingNumber("12abc"), 12.0);
    EXPECT_EQ(LeadingNumber("1645xyz"), 1645.0);
    EXPECT_EQ(LeadingNumber("abc"), 0.0);
    EXPECT_EQ(LeadingNumber("-7"), -7.0);
    EXPECT_EQ(LeadingNumber("+7"), 7.0);
    EXPECT_EQ(LeadingNumber("2.5"), 2.5);
    EXPECT_EQ(LeadingNumber("2.5.7"), 2.5);
    EXPECT_EQ(LeadingNumber("1.5E3"), 1500.0);
    EXPECT_EQ(LeadingNumber("1.5e-1x"), 0.15);
    EXPECT_EQ(LeadingNumber("15E"), 15.0);
    EXPECT_EQ(LeadingNumber("-"), 0.0);
    EXPECT_EQ(LeadingNumber("&H1F"), 31.0);
    EXPECT_EQ(LeadingNumber("&h1fZ"), 31.0);
    EXPECT_EQ(LeadingNumber("&O17"), 15.0);
    EXPECT_EQ(LeadingNumber("&O19"), 1.0);
    EXPECT_EQ(LeadingNumber("&HFFFFFFFF"), -1.0);
    // What does not fit is a failure, never a wrapped number.
    EXPECT_EQ(LeadingNumber("&H100000000"), std::nullopt);
    EXPECT_EQ(LeadingNumber("&O77777777777777"), std::nullopt);
    EXPECT_EQ(LeadingNumber("1E999"), std::nullopt);
    EXPECT_EQ(LeadingNumber(std::string(400, '9')), std::nullopt);
}

TEST(NumberText, WholeNumbersAsDigitsOthersWithFifteenDigits) {
    EXPECT_EQ(NumberText(0), "0");
    EXPECT_EQ(NumberText(-0.0), "0");
    EXPECT_EQ(NumberText(1812), "1812");
    EXPECT_EQ(NumberText(-5), "-5");
    EXPECT_EQ(NumberText(2.5), "2.5");
    EXPECT_EQ(NumberText(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(NumberText(4294967296.0), "4294967296");
    EXPECT_EQ(Normalised("1645 ports"), "1645");
    EXPECT_EQ(Normalised("&H10"), "16");
}

TEST(ToInt32, RoundsHalfToEvenAndRefusesWhatDoesNotFit) {
    EXPECT_EQ(ToInt32(2.5), 2);
    EXPECT_EQ(ToInt32(3.5), 4);
    EXPECT_EQ(ToInt32(-2.5), -2);
    EXPECT_EQ(ToInt32(2147483647.0), 2147483647);
    EXPECT_EQ(ToInt32(-2147483648.0), -2147483647 - 1);
    EXPECT_EQ(ToInt32(2147483648.0), std::nullopt);
    EXPECT_EQ(ToInt32(-2147483649.0), std::nullopt);
}

TEST(Codecs, FlagsAndPorts) {
    EXPECT_TRUE(LoadIgnoreCase("1"));
    EXPECT_FALSE(LoadIgnoreCase(""));
    EXPECT_TRUE(LoadIgnoreCase("-1"));
    EXPECT_FALSE(LoadReqAcctAuth("2"));
    EXPECT_TRUE(LoadReqAcctAuth("1"));
    EXPECT_TRUE(LoadAllowMalformed("2"));
    EXPECT_FALSE(LoadAllowMalformed("0.5"));
    EXPECT_EQ(LoadPort("1645abc"), "1645");
    EXPECT_EQ(LoadPort("0"), std::nullopt);
    EXPECT_EQ(LoadPort(""), std::nullopt);
    EXPECT_EQ(SavePort("1812 "), "1812");
    EXPECT_EQ(SavePort("1812xyz"), "1812");
    EXPECT_EQ(SavePort("0"), std::nullopt);
    EXPECT_EQ(SavePort("letters"), std::nullopt);
}

TEST(Codecs, ModeLoadsAndSaves) {
    EXPECT_EQ(LoadMode(""), (ModeBoxes{true, false, false, false}));
    EXPECT_EQ(LoadMode("1"), (ModeBoxes{false, true, false, false}));
    EXPECT_EQ(LoadMode("2"), (ModeBoxes{true, true, false, false}));
    EXPECT_EQ(LoadMode("3"), (ModeBoxes{false, true, true, false}));
    EXPECT_EQ(LoadMode("4"), (ModeBoxes{false, true, true, true}));
    EXPECT_EQ(LoadMode("9"), (ModeBoxes{false, true, true, true}));
    EXPECT_EQ(LoadMode("-1"), (ModeBoxes{false, false, false, false}));
    EXPECT_EQ(LoadMode("2.5"), (ModeBoxes{false, true, false, false}));

    const Box on{1, true}, off{0, true}, hiddenOn{1, false};
    EXPECT_EQ(SaveMode(off, on, on, off), "3");
    EXPECT_EQ(SaveMode(off, on, on, on), "4");
    EXPECT_EQ(SaveMode(on, on, hiddenOn, hiddenOn), "2");  // hidden marks do not count
    EXPECT_EQ(SaveMode(off, on, off, off), "1");
    EXPECT_EQ(SaveMode(on, off, off, off), "0");
    EXPECT_EQ(SaveMode(off, off, off, off), "0");
}

TEST(Codecs, ProxyBitsHangOffUserProxy) {
    EXPECT_EQ(LoadProxy("11"), (ProxyBoxes{true, true, false, true, true, false}));
    EXPECT_EQ(LoadProxy("16"), (ProxyBoxes{}));
    EXPECT_EQ(LoadProxy("8"), (ProxyBoxes{}));
    EXPECT_EQ(LoadProxy("4"), (ProxyBoxes{false, false, false, false, false, true}));
    EXPECT_EQ(LoadProxy("31"), (ProxyBoxes{true, true, true, true, true, true}));
    EXPECT_EQ(LoadProxy("99999999999"), std::nullopt);

    EXPECT_EQ(SaveProxy({1, 1, 0, 1, 1, 0}), "11");
    EXPECT_EQ(SaveProxy({0, 1, 1, 1, 1, 1}), "4");
    EXPECT_EQ(SaveProxy({1, 1, 1, 1, 1, 1}), "31");
}

TEST(Codecs, OptionsTrimNameSnmpDebug) {
    auto options = LoadOptions("16");
    ASSERT_TRUE(options);
    EXPECT_EQ(*options, OptionBoxes{});  // "MS Access Mode" never survives a load
    options = LoadOptions(std::to_string(2048 + 1 + 8192 + 16384));
    ASSERT_TRUE(options);
    std::array<int, 14> values{};
    for (int i = 0; i < 14; ++i)
        values[i] = (*options)[i] ? 1 : 0;
    EXPECT_EQ(SaveOptions(values), std::to_string(2048 + 1 + 8192));  // bits above 8192 dropped
    EXPECT_EQ(LoadOptions("&H100000000"), std::nullopt);

    auto trim = LoadTrimName("3");
    ASSERT_TRUE(trim);
    EXPECT_TRUE(trim->spaces && trim->domains);
    EXPECT_EQ(SaveTrimName({1, true}, {1, true}), "3");
    EXPECT_EQ(SaveTrimName({1, false}, {1, false}), "0");
    EXPECT_EQ(LoadTrimName("1E300"), std::nullopt);

    EXPECT_EQ(LoadSnmp("2"), (SnmpBoxes{false, true}));
    EXPECT_EQ(SaveSnmp(1, 1), "3");
    EXPECT_EQ(LoadDebug("9"), (DebugBoxes{true, false, false, true}));
    EXPECT_EQ(SaveDebug({1, 0, 1, 0}), "5");
    // A grayed box (Value 2) is not "checked" for the power sums.
    EXPECT_EQ(SaveDebug({2, 0, 0, 0}), "0");
}

TEST(SettingsTable, TwentyFourValuesWithTheirTwoSpellingsAndStandIns) {
    EXPECT_EQ(Table.size(), 24u);
    EXPECT_STREQ(Table.front().name, "IgnoreCase");
    EXPECT_STREQ(Table.back().name, "IPAddress");
    // The load and the save spell the user names apart; the store takes them as one name.
    EXPECT_STREQ(Row(Setting::UserName).name, "UserName");
    EXPECT_STREQ(Row(Setting::UserName).saveName, "Username");
    EXPECT_STREQ(Row(Setting::AcctUserName).saveName, "AcctUsername");
    int standIns = 0;
    for (const Definition& d : Table)
        standIns += d.whenEmpty != nullptr;
    EXPECT_EQ(standIns, 3);
    EXPECT_STREQ(Row(Setting::AcctODBCDatasource).whenEmpty, "Corvex");
    EXPECT_STREQ(Row(Setting::UsersFile).whenEmpty, "Users");
}
