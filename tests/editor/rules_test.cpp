// The rules that keep the main window's controls consistent, driven through the real
// widgets: clicks, typing and focus moves as the operator makes them.
#include "support/Window.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QSignalBlocker>
#include <QTabWidget>

namespace norvane::test {
namespace {

bool shown(const QWidget* w) { return !w->isHidden(); }

// Sets a box to a value with the operator's clicks.
void clickTo(QCheckBox* box, int value) {
    for (int i = 0; i < 3 && Main::Value(box) != value; ++i)
        click(box);
    ASSERT_EQ(Main::Value(box), value) << box->objectName().toStdString();
}

void focusByClick(QLineEdit* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2)); }

TEST(GuiRules, ModeOptionsAndTheTabsThatFollowOdbc) {
    Window window;
    window.show();
    Main& m = *window.main;
    QCheckBox* text = m.chkMode[0];
    QCheckBox* odbc = m.chkMode[1];
    QCheckBox* backup = m.chkMode[2];
    QCheckBox* fromDb = m.chkMode[3];
    QTabWidget* tabs = m.tabMain;

    clickTo(text, 1);
    clickTo(odbc, 1);
    EXPECT_TRUE(tabs->isTabEnabled(Main::TabOdbcDsn));
    EXPECT_TRUE(tabs->isTabEnabled(Main::TabAdvanced));
    EXPECT_FALSE(shown(backup));
    EXPECT_FALSE(shown(fromDb));

    // Without "Text", the backup option appears; "From Database" only under a checked backup.
    clickTo(text, 0);
    EXPECT_TRUE(shown(backup));
    EXPECT_FALSE(shown(fromDb));
    clickTo(backup, 1);
    EXPECT_TRUE(shown(fromDb));
    clickTo(fromDb, 1);
    clickTo(text, 1);
    EXPECT_FALSE(shown(backup));
    EXPECT_FALSE(shown(fromDb));
    EXPECT_EQ(Main::Value(backup), 1);  // hidden with its mark
    EXPECT_EQ(Main::Value(fromDb), 1);
    clickTo(text, 0);
    EXPECT_TRUE(shown(backup));
    EXPECT_TRUE(shown(fromDb));
    clickTo(backup, 0);
    EXPECT_FALSE(shown(fromDb));
    clickTo(backup, 1);

    // Clicking the other modes leaves the tabs alone; leaving ODBC takes them away.
    EXPECT_TRUE(tabs->isTabEnabled(Main::TabOdbcDsn));
    clickTo(odbc, 0);
    EXPECT_FALSE(tabs->isTabEnabled(Main::TabOdbcDsn));
    EXPECT_FALSE(tabs->isTabEnabled(Main::TabAdvanced));
    EXPECT_FALSE(shown(backup));
    EXPECT_FALSE(shown(fromDb));
    clickTo(text, 1);
    clickTo(text, 0);
    EXPECT_FALSE(tabs->isTabEnabled(Main::TabOdbcDsn));

    // A tab that cannot be used can be reached neither by mouse nor by Ctrl+Tab.
    QTabBar* bar = tabs->tabBar();
    for (int tab : {Main::TabOdbcDsn, Main::TabAdvanced, Main::TabCache}) {
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
        EXPECT_EQ(tabs->currentIndex(), Main::TabConfiguration);
    }
    text->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(text, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(tabs->currentIndex(), Main::TabServiceControl);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(tabs->currentIndex(), Main::TabConfiguration);

    // Back in ODBC mode both tabs are usable again, and reachable.
    clickTo(odbc, 1);
    EXPECT_TRUE(tabs->isTabEnabled(Main::TabOdbcDsn));
    EXPECT_TRUE(tabs->isTabEnabled(Main::TabAdvanced));
    EXPECT_FALSE(tabs->isTabEnabled(Main::TabCache));  // the load's; nothing gives it back
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(Main::TabAdvanced).center());
    EXPECT_EQ(tabs->currentIndex(), Main::TabAdvanced);
}

