// Bad input in every text and combo box of the window: very long texts, NUL characters,
// tabs, bytes that were not UTF-8, blanks at either end. Each is saved, read back from the
// store file, and loaded into a fresh window.
#include "Main.h"
#include "MessageBox.h"
#include "ODBC32.h"
#include "Registry.h"
#include "Settings.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <map>

using namespace norvane;

namespace {

// name -> exact stored bytes (terminating NUL included)
std::map<std::string, std::string> Stored() { return test::TestEnv::StoredBytes(Registry::Store()); }

enum class Rule { Text, Port, DsnDefault, UsersDefault, Accounting, AccountingDsn, NotSaved, Choice };

struct BoxInfo {
    const char* setting;
    Rule rule;
};

// Every box of the window that takes text, and what a save does with it.
const std::map<QString, BoxInfo> Boxes = {
    {"txtAuthPort", {"AuthPort", Rule::Port}},
    {"txtAcctPort", {"AcctPort", Rule::Port}},
    {"txtLogFile(0)", {"LogFile", Rule::Text}},
    {"txtLogFile(1)", {"AcctLogFile", Rule::Text}},
    {"cbDSN(0)", {"ODBCDatasource", Rule::DsnDefault}},
    {"txtUsername(0)", {"Username", Rule::Text}},
    {"txtPassword(0)", {"Password", Rule::Text}},
    {"txtPassword(1)", {nullptr, Rule::NotSaved}},
    {"cbDSN(1)", {"AcctODBCDatasource", Rule::AccountingDsn}},
    {"txtUsername(1)", {"AcctUsername", Rule::Accounting}},
    {"txtPassword(2)", {"AcctPassword", Rule::Accounting}},
    {"txtPassword(3)", {nullptr, Rule::NotSaved}},
    {"txtCheckDB", {"TestDatabaseSecs", Rule::Text}},
    {"txtFiles(0)", {"DataDirectory", Rule::Text}},
    {"txtFiles(1)", {"AcctDirectory", Rule::Text}},
    {"txtFiles(2)", {"UsersFile", Rule::UsersDefault}},
    {"cbIPAddress", {"IPAddress", Rule::Choice}},
};

struct BadText {
    const char* what;
    QString text;
};

QString Long10000() {
    // Wider than one byte per character once in UTF-8, with separators of both kinds.
    const QString pattern = QString::fromUtf8("Ab9 \xC3\xA9\xE2\x82\xAC\\/:;\"'%$");
    QString s;
    while (s.size() < 10000)
        s += pattern;
    s.truncate(10000);
    return s;
}

std::vector<BadText> BadTexts() {
    QString nul = QStringLiteral("ab");
    nul += QChar(0);
    nul += QStringLiteral("cd");
    return {
        {"10,000 characters", Long10000()},
        {"NUL inside", nul},
        {"a lone NUL", QString(QChar(0))},
        {"tabs", QStringLiteral("\tname\twith\ttabs\t")},
        // As bytes that are not UTF-8 arrive from the system: replacement characters.
        {"not UTF-8", QString::fromLocal8Bit("\xFF\xFE\xC3(\x80 abc \xED\xA0\x80")},
        {"blanks around", QStringLiteral("   padded value   ")},
        {"line ends", QStringLiteral("one\r\ntwo\nthree\r")},
        {"empty", QString()},
    };
}

class ReliabilityInput : public ::testing::Test {
protected:
    void SetUp() override {
        MessageBox::setTestMode(true);
        MessageBox::takeShown();
        env.UseEmptyOdbcIni();
        main = std::make_unique<Main>();
        main->show();
    }
    void TearDown() override {
        main.reset();
        if (ODBC32::hEnv())
            ODBC32::FreeEnv();
    }
    // The window's boxes that take text, by name.
    std::map<QString, QWidget*> TextBoxes() const {
        std::map<QString, QWidget*> found;
        for (QLineEdit* e : main->findChildren<QLineEdit*>())
            if (!qobject_cast<QComboBox*>(e->parentWidget()))
                found[e->objectName()] = e;
        for (QComboBox* c : main->findChildren<QComboBox*>())
            found[c->objectName()] = c;
        return found;
    }
    static QString TextOf(QWidget* w) {
        if (auto* e = qobject_cast<QLineEdit*>(w))
            return e->text();
        return static_cast<QComboBox*>(w)->currentText();
    }
    static void SetText(QWidget* w, const QString& text) {
        if (auto* e = qobject_cast<QLineEdit*>(w))
            e->setText(text);
        else
            static_cast<QComboBox*>(w)->setEditText(text);
    }

