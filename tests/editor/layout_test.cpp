// The main window against the Controls table below: every control by name, kind, caption, place,
// size and starting state; the tabs, the menus, the fonts and the window itself.
#include "support/Window.h"

#include "BusyCursor.h"
#include "TextFileEditor.h"

#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

namespace norvane::test {
namespace {

// name|kind|caption|container|left|top|width|height|visible|enabled|notes
// Container: "Main" is the client area, "@Caption" a page of tabMain (positions measured
// from tabMain's own corner), anything else the frame of that name. Notes: R right-aligned,
// C centred, W word-wrapped, P password box, E editable combo, L drop-down list.
// Visible "-": left to the start-up load, which decides it from the stored settings.
constexpr const char* Controls = R"(Label1|Label|Norvane Administrator 2.5|Main|120|0|7215|615|1|1|C
tabMain|Tab||Main|120|720|7335|3495|1|1|
SSFrame5|Frame|Mode|@Configuration|120|360|2535|975|1|1|
chkMode(0)|CheckBox|Text|SSFrame5|120|240|735|255|1|1|
chkMode(1)|CheckBox|ODBC|SSFrame5|120|480|855|255|1|1|
chkMode(2)|CheckBox|Text Backup|SSFrame5|1080|360|1215|255|-|1|
chkMode(3)|CheckBox|From Database|SSFrame5|1080|600|1375|255|-|1|
frmConfigDebug|Frame| Debug |@Configuration|120|1440|2535|975|1|1|
chkDebug(0)|CheckBox|General|frmConfigDebug|120|360|855|255|1|1|
chkDebug(1)|CheckBox|User|frmConfigDebug|120|600|855|255|1|1|
chkDebug(2)|CheckBox|ODBC|frmConfigDebug|1440|360|855|255|1|1|
chkDebug(3)|CheckBox|File|frmConfigDebug|1440|600|615|255|1|1|
frmOptions|Frame|General Options|@Configuration|2760|360|1695|2055|1|1|
chkIgnoreCase|CheckBox|Ignore Case|frmOptions|120|360|1215|195|1|1|
chkReqSecret|CheckBox|Require Secret|frmOptions|120|600|1455|195|1|1|
chkMalformed|CheckBox|Allow Malformed|frmOptions|120|840|1455|195|1|1|
chkTrimName(0)|CheckBox|Trim Name|frmOptions|120|1200|1095|195|1|1|
chkTrimName(1)|CheckBox|Spaces|frmOptions|360|1440|1095|195|1|1|
chkTrimName(2)|CheckBox|Domains|frmOptions|360|1680|1095|195|1|1|
SSFrame2(0)|Frame|Authentication|@Configuration|4560|360|2655|975|1|1|
Label3|Label|Port:|SSFrame2(0)|360|240|375|255|1|1|R
txtAuthPort|TextBox||SSFrame2(0)|840|240|615|285|1|1|
Label17|Label|Logfile:|SSFrame2(0)|120|600|585|255|1|1|R
txtLogFile(0)|TextBox||SSFrame2(0)|840|600|1695|285|1|1|
SSFrame3|Frame|Accounting|@Configuration|4560|1440|2655|975|1|1|
Label2|Label|Port:|SSFrame3|360|240|375|255|1|1|R
txtAcctPort|TextBox||SSFrame3|840|240|615|285|1|1|
Label7|Label|Logfile:|SSFrame3|120|600|615|255|1|1|R
txtLogFile(1)|TextBox||SSFrame3|840|600|1695|285|1|1|
Label6|Label|Data Directory:|@Configuration|360|2640|1095|255|1|1|R
txtFiles(0)|TextBox||@Configuration|1560|2640|2415|285|1|1|
Label8|Label|Acct. Directory:|@Configuration|360|3000|1095|255|1|1|R
txtFiles(1)|TextBox||@Configuration|1560|3000|2415|285|1|1|
Label9|Label|Users File:|@Configuration|4200|2640|855|255|1|1|R
txtFiles(2)|TextBox||@Configuration|5160|2640|2055|285|1|1|
Label10|Label|IP Address:|@Configuration|4200|3000|855|255|1|1|R
cbIPAddress|ComboBox||@Configuration|5160|3000|2055|315|1|1|L
frmAuth|Frame|Authentication|@ODBC DSN|240|360|3375|2415|1|1|
Label15(0)|Label|DSN:|frmAuth|360|360|615|255|1|1|R
cbDSN(0)|ComboBox||frmAuth|1080|360|1935|315|1|1|E
Label4(0)|Label|Username:|frmAuth|120|720|855|255|1|1|R
txtUsername(0)|TextBox||frmAuth|1080|720|1935|285|1|1|
Label11(0)|Label|Password:|frmAuth|120|1080|855|255|1|1|R
txtPassword(0)|TextBox||frmAuth|1080|1080|1935|285|1|1|P
Label13(0)|Label|Verify:|frmAuth|360|1440|615|255|1|1|R
txtPassword(1)|TextBox||frmAuth|1080|1440|1935|285|1|1|P
cmdCheck(0)|CommandButton|&Check|frmAuth|2040|1920|975|325|1|0|
frmAcct|Frame|Accounting|@ODBC DSN|3840|360|3375|2415|-|1|
Label15(1)|Label|DSN:|frmAcct|360|360|615|255|1|1|R
cbDSN(1)|ComboBox||frmAcct|1080|360|1935|315|1|1|E
Label4(1)|Label|Username:|frmAcct|120|720|855|255|1|1|R
txtUsername(1)|TextBox||frmAcct|1080|720|1935|285|1|1|
Label11(1)|Label|Password:|frmAcct|120|1080|855|255|1|1|R
txtPassword(2)|TextBox||frmAcct|1080|1080|1935|285|1|1|P
Label13(1)|Label|Verify:|frmAcct|360|1440|615|255|1|1|R
txtPassword(3)|TextBox||frmAcct|1080|1440|1935|285|1|1|P
cmdCheck(1)|CommandButton|&Check|frmAcct|2040|1920|975|325|1|0|
chkDiffAcct|CheckBox|Use different Accounting DSN|@ODBC DSN|3960|2880|2655|255|1|1|
chkOptions(4)|CheckBox|MS Access Mode|@ODBC DSN|3960|3120|1575|255|0|1|
Label12|Label|Connection Check:|@ODBC DSN|240|3000|1455|255|1|1|R
txtCheckDB|TextBox||@ODBC DSN|1800|3000|615|285|1|1|
lblCheckDBInterval(5)|Label|Secs|@ODBC DSN|2520|3120|330|150|1|1|
frmODBCOptionsAuth|Frame|Authentication|@Advanced|120|480|2175|2895|1|1|
chkOptions(0)|CheckBox|Concurrency Control|frmODBCOptionsAuth|120|240|1815|255|1|1|
chkOptions(6)|CheckBox|Variable Login Limits|frmODBCOptionsAuth|120|480|1815|255|1|1|
chkOptions(2)|CheckBox|Time banking|frmODBCOptionsAuth|120|840|1815|255|1|1|
chkOptions(8)|CheckBox|Server Port Access|frmODBCOptionsAuth|120|1080|1695|255|1|1|
chkOptions(5)|CheckBox|Ascend Max Time|frmODBCOptionsAuth|120|1320|1695|255|1|1|
chkOptions(7)|CheckBox|Password Replace|frmODBCOptionsAuth|120|1680|1695|255|1|1|
chkOptions(12)|CheckBox|DNIS Checking|frmODBCOptionsAuth|120|1920|1695|255|1|1|
chkOptions(11)|CheckBox|Do Not Check Users|frmODBCOptionsAuth|120|2280|1935|255|0|1|
chkOptions(13)|CheckBox|Reject List|frmODBCOptionsAuth|120|2520|1695|255|1|1|
frmODBCOptionsAcct|Frame|Accounting|@Advanced|2520|480|2175|1935|1|1|
chkOptions(1)|CheckBox|Manual Calls Update|frmODBCOptionsAcct|120|240|1815|255|1|1|
chkOptions(9)|CheckBox|Stop Records Only|frmODBCOptionsAcct|120|600|1695|255|1|1|
chkOptions(3)|CheckBox|Manual Srvc Update|frmODBCOptionsAcct|120|960|1815|255|1|1|
chkOptions(10)|CheckBox|Command Triggers|frmODBCOptionsAcct|120|1320|1815|255|1|1|
frmODBCOptionsProxy|Frame|Proxy and Roaming|@Advanced|4920|480|2175|1935|1|1|
chkProxy(0)|CheckBox|User Proxy |frmODBCOptionsProxy|120|240|1215|255|1|1|
chkProxy(1)|CheckBox|Authentication|frmODBCOptionsProxy|480|480|1335|255|1|1|
chkProxy(2)|CheckBox|Unknown|frmODBCOptionsProxy|840|720|1095|255|1|1|
chkProxy(3)|CheckBox|Accounting|frmODBCOptionsProxy|480|960|1335|255|1|1|
chkProxy(4)|CheckBox|Echo|frmODBCOptionsProxy|840|1200|735|255|1|1|
chkProxy(5)|CheckBox|Server Proxy|frmODBCOptionsProxy|120|1560|1455|195|1|1|
frmSNMP|Frame|SNMP|@Advanced|2520|2520|2175|855|1|1|
chkSNMP(0)|CheckBox|Statistics|frmSNMP|120|240|1215|255|1|1|
chkSNMP(1)|CheckBox|Concurrency Check|frmSNMP|120|480|1815|255|1|1|
SSFrame7|Frame||@Service Control|240|480|6975|855|1|1|
Label18|Label|Norvane runs natively as a service.  Before you can start Norvane as a service, you must first install it as a service.  Click the below buttons to install and remove Norvane as a service.|SSFrame7|120|240|6735|495|1|1|CW
cmdInstall|CommandButton|&Install Service|@Service Control|1440|1800|1575|375|1|1|
cmdRemove|CommandButton|&Remove Service|@Service Control|3960|1800|1575|375|1|1|
lblNotFound|Label|The Norvane executable must be located in the same directory as the Norvane Administrator in order for this to be available.|@Service Control|1320|2640|4695|495|1|1|CW
rtbClients|RichText||@Clients|120|480|6975|2415|1|1|
Label19|Label|One client per line in the format "x.x.x.x secret"|@Clients|240|3000|3975|255|1|1|
cmdClientsSave|CommandButton|&Save|@Clients|4800|3000|975|325|1|1|
Command1|CommandButton|&Reload|@Clients|6000|3000|975|325|1|1|
rtbUsers|RichText||@Users|120|480|6975|2415|1|1|
Label20|Label|Use Ctrl-Tab to insert a tab into the users file.|@Users|240|3000|3375|255|1|1|
cmdUsersSave|CommandButton|&Save|@Users|4800|3000|975|325|1|1|
Command2|CommandButton|&Reload|@Users|6000|3000|975|325|1|1|
)";

const QStringList TabCaptions = {"Configuration",   "ODBC DSN", "Advanced", "Cache",
                                 "Service Control", "Clients",  "Users"};

struct Row {
    QString name, kind, caption, container;
    QRect twips;
    QString visible;
    bool enabled;
    QString notes;
};

QList<Row> rows() {
    QList<Row> list;
    for (const QString& line : QString::fromUtf8(Controls).split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split(u'|');
        EXPECT_EQ(f.size(), 11) << line.toStdString();
        if (f.size() != 11)
            continue;
        list.append({f[0], f[1], f[2], f[3], QRect(f[4].toInt(), f[5].toInt(), f[6].toInt(), f[7].toInt()), f[8],
                     f[9] == "1", f[10]});
    }
    return list;
}

int px(int twips) { return qRound(twips / 15.0); }
QRect px(const QRect& twips) { return {px(twips.x()), px(twips.y()), px(twips.width()), px(twips.height())}; }

const char* qtClass(const QString& kind) {
    if (kind == "Label")
        return "QLabel";
    if (kind == "TextBox")
        return "QLineEdit";
    if (kind == "CheckBox")
        return "QCheckBox";
    if (kind == "ComboBox")
        return "QComboBox";
    if (kind == "CommandButton")
        return "QPushButton";
    if (kind == "Frame")
        return "QGroupBox";
    if (kind == "Tab")
        return "QTabWidget";
    if (kind == "RichText")
        return "norvane::TextFileEditor";
    return "?";
}

QString caption(const QWidget* w) {
    if (auto* label = qobject_cast<const QLabel*>(w))
        return label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(w))
        return button->text();
    if (auto* frame = qobject_cast<const QGroupBox*>(w))
        return frame->title();
    if (auto* box = qobject_cast<const QLineEdit*>(w))
        return box->text();
    if (auto* editor = qobject_cast<const QPlainTextEdit*>(w))
        return editor->toPlainText();
    return {};
}