TEST(GuiRules, ProxyAndTrimOptionsKeepTheirMarksWhileHidden) {
    Window window;
    window.show();
    Main& m = *window.main;
    Main::SetValue(m.chkMode[1], 1);
    m.tabMain->setCurrentIndex(Main::TabAdvanced);
    auto& p = m.chkProxy;

    clickTo(p[0], 1);
    EXPECT_TRUE(shown(p[1]));
    EXPECT_TRUE(shown(p[3]));
    EXPECT_FALSE(shown(p[2]));
    EXPECT_FALSE(shown(p[4]));
    clickTo(p[1], 1);
    EXPECT_TRUE(shown(p[2]));
    clickTo(p[3], 1);
    EXPECT_TRUE(shown(p[4]));
    clickTo(p[2], 1);
    clickTo(p[4], 1);

    clickTo(p[0], 0);
    for (int i : {1, 2, 3, 4}) {
        EXPECT_FALSE(shown(p[i])) << i;
        EXPECT_EQ(Main::Value(p[i]), 1) << i;
    }
    EXPECT_TRUE(shown(p[5]));
    clickTo(p[5], 1);  // nothing follows "Server Proxy"
    clickTo(p[0], 1);
    for (int i : {1, 2, 3, 4}) {
        EXPECT_TRUE(shown(p[i])) << i;
    }

    // "Unknown" follows "Authentication", "Echo" follows "Accounting", also through "User Proxy ".
    clickTo(p[1], 0);
    EXPECT_FALSE(shown(p[2]));
    EXPECT_TRUE(shown(p[4]));
    clickTo(p[3], 0);
    EXPECT_FALSE(shown(p[4]));
    clickTo(p[0], 0);
    clickTo(p[0], 1);
    EXPECT_FALSE(shown(p[2]));
    EXPECT_FALSE(shown(p[4]));
    EXPECT_EQ(Main::Value(p[2]), 1);

    // "Spaces" and "Domains" live under "Trim Name".
    m.tabMain->setCurrentIndex(Main::TabConfiguration);
    auto& t = m.chkTrimName;
    clickTo(t[0], 1);
    EXPECT_TRUE(shown(t[1]));
    EXPECT_TRUE(shown(t[2]));
    clickTo(t[1], 1);
    clickTo(t[0], 0);
    EXPECT_FALSE(shown(t[1]));
    EXPECT_FALSE(shown(t[2]));
    EXPECT_EQ(Main::Value(t[1]), 1);
    clickTo(t[0], 1);
    EXPECT_TRUE(shown(t[1]));
    EXPECT_TRUE(shown(t[2]));
    EXPECT_EQ(Main::Value(t[1]), 1);
    EXPECT_EQ(Main::Value(t[2]), 0);

    // The accounting frame appears with its check box.
    Main::SetValue(m.chkDiffAcct, 0);
    m.tabMain->setCurrentIndex(Main::TabOdbcDsn);
    clickTo(m.chkDiffAcct, 1);
    EXPECT_TRUE(shown(m.frmAcct));
    EXPECT_TRUE(m.txtPassword[2]->isVisible());
    clickTo(m.chkDiffAcct, 0);
    EXPECT_FALSE(shown(m.frmAcct));
    EXPECT_FALSE(m.txtPassword[2]->isVisible());
}

