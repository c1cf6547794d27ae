// The main window's controls: every tab, frame, label and box at its fixed place, and the
// menus. Positions are kept in twips as the layout was measured (ui/Twips.h).
#include "Main.h"

#include "Captions.h"
#include "Fonts.h"
#include "Style.h"
#include "TextFileEditor.h"
#include "Twips.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>
#include <QPushButton>
#include <QStyleOption>
#include <QTabBar>
#include <QTabWidget>

namespace norvane {

using ui::twips;

namespace {

// The tab control, able to say where its pages sit, so that controls on a page can be
// placed from the tab control's own corner as the layout measures them.
class TabControl : public QTabWidget {
public:
    using QTabWidget::QTabWidget;

    QPoint pageOrigin() const {
        QStyleOptionTabWidgetFrame option;
        initStyleOption(&option);
        return style()->subElementRect(QStyle::SE_TabWidgetTabContents, &option, this).topLeft();
    }
};

QString member(const char* name, int index) { return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index); }

// Where controls go: a widget, and the point of it from which positions are measured.
struct Container {
    QWidget* widget;
    QPoint origin;  // the measuring corner, in the widget's own coordinates
};

template <class W>
W* place(W* control, const Container& in, const QString& name, int left, int top, int width, int height) {
    control->setObjectName(name);
    control->setGeometry(QRect(twips(left), twips(top), twips(width), twips(height)).translated(in.origin));
    return control;
}

QGroupBox* frame(const Container& in, const QString& name, const QString& caption, int l, int t, int w, int h) {
    return place(new QGroupBox(caption, in.widget), in, name, l, t, w, h);
}

QCheckBox* check(const Container& in, const QString& name, const QString& caption, int l, int t, int w, int h) {
    return place(new QCheckBox(caption, in.widget), in, name, l, t, w, h);
}

QLabel* label(const Container& in, const QString& name, const QString& caption, int l, int t, int w, int h,
              Qt::Alignment align = Qt::AlignLeft) {
    auto* control = place(new QLabel(caption, in.widget), in, name, l, t, w, h);
    control->setAlignment(align | Qt::AlignTop);
    return control;
}

QLabel* rightLabel(const Container& in, const QString& name, const QString& caption, int l, int t, int w, int h) {
    return label(in, name, caption, l, t, w, h, Qt::AlignRight);
}

// On Linux Qt announces a drop-down list by its current item, whatever name it was given:
// such a box with a name of its own is announced by that name, its item being its value.
class NamedListAccessible : public QAccessibleWidget {
public:
    explicit NamedListAccessible(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}
    QString text(QAccessible::Text t) const override {
        const auto* box = static_cast<const QComboBox*>(widget());
        if (t == QAccessible::Name)
            return box->accessibleName();
        if (t == QAccessible::Value)
            return box->currentText();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* NamedListFactory(const QString& key, QObject* object) {
    auto* box = qobject_cast<QComboBox*>(object);
    if (key != QLatin1String("QComboBox") || !box || box->isEditable() || box->accessibleName().isEmpty())
        return nullptr;
    return new NamedListAccessible(box);
}

// A field is announced by the caption of the label in front of it, as it reads without
// its colon; the label's buddy links the two for keyboard and assistive tools alike.
template <class W>
W* labelled(QLabel* label, W* field) {
    label->setBuddy(field);
    QString name = label->text();
    if (name.endsWith(QLatin1Char(':')))
        name.chop(1);
    field->setAccessibleName(name);
    // An editable box's own text field is where the focus lands: it carries the name too.
    if (auto* box = qobject_cast<QComboBox*>(field); box && box->lineEdit())
        box->lineEdit()->setAccessibleName(name);
    static const bool installed = (QAccessible::installFactory(NamedListFactory), true);
    (void)installed;
    return field;
}

QLineEdit* text(const Container& in, const QString& name, int l, int t, int w, int h) {
    return place(new QLineEdit(in.widget), in, name, l, t, w, h);
}

QLineEdit* password(const Container& in, const QString& name, int l, int t, int w, int h) {
    auto* box = text(in, name, l, t, w, h);
    box->setEchoMode(QLineEdit::Password);
    return box;
}

QPushButton* button(const Container& in, const QString& name, const QString& caption, int l, int t, int w, int h) {
    auto* control = place(new QPushButton(caption, in.widget), in, name, l, t, w, h);
    control->setAutoDefault(false);
    return control;
}

QComboBox* combo(const Container& in, const QString& name, bool editable, int l, int t, int w, int h) {
    auto* box = place(new QComboBox(in.widget), in, name, l, t, w, h);
    box->setEditable(editable);
    if (editable) {
        box->setInsertPolicy(QComboBox::NoInsert);  // the list holds the machine's names only
        // The list is only an offer: a name typed is kept as typed, never completed to a
        // longer one of the list behind the operator's back.
        box->setCompleter(nullptr);
    }
    return box;
}

TextFileEditor* editor(const Container& in, const QString& name, int l, int t, int w, int h) {
    auto* box = place(new TextFileEditor(in.widget), in, name, l, t, w, h);
    // Reached by clicking only: the Tab key never lands in it.
    box->setFocusPolicy(Qt::ClickFocus);
    return box;
}

Container in(QWidget* widget) { return {widget, {}}; }

}  // namespace

Main::Main(QWidget* parent) : QMainWindow(parent) {
    ui::UseWindowStyle();
    ui::UseApplicationFont();
    buildLayout();
    connectEvents();
    m_programDirectory = QCoreApplication::applicationDirPath();
    Form_Load();
}

Main::~Main() {
    // The controls are destroyed after this window's own part is gone: on the way out they
    // must not reach its rules through a signal or a focus event.
    for (QObject* child : findChildren<QObject*>()) {
        child->removeEventFilter(this);
        child->disconnect(this);
    }
}

void Main::buildLayout() {
    setObjectName(QStringLiteral("Main"));
    setWindowTitle(QStringLiteral("Norvane Administrator"));
    // The window itself was made before the application's font was set.
    setFont(QApplication::font());

    auto* client = new QWidget(this);
    client->setFixedSize(twips(7575), twips(4350));
    setCentralWidget(client);
    // The layout is fixed: the window is the client area plus the menu bar, and no more.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    const Container window = in(client);

    Label1 = label(window, QStringLiteral("Label1"), QStringLiteral("Norvane Administrator 2.5"), 120, 0, 7215, 615,
                   Qt::AlignHCenter);
    // The banner is the program's own Latin text: no fallback faces are looked up for it.
    QFont banner = ui::SerifFont(27.75, true);
    banner.setStyleStrategy(QFont::NoFontMerging);
    banner.setHintingPreference(QFont::PreferNoHinting);
    Label1->setFont(banner);
    QPalette blue = Label1->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    Label1->setPalette(blue);

    auto* tabs = place(new TabControl(client), window, QStringLiteral("tabMain"), 120, 720, 7335, 3495);
    tabs->setUsesScrollButtons(false);
    tabMain = tabs;
    const QStringList captions = {
        QStringLiteral("Configuration"), QStringLiteral("ODBC DSN"),        QStringLiteral("Advanced"),
        QStringLiteral("Cache"),         QStringLiteral("Service Control"), QStringLiteral("Clients"),
        QStringLiteral("Users")};
    std::array<QWidget*, 7> pages{};
    for (int i = 0; i < captions.size(); ++i) {
        pages[i] = new QWidget;
        tabMain->addTab(pages[i], captions[i]);
    }
    tabMain->setCurrentIndex(TabConfiguration);
    // Positions on a page are measured from the tab control's corner, tab row included.
    const QPoint pageOrigin = -tabs->pageOrigin();
    auto page = [&](Tab tab) { return Container{pages[tab], pageOrigin}; };

    // Configuration.
    {
        const Container p = page(TabConfiguration);
        const Container mode = in(frame(p, QStringLiteral("SSFrame5"), QStringLiteral("Mode"), 120, 360, 2535, 975));
        chkMode[0] = check(mode, member("chkMode", 0), QStringLiteral("Text"), 120, 240, 735, 255);
        chkMode[1] = check(mode, member("chkMode", 1), QStringLiteral("ODBC"), 120, 480, 855, 255);
        chkMode[2] = check(mode, member("chkMode", 2), QStringLiteral("Text Backup"), 1080, 360, 1215, 255);
        chkMode[3] = check(mode, member("chkMode", 3), QStringLiteral("From Database"), 1080, 600, 1375, 255);

        const Container debug =
            in(frame(p, QStringLiteral("frmConfigDebug"), QStringLiteral(" Debug "), 120, 1440, 2535, 975));
        chkDebug[0] = check(debug, member("chkDebug", 0), QStringLiteral("General"), 120, 360, 855, 255);
        chkDebug[1] = check(debug, member("chkDebug", 1), QStringLiteral("User"), 120, 600, 855, 255);
        chkDebug[2] = check(debug, member("chkDebug", 2), QStringLiteral("ODBC"), 1440, 360, 855, 255);
        chkDebug[3] = check(debug, member("chkDebug", 3), QStringLiteral("File"), 1440, 600, 615, 255);

        const Container options =
            in(frame(p, QStringLiteral("frmOptions"), QStringLiteral("General Options"), 2760, 360, 1695, 2055));
        chkIgnoreCase =
            check(options, QStringLiteral("chkIgnoreCase"), QStringLiteral("Ignore Case"), 120, 360, 1215, 195);
        chkReqSecret =
            check(options, QStringLiteral("chkReqSecret"), QStringLiteral("Require Secret"), 120, 600, 1455, 195);
        chkMalformed =
            check(options, QStringLiteral("chkMalformed"), QStringLiteral("Allow Malformed"), 120, 840, 1455, 195);
        chkTrimName[0] = check(options, member("chkTrimName", 0), QStringLiteral("Trim Name"), 120, 1200, 1095, 195);
        chkTrimName[1] = check(options, member("chkTrimName", 1), QStringLiteral("Spaces"), 360, 1440, 1095, 195);
        chkTrimName[2] = check(options, member("chkTrimName", 2), QStringLiteral("Domains"), 360, 1680, 1095, 195);

        const Container auth =
            in(frame(p, member("SSFrame2", 0), QStringLiteral("Authentication"), 4560, 360, 2655, 975));
        txtAuthPort = labelled(rightLabel(auth, QStringLiteral("Label3"), QStringLiteral("Port:"), 360, 240, 375, 255),
                               text(auth, QStringLiteral("txtAuthPort"), 840, 240, 615, 285));
        txtLogFile[0] =
            labelled(rightLabel(auth, QStringLiteral("Label17"), QStringLiteral("Logfile:"), 120, 600, 585, 255),
                     text(auth, member("txtLogFile", 0), 840, 600, 1695, 285));

        const Container acct =
            in(frame(p, QStringLiteral("SSFrame3"), QStringLiteral("Accounting"), 4560, 1440, 2655, 975));
        txtAcctPort = labelled(rightLabel(acct, QStringLiteral("Label2"), QStringLiteral("Port:"), 360, 240, 375, 255),
                               text(acct, QStringLiteral("txtAcctPort"), 840, 240, 615, 285));
        txtLogFile[1] =
            labelled(rightLabel(acct, QStringLiteral("Label7"), QStringLiteral("Logfile:"), 120, 600, 615, 255),
                     text(acct, member("txtLogFile", 1), 840, 600, 1695, 285));

        txtFiles[0] =
            labelled(rightLabel(p, QStringLiteral("Label6"), QStringLiteral("Data Directory:"), 360, 2640, 1095, 255),
                     text(p, member("txtFiles", 0), 1560, 2640, 2415, 285));
        txtFiles[1] =
            labelled(rightLabel(p, QStringLiteral("Label8"), QStringLiteral("Acct. Directory:"), 360, 3000, 1095, 255),
                     text(p, member("txtFiles", 1), 1560, 3000, 2415, 285));
        txtFiles[2] =
            labelled(rightLabel(p, QStringLiteral("Label9"), QStringLiteral("Users File:"), 4200, 2640, 855, 255),
                     text(p, member("txtFiles", 2), 5160, 2640, 2055, 285));
        cbIPAddress =
            labelled(rightLabel(p, QStringLiteral("Label10"), QStringLiteral("IP Address:"), 4200, 3000, 855, 255),
                     combo(p, QStringLiteral("cbIPAddress"), false, 5160, 3000, 2055, 315));
    }

    // ODBC DSN: the two frames hold the same controls, member 0 (passwords 0 and 1) for
    // authentication and member 1 (passwords 2 and 3) for accounting.
    {
        const Container p = page(TabOdbcDsn);
        frmAuth = frame(p, QStringLiteral("frmAuth"), QStringLiteral("Authentication"), 240, 360, 3375, 2415);
        frmAcct = frame(p, QStringLiteral("frmAcct"), QStringLiteral("Accounting"), 3840, 360, 3375, 2415);
        const std::array<QGroupBox*, 2> frames = {frmAuth, frmAcct};
        for (int i = 0; i < 2; ++i) {
            const Container f = in(frames[i]);
            cbDSN[i] = labelled(rightLabel(f, member("Label15", i), QStringLiteral("DSN:"), 360, 360, 615, 255),
                                combo(f, member("cbDSN", i), true, 1080, 360, 1935, 315));
            txtUsername[i] =
                labelled(rightLabel(f, member("Label4", i), QStringLiteral("Username:"), 120, 720, 855, 255),
                         text(f, member("txtUsername", i), 1080, 720, 1935, 285));
            txtPassword[2 * i] =
                labelled(rightLabel(f, member("Label11", i), QStringLiteral("Password:"), 120, 1080, 855, 255),
                         password(f, member("txtPassword", 2 * i), 1080, 1080, 1935, 285));
            txtPassword[2 * i + 1] =
                labelled(rightLabel(f, member("Label13", i), QStringLiteral("Verify:"), 360, 1440, 615, 255),
                         password(f, member("txtPassword", 2 * i + 1), 1080, 1440, 1935, 285));
            cmdCheck[i] = button(f, member("cmdCheck", i), QStringLiteral("&Check"), 2040, 1920, 975, 325);
            cmdCheck[i]->setAccessibleDescription(
                i == 0 ? QStringLiteral("Checks the connection to the authentication data source")
                       : QStringLiteral("Checks the connection to the accounting data source"));
            cmdCheck[i]->setEnabled(false);
        }
        chkDiffAcct = check(p, QStringLiteral("chkDiffAcct"), QStringLiteral("Use different Accounting DSN"), 3960,
                            2880, 2655, 255);
        chkOptions[4] = check(p, member("chkOptions", 4), QStringLiteral("MS Access Mode"), 3960, 3120, 1575, 255);
        chkOptions[4]->setHidden(true);
        txtCheckDB = labelled(
            rightLabel(p, QStringLiteral("Label12"), QStringLiteral("Connection Check:"), 240, 3000, 1455, 255),
            text(p, QStringLiteral("txtCheckDB"), 1800, 3000, 615, 285));
        auto* secs = label(p, member("lblCheckDBInterval", 5), QStringLiteral("Secs"), 2520, 3120, 330, 150);
        secs->setFont(ui::SansFont(6.75));
    }

    // Advanced: one option array over three frames, in screen order rather than index order.
    {
        const Container p = page(TabAdvanced);
        struct Option {
            int index;
            const char* caption;
            int left, top, width, height;
        };
        auto options = [&](const Container& f, std::initializer_list<Option> list) {
            for (const Option& o : list)
                chkOptions[o.index] = check(f, member("chkOptions", o.index), QString::fromLatin1(o.caption), o.left,
                                            o.top, o.width, o.height);
        };
        options(
            in(frame(p, QStringLiteral("frmODBCOptionsAuth"), QStringLiteral("Authentication"), 120, 480, 2175, 2895)),
            {{0, "Concurrency Control", 120, 240, 1815, 255},
             {6, "Variable Login Limits", 120, 480, 1815, 255},
             {2, "Time banking", 120, 840, 1815, 255},
             {8, "Server Port Access", 120, 1080, 1695, 255},
             {5, "Ascend Max Time", 120, 1320, 1695, 255},
             {7, "Password Replace", 120, 1680, 1695, 255},
             {12, "DNIS Checking", 120, 1920, 1695, 255},
             {11, "Do Not Check Users", 120, 2280, 1935, 255},
             {13, "Reject List", 120, 2520, 1695, 255}});
        chkOptions[11]->setHidden(true);
        options(in(frame(p, QStringLiteral("frmODBCOptionsAcct"), QStringLiteral("Accounting"), 2520, 480, 2175, 1935)),
                {{1, "Manual Calls Update", 120, 240, 1815, 255},
                 {9, "Stop Records Only", 120, 600, 1695, 255},
                 {3, "Manual Srvc Update", 120, 960, 1815, 255},
                 {10, "Command Triggers", 120, 1320, 1815, 255}});

        const Container proxy = in(frame(p, QStringLiteral("frmODBCOptionsProxy"), QStringLiteral("Proxy and Roaming"),
                                         4920, 480, 2175, 1935));
        chkProxy[0] = check(proxy, member("chkProxy", 0), QStringLiteral("User Proxy "), 120, 240, 1215, 255);
        chkProxy[1] = check(proxy, member("chkProxy", 1), QStringLiteral("Authentication"), 480, 480, 1335, 255);
        chkProxy[2] = check(proxy, member("chkProxy", 2), QStringLiteral("Unknown"), 840, 720, 1095, 255);
        chkProxy[3] = check(proxy, member("chkProxy", 3), QStringLiteral("Accounting"), 480, 960, 1335, 255);
        chkProxy[4] = check(proxy, member("chkProxy", 4), QStringLiteral("Echo"), 840, 1200, 735, 255);
        chkProxy[5] = check(proxy, member("chkProxy", 5), QStringLiteral("Server Proxy"), 120, 1560, 1455, 195);

        const Container snmp = in(frame(p, QStringLiteral("frmSNMP"), QStringLiteral("SNMP"), 2520, 2520, 2175, 855));
        chkSNMP[0] = check(snmp, member("chkSNMP", 0), QStringLiteral("Statistics"), 120, 240, 1215, 255);
        chkSNMP[1] = check(snmp, member("chkSNMP", 1), QStringLiteral("Concurrency Check"), 120, 480, 1815, 255);
    }

    // Cache has no content.

    // Service Control.
    {
        const Container p = page(TabServiceControl);
        const Container box = in(frame(p, QStringLiteral("SSFrame7"), QString(), 240, 480, 6975, 855));
        auto* note = label(box, QStringLiteral("Label18"),
                           QStringLiteral("Norvane runs natively as a service.  Before you can start Norvane as a "
                                          "service, you must first install it as a service.  Click the below buttons "
                                          "to install and remove Norvane as a service."),
                           120, 240, 6735, 495, Qt::AlignHCenter);
        note->setWordWrap(true);
        cmdInstall = button(p, QStringLiteral("cmdInstall"), QStringLiteral("&Install Service"), 1440, 1800, 1575, 375);
        cmdRemove = button(p, QStringLiteral("cmdRemove"), QStringLiteral("&Remove Service"), 3960, 1800, 1575, 375);
        lblNotFound = label(p, QStringLiteral("lblNotFound"),
                            QStringLiteral("The Norvane executable must be located in the same directory as the "
                                           "Norvane Administrator in order for this to be available."),
                            1320, 2640, 4695, 495, Qt::AlignHCenter);
        lblNotFound->setWordWrap(true);
    }

    // Clients and Users.
    {
        const Container p = page(TabClients);
        rtbClients = editor(p, QStringLiteral("rtbClients"), 120, 480, 6975, 2415);
        rtbClients->setAccessibleName(QStringLiteral("Clients file"));
        label(p, QStringLiteral("Label19"), QStringLiteral("One client per line in the format \"x.x.x.x secret\""), 240,
              3000, 3975, 255);
        cmdClientsSave = button(p, QStringLiteral("cmdClientsSave"), QStringLiteral("&Save"), 4800, 3000, 975, 325);
        Command1 = button(p, QStringLiteral("Command1"), QStringLiteral("&Reload"), 6000, 3000, 975, 325);
    }
    {
        const Container p = page(TabUsers);
        rtbUsers = editor(p, QStringLiteral("rtbUsers"), 120, 480, 6975, 2415);
        rtbUsers->setAccessibleName(QStringLiteral("Users file"));
        label(p, QStringLiteral("Label20"), QStringLiteral("Use Ctrl-Tab to insert a tab into the users file."), 240,
              3000, 3375, 255);
        cmdUsersSave = button(p, QStringLiteral("cmdUsersSave"), QStringLiteral("&Save"), 4800, 3000, 975, 325);
        Command2 = button(p, QStringLiteral("Command2"), QStringLiteral("&Reload"), 6000, 3000, 975, 325);
    }

    // Menus.
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    mFile = file->menuAction();
    mFile->setObjectName(QStringLiteral("mFile"));
    mReloadDSN = file->addAction(QStringLiteral("&Reload DSNs"));
    mReloadDSN->setObjectName(QStringLiteral("mReloadDSN"));
    mDiv1 = file->addSeparator();
    mDiv1->setObjectName(QStringLiteral("mDiv1"));
    mSave = file->addAction(QStringLiteral("&Save"));
    mSave->setObjectName(QStringLiteral("mSave"));
    // The one shortcut of the menus: the desktop's Save key.
    mSave->setShortcut(QKeySequence::Save);
    mExit = file->addAction(QStringLiteral("&Exit"));
    mExit->setObjectName(QStringLiteral("mExit"));
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    mHelp = help->menuAction();
    mHelp->setObjectName(QStringLiteral("mHelp"));
    mAbout = help->addAction(QStringLiteral("&About"));
    mAbout->setObjectName(QStringLiteral("mAbout"));

    ui::FitCaption(Label1);
    for (QWidget* page : pages)
        ui::FitCaptionsWhenShown(page);
}

}  // namespace norvane