TEST(GuiLayout, EveryControlAsTheTablesGiveIt) {
    Window window;
    window.show();
    Main& main = *window.main;
    QTabWidget* tabMain = main.tabMain;
    ASSERT_NE(tabMain, nullptr);

    const QList<Row> table = rows();
    ASSERT_EQ(table.size(), 100);

    // The controls' own flags as the window starts, before any tab switch touches them.
    for (const Row& row : table) {
        SCOPED_TRACE(row.name.toStdString());
        QWidget* w = main.findChild<QWidget*>(row.name);
        if (!w)
            continue;
        if (row.visible != "-") {
            EXPECT_EQ(!w->isHidden(), row.visible == "1");
        }
        EXPECT_EQ(!w->testAttribute(Qt::WA_ForceDisabled), row.enabled);
    }

    for (const Row& row : table) {
        SCOPED_TRACE(row.name.toStdString());
        QWidget* w = window.get(row.name);
        if (!w)
            continue;
        EXPECT_STREQ(w->metaObject()->className(), qtClass(row.kind));
        EXPECT_EQ(caption(w), row.caption);

        // Place: a frame's or the client area's children from their container's corner,
        // a page's children from tabMain's corner, tab row included.
        QWidget* container = nullptr;
        QPoint measuredFrom;
        if (row.container == "Main") {
            container = main.centralWidget();
            EXPECT_EQ(w->parentWidget(), container);
            EXPECT_EQ(w->geometry(), px(row.twips));
        } else if (row.container.startsWith(u'@')) {
            const int tab = TabCaptions.indexOf(row.container.mid(1));
            ASSERT_GE(tab, 0);
            EXPECT_EQ(w->parentWidget(), tabMain->widget(tab));
            tabMain->setCurrentIndex(tab);
            QApplication::processEvents();
            EXPECT_EQ(QRect(w->mapTo(tabMain, QPoint(0, 0)), w->size()), px(row.twips));
        } else {
            container = main.findChild<QGroupBox*>(row.container);
            ASSERT_NE(container, nullptr);
            EXPECT_EQ(w->parentWidget(), container);
            EXPECT_EQ(w->geometry(), px(row.twips));
        }

        if (auto* label = qobject_cast<QLabel*>(w)) {
            const Qt::Alignment h = label->alignment() & Qt::AlignHorizontal_Mask;
            EXPECT_EQ(h, row.notes.contains(u'R')   ? Qt::AlignRight
                         : row.notes.contains(u'C') ? Qt::AlignHCenter
                                                    : Qt::AlignLeft);
            EXPECT_EQ(label->wordWrap(), row.notes.contains(u'W'));
        }
        if (auto* box = qobject_cast<QLineEdit*>(w)) {
            EXPECT_EQ(box->echoMode(), row.notes.contains(u'P') ? QLineEdit::Password : QLineEdit::Normal);
        }
        if (auto* box = qobject_cast<QComboBox*>(w)) {
            EXPECT_EQ(box->isEditable(), row.notes.contains(u'E'));
        }
    }
    tabMain->setCurrentIndex(Main::TabConfiguration);

    // Every named control of the window is in the tables: nothing extra, nothing misnamed.
    QSet<QWidget*> containers = {main.centralWidget()};
    for (int i = 0; i < tabMain->count(); ++i)
        containers.insert(tabMain->widget(i));
    for (QGroupBox* frame : main.findChildren<QGroupBox*>())
        containers.insert(frame);
    QStringList named;
    for (QWidget* w : main.centralWidget()->findChildren<QWidget*>())
        if (containers.contains(w->parentWidget()))
            named << w->objectName();
    QStringList expected;
    for (const Row& row : table)
        expected << row.name;
    named.sort();
    expected.sort();
    EXPECT_EQ(named.join(u','), expected.join(u','));
}