TEST(GuiRules, PasswordPairsEnableCheckAndRefuseAMismatchOnLeaving) {
    Window window;
    window.show();
    Main& m = *window.main;
    Main::SetValue(m.chkMode[1], 1);
    Main::SetValue(m.chkDiffAcct, 1);
    m.tabMain->setCurrentIndex(Main::TabOdbcDsn);

    const QString mismatch = "The Passwords do not match.  Please try Aagain";
    for (int pair : {0, 1}) {
        SCOPED_TRACE(pair ? "accounting pair" : "authentication pair");
        QLineEdit* entered = m.txtPassword[2 * pair];
        QLineEdit* verify = m.txtPassword[2 * pair + 1];
        QPushButton* check = m.cmdCheck[pair];
        QPushButton* other = m.cmdCheck[1 - pair];
        QLineEdit* elsewhere = m.txtUsername[pair];
        const bool otherEnabled = other->isEnabled();

        focusByClick(entered);
        QTest::keyClicks(entered, "Secret");
        EXPECT_FALSE(check->isEnabled());
        focusByClick(verify);
        settle();
        QTest::keyClicks(verify, "Secre");
        EXPECT_FALSE(check->isEnabled());
        QTest::keyClick(verify, 'T');
        EXPECT_FALSE(check->isEnabled());  // case counts
        QTest::keyClick(verify, Qt::Key_Backspace);
        QTest::keyClick(verify, 't');
        EXPECT_TRUE(check->isEnabled());
        EXPECT_EQ(other->isEnabled(), otherEnabled);  // the other pair's button is not touched
        QTest::keyClick(verify, 'x');
        EXPECT_FALSE(check->isEnabled());

        // Leaving the verify box while both differ: refused, both emptied, back to the first.
        focusByClick(elsewhere);
        settle();
        const QList<MessageBox::Shown> boxes = MessageBox::takeShown();
        ASSERT_EQ(boxes.size(), 1);
        EXPECT_EQ(boxes[0].text, mismatch);
        EXPECT_EQ(boxes[0].title, MessageBox::AppTitle);
        EXPECT_EQ(boxes[0].buttons, MessageBox::Buttons::Ok);
        EXPECT_EQ(boxes[0].icon, MessageBox::Icon::None);
        EXPECT_TRUE(entered->text().isEmpty());
        EXPECT_TRUE(verify->text().isEmpty());
        EXPECT_TRUE(entered->hasFocus());
        EXPECT_TRUE(check->isEnabled());  // two empty boxes agree

        // Either box empty: leaving is accepted without a word.
        QTest::keyClicks(entered, "abc");
        EXPECT_FALSE(check->isEnabled());
        focusByClick(verify);
        focusByClick(elsewhere);
        settle();
        EXPECT_TRUE(MessageBox::takeShown().isEmpty());
        EXPECT_EQ(entered->text(), "abc");
        EXPECT_FALSE(check->isEnabled());

        // Leaving the first box of a differing pair is not checked; only the verify box is.
        verify->setText("abd");
        focusByClick(entered);
        focusByClick(elsewhere);
        settle();
        EXPECT_TRUE(MessageBox::takeShown().isEmpty());
        EXPECT_EQ(entered->text(), "abc");

        // Agreeing texts pass.
        verify->setText("abc");
        focusByClick(verify);
        focusByClick(elsewhere);
        settle();
        EXPECT_TRUE(MessageBox::takeShown().isEmpty());
        EXPECT_TRUE(check->isEnabled());
        entered->clear();
        verify->clear();

        // Left for another tab: the pair's page comes back, so the emptied boxes are seen.
        focusByClick(entered);
        QTest::keyClicks(entered, "aaa");
        focusByClick(verify);
        QTest::keyClicks(verify, "bbb");
        QTabBar* tabs = m.tabMain->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(Main::TabConfiguration).center());
        settle();
        EXPECT_EQ(MessageBox::takeShown().value(0).text, mismatch);
        EXPECT_EQ(m.tabMain->currentIndex(), Main::TabOdbcDsn);
        EXPECT_TRUE(entered->isVisible());
        EXPECT_TRUE(entered->hasFocus());
        EXPECT_TRUE(entered->text().isEmpty());
        EXPECT_TRUE(verify->text().isEmpty());
    }
}