    test::TestEnv env;
    std::unique_ptr<Main> main;
};

TEST_F(ReliabilityInput, EveryBoxStoresWhatItHeldAndLoadsItBack) {
    const auto boxes = TextBoxes();
    // A box this test does not know would go untested.
    for (const auto& [name, widget] : boxes)
        EXPECT_TRUE(Boxes.count(name)) << "a text box the test does not cover: " << name.toStdString();
    for (const auto& [name, info] : Boxes)
        ASSERT_TRUE(boxes.count(name)) << "no box " << name.toStdString();

    int round = 0;
    for (const BadText& bad : BadTexts()) {
        for (const int diffAcct : {1, 0}) {
            SCOPED_TRACE(std::string(bad.what) + (diffAcct ? ", different accounting DSN" : ", one DSN"));
            Main::SetValue(main->chkDiffAcct, diffAcct);
            ++round;
            for (const auto& [name, info] : Boxes) {
                QWidget* w = boxes.at(name);
                if (info.rule == Rule::Port)
                    SetText(w, QStringLiteral("1645") + bad.text);
                else if (info.rule != Rule::Choice)
                    SetText(w, bad.text);
                // What the box took: a line edit keeps every character we gave it.
                if (info.rule != Rule::Choice) {
                    const QString given = (info.rule == Rule::Port ? QStringLiteral("1645") : QString()) + bad.text;
                    EXPECT_EQ(TextOf(w), given) << name.toStdString();
                }
            }
            // The only choice box offers the machine's addresses; take the last one.
            main->cbIPAddress->setCurrentIndex(main->cbIPAddress->count() - 1);

            ASSERT_TRUE(main->SaveAll()) << MessageBox::takeShown().value(0).text.toStdString();
            const auto stored = Stored();
            for (const auto& [name, info] : Boxes) {
                if (!info.setting)
                    continue;
                SCOPED_TRACE(name.toStdString());
                const std::string held = TextOf(boxes.at(name)).toUtf8().toStdString();
                std::string expected;
                switch (info.rule) {
                case Rule::Port: expected = "1645"; break;  // the number the text begins with
                case Rule::Text:
                case Rule::Choice: expected = held; break;
                case Rule::DsnDefault: expected = held.empty() ? "Corvex" : held; break;
                case Rule::UsersDefault: expected = held.empty() ? "Users" : held; break;
                case Rule::Accounting: expected = diffAcct ? held : ""; break;
                case Rule::AccountingDsn: expected = !diffAcct ? "" : held.empty() ? "Corvex" : held; break;
                case Rule::NotSaved: break;
                }
                ASSERT_TRUE(stored.count(info.setting)) << info.setting;
                // The store keeps every byte, a NUL inside included, and ends the text with one.
                EXPECT_EQ(stored.at(info.setting), expected + '\0')
                    << info.setting << " holds " << stored.at(info.setting).size() << " bytes";
            }
            EXPECT_EQ(stored.size(), Settings::Table.size());

            // A fresh window loads every one of them without harm, and shows what was stored.
            {
                Main reloaded;
                const auto again = [&] {
                    std::map<QString, QWidget*> found;
                    for (QLineEdit* e : reloaded.findChildren<QLineEdit*>())
                        if (!qobject_cast<QComboBox*>(e->parentWidget()))
                            found[e->objectName()] = e;
                    for (QComboBox* c : reloaded.findChildren<QComboBox*>())
                        found[c->objectName()] = c;
                    return found;
                }();
                for (const auto& [name, info] : Boxes) {
                    if (!info.setting || info.rule == Rule::Accounting || info.rule == Rule::AccountingDsn)
                        continue;
                    const std::string bytes = stored.at(info.setting);
                    EXPECT_EQ(TextOf(again.at(name)).toUtf8().toStdString() + '\0', bytes) << name.toStdString();
                }
                if (diffAcct) {
                    EXPECT_EQ(reloaded.txtUsername[1]->text(), main->txtUsername[1]->text());
                    EXPECT_EQ(reloaded.txtPassword[2]->text(), main->txtPassword[2]->text());
                }
            }
        }
    }
    EXPECT_TRUE(MessageBox::takeShown().isEmpty());

    // A port box with a number too large to hold, or with no number, leaves the port stored.
    for (const QString& port :
         {QString(10000, u'9'), QStringLiteral("&HFFFFFFFFFF"), QStringLiteral("\t\t"), QString(QChar(0)) + "1812"}) {
        main->txtAuthPort->setText(QStringLiteral("1700"));
        ASSERT_TRUE(main->SaveAll());
        main->txtAuthPort->setText(port);
        ASSERT_TRUE(main->SaveAll());
        EXPECT_EQ(Stored().at("AuthPort"), std::string("1700") + '\0') << port.left(20).toStdString();
    }

    // Typed as an operator would, with focus moving on: the store holds what the box
    // shows after its own rules ran on leaving it.
    main->tabMain->setCurrentIndex(Main::TabConfiguration);
    QApplication::setActiveWindow(main.get());
    for (QLineEdit* box : {main->txtLogFile[0], main->txtFiles[0], main->txtFiles[2], main->txtCheckDB}) {
        box->clear();
        box->setFocus(Qt::MouseFocusReason);
        QTest::keyClicks(box, QStringLiteral("  typed  value  "));
        main->txtAuthPort->setFocus(Qt::MouseFocusReason);
        QApplication::processEvents();
    }
    ASSERT_TRUE(main->SaveAll());
    const auto typed = Stored();
    EXPECT_EQ(typed.at("LogFile"), main->txtLogFile[0]->text().toStdString() + '\0');
    EXPECT_EQ(typed.at("DataDirectory"), main->txtFiles[0]->text().toStdString() + '\0');
    EXPECT_EQ(typed.at("UsersFile"), main->txtFiles[2]->text().toStdString() + '\0');
    EXPECT_EQ(typed.at("TestDatabaseSecs"), main->txtCheckDB->text().toStdString() + '\0');
    EXPECT_EQ(main->txtLogFile[0]->text(), "  typed  value  ");  // no trimming rule on this box
}

}  // namespace