// Settings::Table names the controls that show each setting: all of them exist.
TEST(GuiLayout, EverySettingsControlIsInTheWindow) {
    Window window;
    for (const Settings::Definition& d : Settings::Table)
        for (int i = d.controls.first; i <= d.controls.last; ++i) {
            const QString name = QLatin1String(d.controls.name) + (i < 0 ? QString() : QStringLiteral("(%1)").arg(i));
            EXPECT_NE(window.main->findChild<QWidget*>(name), nullptr) << d.name << ": " << name.toStdString();
        }
}

// Uses of the busy pointer nest on the window; the last to end gives back its own pointer.
TEST(GuiLayout, BusyPointerNestsOnTheWindow) {
    Window window;
    Main& main = *window.main;
    main.setCursor(Qt::CrossCursor);
    {
        const ui::BusyCursor outer(main.cmdInstall);  // a control's use makes its window busy
        ui::SetBusy(&main, true);
        ui::SetBusy(&main, false);
        EXPECT_EQ(main.cursor().shape(), Qt::WaitCursor);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
    EXPECT_EQ(main.cursor().shape(), Qt::CrossCursor);
    ui::SetBusy(&main, false);  // an end without a start changes nothing
    EXPECT_EQ(main.cursor().shape(), Qt::CrossCursor);
}

TEST(GuiLayout, WindowTabsMenusAndFonts) {
    Window window;
    window.show();
    Main& main = *window.main;

    EXPECT_EQ(main.objectName(), "Main");
    EXPECT_EQ(main.windowTitle(), "Norvane Administrator");
    EXPECT_EQ(main.centralWidget()->size(), QSize(px(7575), px(4350)));
    // Fixed: the window is the client area under the menu bar.
    EXPECT_EQ(main.minimumSize(), main.maximumSize());
    EXPECT_EQ(main.height(), px(4350) + main.menuBar()->height());

    ASSERT_EQ(main.tabMain->count(), TabCaptions.size());
    for (int i = 0; i < TabCaptions.size(); ++i) {
        EXPECT_EQ(main.tabMain->tabText(i), TabCaptions[i]);
    }
    EXPECT_EQ(main.tabMain->currentIndex(), Main::TabConfiguration);
    // The tab row is 295 twips high and the pages' contents lie below it.
    EXPECT_EQ(main.tabMain->tabBar()->height(), px(295));
    for (int i = 0; i < main.tabMain->count(); ++i) {
        EXPECT_LE(main.tabMain->tabBar()->tabRect(i).right(), main.tabMain->width()) << "tab " << i << " cut off";
    }

    // Menu bar: File (Reload DSNs, separator, Save, Exit) and Help (About); Save alone has
    // a shortcut, the desktop's Save key.
    const QList<QAction*> bar = main.menuBar()->actions();
    ASSERT_EQ(bar.size(), 2);
    EXPECT_EQ(bar[0]->objectName(), "mFile");
    EXPECT_EQ(bar[0]->text(), "&File");
    EXPECT_EQ(bar[1]->objectName(), "mHelp");
    EXPECT_EQ(bar[1]->text(), "&Help");
    ASSERT_NE(bar[0]->menu(), nullptr);
    ASSERT_NE(bar[1]->menu(), nullptr);
    const QList<QAction*> file = bar[0]->menu()->actions();
    ASSERT_EQ(file.size(), 4);
    EXPECT_EQ(file[0]->objectName(), "mReloadDSN");
    EXPECT_EQ(file[0]->text(), "&Reload DSNs");
    EXPECT_EQ(file[1]->objectName(), "mDiv1");
    EXPECT_TRUE(file[1]->isSeparator());
    EXPECT_EQ(file[2]->objectName(), "mSave");
    EXPECT_EQ(file[2]->text(), "&Save");
    EXPECT_EQ(file[3]->objectName(), "mExit");
    EXPECT_EQ(file[3]->text(), "&Exit");
    const QList<QAction*> help = bar[1]->menu()->actions();
    ASSERT_EQ(help.size(), 1);
    EXPECT_EQ(help[0]->objectName(), "mAbout");
    EXPECT_EQ(help[0]->text(), "&About");
    for (QAction* action : main.findChildren<QAction*>()) {
        const QList<QKeySequence> expected =
            action == main.mSave ? QKeySequence::keyBindings(QKeySequence::Save) : QList<QKeySequence>();
        EXPECT_EQ(action->shortcuts(), expected) << action->objectName().toStdString();
    }
    EXPECT_EQ(main.mFile, bar[0]);
    EXPECT_EQ(main.mAbout, help[0]);
    // The bar's overflow button keeps its icon, though it is made only when first drawn.
    const auto* overflow = main.menuBar()->findChild<QToolButton*>(QStringLiteral("qt_menubar_ext_button"));
    ASSERT_NE(overflow, nullptr);
    EXPECT_FALSE(overflow->icon().pixmap(16, 16).isNull());

    // Fonts: the banner in Times New Roman's successor, bold, pure blue; the rest in MS Sans
    // Serif's; the "Secs" note small.
    const QFont banner = main.Label1->font();
    EXPECT_EQ(QFontInfo(banner).family(), "Liberation Serif");
    EXPECT_TRUE(banner.bold());
    EXPECT_DOUBLE_EQ(banner.pointSizeF(), 27.75);
    EXPECT_EQ(main.Label1->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_EQ(QFontInfo(main.txtAuthPort->font()).family(), "Liberation Sans");
    EXPECT_DOUBLE_EQ(main.txtAuthPort->font().pointSizeF(), 8.25);
    EXPECT_DOUBLE_EQ(main.chkIgnoreCase->font().pointSizeF(), 8.25);
    const QFont secs = window.get("lblCheckDBInterval(5)")->font();
    EXPECT_EQ(QFontInfo(secs).family(), "Liberation Sans");
    EXPECT_DOUBLE_EQ(secs.pointSizeF(), 6.75);

    // A data-source box offers its list and keeps what is typed, though a listed name
    // begins with it.
    Main::SetValue(main.chkMode[1], 1);
    main.tabMain->setCurrentIndex(Main::TabOdbcDsn);
    main.cbDSN[0]->addItem(QStringLiteral("NorvaneDemo"));
    main.cbDSN[0]->clearEditText();
    main.cbDSN[0]->setFocus();
    QTest::keyClicks(main.cbDSN[0]->lineEdit(), QStringLiteral("Norvane"));
    EXPECT_EQ(main.cbDSN[0]->currentText(), "Norvane");

    // Password boxes show "*" for every character.
    for (QLineEdit* box : main.txtPassword) {
        box->setText("pa ss");
        EXPECT_EQ(box->displayText(), "*****");
    }

    // Everything the tables give no font of its own, the menus and message boxes too, is
    // in MS Sans Serif's successor, a proportional face, whatever the machine's default.
    QMessageBox message(QMessageBox::NoIcon, QStringLiteral("Norvane Admin"),
                        QStringLiteral("Norvane Configuration Saved"));
    const QWidget* messageText = message.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    ASSERT_NE(messageText, nullptr);
    for (const QWidget* w : {static_cast<const QWidget*>(main.menuBar()), static_cast<const QWidget*>(bar[0]->menu()),
                             static_cast<const QWidget*>(&message), messageText}) {
        const QFontInfo font(w->font());
        EXPECT_EQ(font.family(), "Liberation Sans") << w->metaObject()->className();
        EXPECT_FALSE(font.fixedPitch()) << w->metaObject()->className();
    }

    // No caption is cut off by its control, once its page has been shown.
    for (int i = 0; i < main.tabMain->count(); ++i)
        main.tabMain->setCurrentIndex(i);
    main.tabMain->setCurrentIndex(Main::TabConfiguration);
    for (QCheckBox* box : main.findChildren<QCheckBox*>()) {
        QStyleOptionButton option;
        option.initFrom(box);
        const QRect text = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
        EXPECT_LE(box->fontMetrics().horizontalAdvance(box->text()), text.width()) << box->objectName().toStdString();
    }
    for (QLabel* label : main.findChildren<QLabel*>()) {
        const QRect needed = label->fontMetrics().boundingRect(
            QRect(0, 0, label->width(), 1 << 16), (label->wordWrap() ? Qt::TextWordWrap : 0) | label->alignment(),
            label->text());
        EXPECT_LE(needed.width(), label->width()) << label->objectName().toStdString();
        if (label->wordWrap()) {
            EXPECT_LE(needed.height(), label->height()) << label->objectName().toStdString();
        }
    }
}

TEST(GuiLayout, StartingStateAndTheEditorsOutOfTheTabChain) {
    Window window;
    Main& main = *window.main;
    // What the load of an empty store leaves as designed.
    EXPECT_FALSE(main.cmdCheck[0]->isEnabled());
    EXPECT_FALSE(main.cmdCheck[1]->isEnabled());
    EXPECT_TRUE(main.chkOptions[4]->isHidden());
    EXPECT_TRUE(main.chkOptions[11]->isHidden());
    EXPECT_FALSE(main.lblNotFound->isHidden());
    EXPECT_EQ(main.tabMain->currentIndex(), Main::TabConfiguration);
    for (QLineEdit* box : main.findChildren<QLineEdit*>())
        if (!qobject_cast<QComboBox*>(box->parentWidget())) {
            EXPECT_TRUE(box->text().isEmpty()) << box->objectName().toStdString();
        }
    for (QCheckBox* box : main.findChildren<QCheckBox*>())
        if (box != main.chkMode[0]) {  // an empty store means the text mode
            EXPECT_EQ(Main::Value(box), 0) << box->objectName().toStdString();
        }
    EXPECT_TRUE(main.rtbClients->toPlainText().isEmpty());
    EXPECT_TRUE(main.rtbClients->FileName().isEmpty());
    EXPECT_FALSE(main.DirtyFlag());

    // The Tab key walks the page's controls and never lands in an editor.
    window.show();
    for (int tab : {Main::TabClients, Main::TabUsers}) {
        main.tabMain->setCurrentIndex(tab);
        QPushButton* start = tab == Main::TabClients ? main.cmdClientsSave : main.cmdUsersSave;
        QWidget* editor = tab == Main::TabClients ? static_cast<QWidget*>(main.rtbClients) : main.rtbUsers;
        start->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(start->hasFocus());
        QSet<QWidget*> visited;
        for (int i = 0; i < 8; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited.insert(QApplication::focusWidget());
            EXPECT_FALSE(editor->hasFocus()) << "Tab reached the editor of tab " << tab;
        }
        for (int i = 0; i < 8; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
            EXPECT_FALSE(editor->hasFocus()) << "Shift+Tab reached the editor of tab " << tab;
        }
        EXPECT_GE(visited.size(), 2);  // the focus did move
        // A click still puts the operator into it.
        QTest::mouseClick(
            editor->focusProxy() ? editor->focusProxy() : static_cast<QPlainTextEdit*>(editor)->viewport(),
            Qt::LeftButton);
        EXPECT_TRUE(editor->hasFocus());
    }
}

// What a screen reader announces for each field, read through Qt's accessibility interface:
// the caption in front of it without its colon. Every field of the window is listed.
TEST(GuiLayout, EveryFieldIsAnnouncedByItsCaption) {
    Window window;
    window.main->show();
    window.main->cbIPAddress->addItem(QStringLiteral("192.0.2.1"));  // the current item is not the name
    QMap<QString, QString> names;
    for (const QString& row : QStringLiteral("txtAuthPort=Port,txtLogFile(0)=Logfile,txtAcctPort=Port,txtLogFile(1)="
                                             "Logfile,txtFiles(0)=Data Directory,txtFiles(1)=Acct. Directory,txtFiles("
                                             "2)=Users File,cbIPAddress=IP Address,cbDSN(0)=DSN,cbDSN(1)=DSN,"
                                             "txtUsername(0)=Username,txtUsername(1)=Username,txtPassword(0)=Password,"
                                             "txtPassword(2)=Password,txtPassword(1)=Verify,txtPassword(3)=Verify,"
                                             "txtCheckDB=Connection Check,rtbClients=Clients file,rtbUsers=Users file")
                                  .split(','))
        names.insert(row.section('=', 0, 0), row.section('=', 1));
    int fields = 0;
    for (QWidget* w : window.main->findChildren<QWidget*>()) {
        if ((qobject_cast<QLineEdit*>(w) && !qobject_cast<QComboBox*>(w->parentWidget())) ||
            qobject_cast<QComboBox*>(w) || qobject_cast<QPlainTextEdit*>(w)) {
            ++fields;
            EXPECT_EQ(QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name),
                      names.value(w->objectName(), "?"))
                << w->objectName().toStdString();
        }
    }
    EXPECT_EQ(fields, names.size());
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(QAccessible::queryAccessibleInterface(window.main->cmdCheck[i])
                        ->text(QAccessible::Description)
                        .contains(i == 0 ? "authentication" : "accounting"));
}

}  // namespace
}  // namespace norvane::test