TEST(GuiRules, FocusTakenByAnotherWindowOrAMenuRunsNoLeavingRule) {
    Window window;
    window.show();
    Main& m = *window.main;
    Main::SetValue(m.chkMode[1], 1);

    m.txtFiles[0]->setText("  /srv/norvane  ");
    focusByClick(m.txtFiles[0]);
    ASSERT_TRUE(m.txtFiles[0]->hasFocus());

    // The menu opens and closes: the box has not been left.
    QMenu* file = m.mFile->menu();
    file->popup(m.menuBar()->mapToGlobal(QPoint(0, m.menuBar()->height())));
    QTRY_VERIFY(file->isVisible());
    settle();
    file->close();
    settle();
    EXPECT_EQ(m.txtFiles[0]->text(), "  /srv/norvane  ");

    // Another window takes the focus: still not left.
    QMessageBox other(QMessageBox::NoIcon, "Other", "Other window");
    other.setModal(false);
    other.show();
    other.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&other, test::ActivationWait));
    settle();
    EXPECT_EQ(m.txtFiles[0]->text(), "  /srv/norvane  ");
    other.hide();
    m.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&m, test::ActivationWait));
    settle();
    EXPECT_EQ(m.txtFiles[0]->text(), "  /srv/norvane  ");

    // The same for a differing password pair: no message until the operator leaves.
    m.tabMain->setCurrentIndex(Main::TabOdbcDsn);
    m.txtPassword[0]->setText("one");
    m.txtPassword[1]->setText("two");
    focusByClick(m.txtPassword[1]);
    settle();
    other.show();
    other.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&other, test::ActivationWait));
    settle();
    other.hide();
    m.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&m, test::ActivationWait));
    settle();
    EXPECT_TRUE(MessageBox::takeShown().isEmpty());
    EXPECT_EQ(m.txtPassword[0]->text(), "one");
    focusByClick(m.txtUsername[0]);
    settle();
    EXPECT_EQ(MessageBox::takeShown().size(), 1);
}

TEST(GuiRules, NamesAreTrimmedOfSpacesAndEnteredBoxesSelectAll) {
    Window window;
    window.show();
    Main& m = *window.main;
    Main::SetValue(m.chkMode[1], 1);

    // Only spaces go; a tab stays.
    for (int i = 0; i < 3; ++i) {
        QLineEdit* box = m.txtFiles[i];
        focusByClick(box);
        box->setText(QString("  \tdata %1\t  ").arg(i));
        focusByClick(m.txtFiles[(i + 1) % 3]);
        EXPECT_EQ(box->text(), QString("\tdata %1\t").arg(i));
    }
    m.tabMain->setCurrentIndex(Main::TabOdbcDsn);
    Main::SetValue(m.chkDiffAcct, 1);
    for (int i = 0; i < 2; ++i) {
        QLineEdit* box = m.txtUsername[i];
        focusByClick(box);
        QTest::keyClicks(box, "   admin user ");
        focusByClick(m.txtPassword[0]);
        settle();
        EXPECT_EQ(box->text(), "admin user");
    }

    // Entering a user-name or password box selects all of it, by mouse or by keyboard, so
    // typing replaces it; a second click inside places the cursor as usual.
    QList<QLineEdit*> boxes = {m.txtUsername[0], m.txtUsername[1]};
    for (QLineEdit* box : m.txtPassword)
        boxes << box;
    for (QLineEdit* box : boxes) {
        SCOPED_TRACE(box->objectName().toStdString());
        box->setText("old text");
        m.txtCheckDB->setFocus(Qt::OtherFocusReason);
        settle();
        focusByClick(box);
        EXPECT_EQ(box->selectedText(), "old text");
        settle();
        QTest::keyClicks(box, "new");
        EXPECT_EQ(box->text(), "new");
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
        EXPECT_FALSE(box->hasSelectedText());
        m.txtCheckDB->setFocus(Qt::OtherFocusReason);
        settle();
        box->setFocus(Qt::TabFocusReason);
        EXPECT_EQ(box->selectedText(), "new");
        m.txtCheckDB->setFocus(Qt::OtherFocusReason);
        settle();
        box->clear();
    }
    // A file box is not selected whole when clicked into.
    m.tabMain->setCurrentIndex(Main::TabConfiguration);
    m.txtFiles[2]->setText("Users");
    focusByClick(m.txtFiles[2]);
    EXPECT_FALSE(m.txtFiles[2]->hasSelectedText());
}

TEST(GuiRules, EveryEditMarksTheWindowChanged) {
    Window window;
    window.show();
    Main& m = *window.main;
    Main::SetValue(m.chkMode[1], 1);
    Main::SetValue(m.chkDiffAcct, 1);
    Main::SetValue(m.chkTrimName[0], 1);
    Main::SetValue(m.chkProxy[0], 1);
    m.cbIPAddress->addItem("192.0.2.7");
    for (QComboBox* box : m.cbDSN) {
        box->addItem("Corvex");
        box->addItem("Billing");
    }

    auto clean = [&] {
        ASSERT_TRUE(m.SaveAll());
        ASSERT_FALSE(m.DirtyFlag());
    };
    auto onTab = [&](int tab) { m.tabMain->setCurrentIndex(tab); };

    onTab(Main::TabConfiguration);
    for (QCheckBox* box : {m.chkMode[0], m.chkMode[1], m.chkDebug[0], m.chkDebug[3], m.chkIgnoreCase, m.chkReqSecret,
                           m.chkMalformed, m.chkTrimName[0], m.chkTrimName[2]}) {
        clean();
        click(box);
        EXPECT_TRUE(m.DirtyFlag()) << box->objectName().toStdString();
    }
    Main::SetValue(m.chkMode[1], 1);
    onTab(Main::TabAdvanced);
    for (QCheckBox* box :
         {m.chkOptions[0], m.chkOptions[13], m.chkProxy[0], m.chkProxy[5], m.chkSNMP[0], m.chkSNMP[1]}) {
        clean();
        click(box);
        EXPECT_TRUE(m.DirtyFlag()) << box->objectName().toStdString();
    }
    // The hidden option bits change only from the program, and mark the window too.
    clean();
    Main::SetValue(m.chkOptions[11], 1);
    EXPECT_TRUE(m.DirtyFlag());

    onTab(Main::TabOdbcDsn);
    clean();
    click(m.chkDiffAcct);
    EXPECT_TRUE(m.DirtyFlag());
    Main::SetValue(m.chkDiffAcct, 1);

    QList<QLineEdit*> typed = {m.txtUsername[0], m.txtUsername[1], m.txtCheckDB};
    for (QLineEdit* box : m.txtPassword)
        typed << box;
    for (QLineEdit* box : typed) {
        clean();
        focusByClick(box);
        QTest::keyClick(box, '7');
        EXPECT_TRUE(m.DirtyFlag()) << box->objectName().toStdString();
        m.txtCheckDB->setFocus(Qt::OtherFocusReason);
        settle();
        MessageBox::takeShown();
    }
    for (QComboBox* box : m.cbDSN) {
        clean();
        QTest::keyClicks(box, "x");  // typed: Change
        EXPECT_TRUE(m.DirtyFlag()) << box->objectName().toStdString();
        box->setCurrentIndex(1);
        clean();
        // Chosen from the list again, the text the same: Click alone.
        box->showPopup();
        QAbstractItemView* list = box->view();
        QTRY_VERIFY(list->isVisible());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(1, 0)).center());
        QTRY_VERIFY(!list->isVisible());
        EXPECT_EQ(box->currentText(), "Billing");
        EXPECT_TRUE(m.DirtyFlag()) << box->objectName().toStdString() << " Click";
    }

    onTab(Main::TabConfiguration);
    for (QLineEdit* box : {m.txtAuthPort, m.txtAcctPort, m.txtLogFile[0], m.txtLogFile[1], m.txtFiles[0], m.txtFiles[1],
                           m.txtFiles[2]}) {
        clean();
        focusByClick(box);
        QTest::keyClick(box, '1');
        EXPECT_TRUE(m.DirtyFlag()) << box->objectName().toStdString();
    }
    clean();
    m.cbIPAddress->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(m.cbIPAddress, Qt::Key_End);  // a new choice of address
    EXPECT_EQ(m.cbIPAddress->currentText(), "192.0.2.7");
    EXPECT_TRUE(m.DirtyFlag());

    // Values and texts set to what they already are raise nothing.
    clean();
    for (QCheckBox* box : m.findChildren<QCheckBox*>())
        Main::SetValue(box, Main::Value(box));
    for (QLineEdit* box : m.findChildren<QLineEdit*>())
        box->setText(box->text());
    m.cbIPAddress->setCurrentIndex(m.cbIPAddress->currentIndex());
    EXPECT_FALSE(m.DirtyFlag());
    // Leaving a box that needs no trimming changes nothing either.
    m.txtFiles[0]->setText("/srv");
    clean();
    focusByClick(m.txtFiles[0]);
    focusByClick(m.txtFiles[1]);
    EXPECT_FALSE(m.DirtyFlag());

    // A data-source box whose text names a listed source, as after the load: entered and
    // left, Enter pressed, its list opened and closed, nothing is chosen and nothing changes.
    onTab(Main::TabOdbcDsn);
    for (QComboBox* box : m.cbDSN) {
        for (const QString& name : {QStringLiteral("Billing"), QStringLiteral("billing")}) {
            SCOPED_TRACE(box->objectName().toStdString() + " showing " + name.toStdString());
            {
                QSignalBlocker quiet(box);
                box->setCurrentIndex(-1);
                box->setEditText(name);
            }
            clean();
            focusByClick(box->lineEdit());
            QTest::keyClick(box->lineEdit(), Qt::Key_Return);
            QTest::keyClick(box->lineEdit(), Qt::Key_Tab);
            settle();
            EXPECT_FALSE(box->hasFocus());
            box->showPopup();
            QTRY_VERIFY(box->view()->isVisible());
            QTest::keyClick(box->view(), Qt::Key_Escape);
            QTRY_VERIFY(!box->view()->isVisible());
            EXPECT_FALSE(m.DirtyFlag());
            EXPECT_EQ(box->currentText(), name);  // the letter case the store holds stays
        }
    }
}

TEST(GuiRules, CheckBoxValues) {
    Window window;
    window.show();
    Main& m = *window.main;
    QCheckBox* box = m.chkIgnoreCase;
    QCheckBox* trim = m.chkTrimName[0];

    Main::SetValue(trim, 0);
    EXPECT_EQ(Main::Value(trim), 0);
    ASSERT_TRUE(m.SaveAll());
    // Grayed counts as set for the rules.
    Main::SetValue(trim, 2);
    EXPECT_EQ(Main::Value(trim), 2);
    EXPECT_EQ(trim->checkState(), Qt::PartiallyChecked);
    EXPECT_TRUE(m.DirtyFlag());
    EXPECT_TRUE(shown(m.chkTrimName[1]));
    Main::SetValue(trim, 0);
    EXPECT_FALSE(shown(m.chkTrimName[1]));

    // Not a check box value: the box keeps its own.
    Main::SetValue(box, 1);
    Main::SetValue(box, 3);
    Main::SetValue(box, -1);
    EXPECT_EQ(Main::Value(box), 1);

    // The operator's clicks give only 0 and 1, even from a grayed box.
    Main::SetValue(box, 2);
    click(box);
    EXPECT_EQ(Main::Value(box), 1);
    click(box);
    EXPECT_EQ(Main::Value(box), 0);
    click(box);
    EXPECT_EQ(Main::Value(box), 1);
    click(box);
    EXPECT_EQ(Main::Value(box), 0);
}

}  // namespace
}  // namespace norvane::test
