// The window's events and the rules that keep its controls consistent: sub-options shown
// only under their option, the tabs that follow the ODBC mode, the "&Check" buttons that
// follow the password pairs, trimmed names, refused passwords, and the unsaved-changes flag.
#include "Main.h"

#include "MessageBox.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <limits>

namespace norvane {

namespace {

template <std::size_t N>
int indexOf(const std::array<QLineEdit*, N>& boxes, const QObject* object) {
    for (std::size_t i = 0; i < N; ++i)
        if (boxes[i] == object)
            return static_cast<int>(i);
    return -1;
}

// Only the space character counts as a blank here; tabs and other white space stay.
QString trimSpaces(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.mid(begin, end - begin);
}

void selectWholeText(QLineEdit* box) { box->setSelection(0, static_cast<int>(box->text().size())); }

}  // namespace

int Main::Value(const QCheckBox* box) {
    switch (box->checkState()) {
    case Qt::Checked: return 1;
    case Qt::PartiallyChecked: return 2;
    case Qt::Unchecked: break;
    }
    return 0;
}

void Main::SetValue(QCheckBox* box, int value) {
    switch (value) {
    case 0: box->setCheckState(Qt::Unchecked); break;
    case 1: box->setCheckState(Qt::Checked); break;
    case 2:
        box->setTristate(true);
        box->setCheckState(Qt::PartiallyChecked);
        break;
    default: break;  // not a check box value: the box keeps the one it has
    }
}

void Main::connectEvents() {
    // A box shows grayed only when the program puts it so; the operator's clicks give 0 or 1.
    for (QCheckBox* box : findChildren<QCheckBox*>()) {
        connect(box, &QCheckBox::stateChanged, box, [box](int state) {
            if (state != Qt::PartiallyChecked)
                box->setTristate(false);
        });
    }

    auto onClick = [this](QCheckBox* box, auto handler) { connect(box, &QCheckBox::stateChanged, this, handler); };
    for (int i = 0; i < static_cast<int>(chkMode.size()); ++i)
        onClick(chkMode[i], [this, i] { chkMode_Click(i); });
    for (int i = 0; i < static_cast<int>(chkDebug.size()); ++i)
        onClick(chkDebug[i], [this, i] { chkDebug_Click(i); });
    onClick(chkIgnoreCase, [this] { chkIgnoreCase_Click(); });
    onClick(chkReqSecret, [this] { chkReqSecret_Click(); });
    onClick(chkMalformed, [this] { chkMalformed_Click(); });
    for (int i = 0; i < static_cast<int>(chkTrimName.size()); ++i)
        onClick(chkTrimName[i], [this, i] { chkTrimName_Click(i); });
    onClick(chkDiffAcct, [this] { chkDiffAcct_Click(); });
    for (int i = 0; i < static_cast<int>(chkOptions.size()); ++i)
        onClick(chkOptions[i], [this, i] { chkOptions_Click(i); });
    for (int i = 0; i < static_cast<int>(chkProxy.size()); ++i)
        onClick(chkProxy[i], [this, i] { chkProxy_Click(i); });
    for (int i = 0; i < static_cast<int>(chkSNMP.size()); ++i)
        onClick(chkSNMP[i], [this, i] { chkSNMP_Click(i); });

    for (int i = 0; i < static_cast<int>(cbDSN.size()); ++i) {
        QComboBox* box = cbDSN[i];
        // A Click is the operator choosing from the list. Left to itself the box also picks
        // the item that matches its text when Enter is pressed or the focus leaves, and
        // reports that as a choice (even adopting the item's letter case): no choice was made.
        disconnect(box->lineEdit(), &QLineEdit::editingFinished, box, nullptr);
        disconnect(box->lineEdit(), &QLineEdit::returnPressed, box, nullptr);
        connect(box, &QComboBox::editTextChanged, this, [this, i] { cbDSN_Change(i); });
        connect(box, &QComboBox::activated, this, [this, i] { cbDSN_Click(i); });
    }
    // A box holds a setting of any length: the default limit of 32767 characters would cut
    // a longer stored value on an unedited save.
    for (QLineEdit* box : findChildren<QLineEdit*>())
        box->setMaxLength(std::numeric_limits<int>::max());
    // A list-only box: a new selection, chosen or set, is its Click.
    connect(cbIPAddress, &QComboBox::currentIndexChanged, this, [this] { cbIPAddress_Click(); });

    connect(txtAuthPort, &QLineEdit::textChanged, this, [this] { txtAuthPort_Change(); });
    connect(txtAcctPort, &QLineEdit::textChanged, this, [this] { txtAcctPort_Change(); });
    connect(txtCheckDB, &QLineEdit::textChanged, this, [this] { txtCheckDB_Change(); });
    for (int i = 0; i < static_cast<int>(txtFiles.size()); ++i)
        connect(txtFiles[i], &QLineEdit::textChanged, this, [this, i] { txtFiles_Change(i); });
    for (int i = 0; i < static_cast<int>(txtLogFile.size()); ++i)
        connect(txtLogFile[i], &QLineEdit::textChanged, this, [this, i] { txtLogFile_Change(i); });
    for (int i = 0; i < static_cast<int>(txtUsername.size()); ++i)
        connect(txtUsername[i], &QLineEdit::textChanged, this, [this, i] { txtUsername_Change(i); });
    for (int i = 0; i < static_cast<int>(txtPassword.size()); ++i)
        connect(txtPassword[i], &QLineEdit::textChanged, this, [this, i] { txtPassword_Change(i); });

    // GotFocus and LostFocus come from the boxes' focus events.
    for (QLineEdit* box : txtPassword)
        box->installEventFilter(this);
    for (QLineEdit* box : txtUsername)
        box->installEventFilter(this);
    for (QLineEdit* box : txtFiles)
        box->installEventFilter(this);

    connect(tabMain, &QTabWidget::currentChanged, this, [this](int current) {
        const int previous = m_previousTab;
        m_previousTab = current;
        tabMain_Click(previous);
    });

    for (int i = 0; i < static_cast<int>(cmdCheck.size()); ++i)
        connect(cmdCheck[i], &QPushButton::clicked, this, [this, i] { cmdCheck_Click(i); });
    connect(cmdInstall, &QPushButton::clicked, this, [this] { cmdInstall_Click(); });
    connect(cmdRemove, &QPushButton::clicked, this, [this] { cmdRemove_Click(); });
    connect(cmdClientsSave, &QPushButton::clicked, this, [this] { cmdClientsSave_Click(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(cmdUsersSave, &QPushButton::clicked, this, [this] { cmdUsersSave_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });

    connect(mReloadDSN, &QAction::triggered, this, [this] { mReloadDSN_Click(); });
    connect(mSave, &QAction::triggered, this, [this] { mSave_Click(); });
    connect(mExit, &QAction::triggered, this, [this] { mExit_Click(); });
    connect(mAbout, &QAction::triggered, this, [this] { mAbout_Click(); });
}

bool Main::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonPress && watched == m_selectOnPress) {
        // The click that brought the focus: swallowed so that it does not put the cursor
        // where it landed and undo the selection.
        m_selectOnPress = nullptr;
        return true;
    }
    if (type != QEvent::FocusIn && type != QEvent::FocusOut)
        return QMainWindow::eventFilter(watched, event);

    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    // A message box, the menu or another window taking the focus is not the operator
    // moving between the window's controls.
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
        return QMainWindow::eventFilter(watched, event);

    const int password = indexOf(txtPassword, watched);
    const int username = indexOf(txtUsername, watched);
    const int files = indexOf(txtFiles, watched);
    if (type == QEvent::FocusIn) {
        if (password >= 0)
            txtPassword_GotFocus(password);
        if (username >= 0)
            txtUsername_GotFocus(username);
        if (reason == Qt::MouseFocusReason && (password >= 0 || username >= 0)) {
            auto* box = static_cast<QWidget*>(watched);
            m_selectOnPress = box;
            // Only the press being delivered now may be swallowed.
            QTimer::singleShot(0, this, [this, box] {
                if (m_selectOnPress == box)
                    m_selectOnPress = nullptr;
            });
        }
    } else {
        if (m_selectOnPress == watched)
            m_selectOnPress = nullptr;
        if (username >= 0)
            txtUsername_LostFocus(username);
        if (files >= 0)
            txtFiles_LostFocus(files);
        if (password >= 0) {
            // Run once the focus has settled on its new control: the rule shows a modal box
            // and moves the focus itself, which must not happen in the middle of a move.
            QMetaObject::invokeMethod(
                this, [this, password] { txtPassword_LostFocus(password); }, Qt::QueuedConnection);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// Rules that only mark the window as changed.
void Main::chkDebug_Click(int) { SetDirty(); }
void Main::chkIgnoreCase_Click() { SetDirty(); }
void Main::chkReqSecret_Click() { SetDirty(); }
void Main::chkMalformed_Click() { SetDirty(); }
void Main::chkOptions_Click(int) { SetDirty(); }
void Main::chkSNMP_Click(int) { SetDirty(); }
void Main::cbDSN_Change(int) { SetDirty(); }
void Main::cbDSN_Click(int) { SetDirty(); }
void Main::cbIPAddress_Click() { SetDirty(); }
void Main::txtAuthPort_Change() { SetDirty(); }
void Main::txtAcctPort_Change() { SetDirty(); }
void Main::txtFiles_Change(int) { SetDirty(); }
void Main::txtLogFile_Change(int) { SetDirty(); }
void Main::txtCheckDB_Change() { SetDirty(); }
void Main::txtUsername_Change(int) { SetDirty(); }

void Main::chkTrimName_Click(int Index) {
    SetDirty();
    if (Index == 0) {
        const bool trim = Value(chkTrimName[0]) != 0;
        chkTrimName[1]->setHidden(!trim);
        chkTrimName[2]->setHidden(!trim);
    }
}

void Main::chkMode_Click(int Index) {
    SetDirty();
    if (Index == 1) {
        const bool odbc = Value(chkMode[1]) != 0;
        tabMain->setTabEnabled(TabOdbcDsn, odbc);
        tabMain->setTabEnabled(TabAdvanced, odbc);
    }
    chkMode[2]->setHidden(!(Value(chkMode[0]) == 0 && Value(chkMode[1]) == 1));
    if (!chkMode[2]->isHidden())
        chkMode[3]->setHidden(Value(chkMode[2]) == 0);
    else
        chkMode[3]->setHidden(true);
}

void Main::chkProxy_Click(int Index) {
    SetDirty();
    auto p = [this](int k) { return Value(chkProxy[k]); };
    switch (Index) {
    case 0:
        chkProxy[1]->setHidden(p(0) == 0);
        chkProxy[3]->setHidden(p(0) == 0);
        chkProxy[2]->setHidden(p(0) * p(1) == 0);
        chkProxy[4]->setHidden(p(0) * p(3) == 0);
        break;
    case 1: chkProxy[2]->setHidden(p(1) == 0); break;
    case 3: chkProxy[4]->setHidden(p(3) == 0); break;
    default: break;
    }
}

void Main::chkDiffAcct_Click() {
    SetDirty();
    frmAcct->setHidden(Value(chkDiffAcct) == 0);
}

void Main::txtPassword_Change(int Index) {
    SetDirty();
    if (Index >= 2)
        cmdCheck[1]->setEnabled(txtPassword[3]->text() == txtPassword[2]->text());
    else
        cmdCheck[0]->setEnabled(txtPassword[1]->text() == txtPassword[0]->text());
}

void Main::txtPassword_LostFocus(int Index) {
    // Leaving a verify box: 1 checks the authentication pair, 3 the accounting pair.
    if (Index != 1 && Index != 3)
        return;
    QLineEdit* entered = txtPassword[Index - 1];
    QLineEdit* verify = txtPassword[Index];
    if (entered->text().isEmpty() || verify->text().isEmpty() || entered->text() == verify->text())
        return;
    // The pair's page comes back to the front first: the operator may be on the way to
    // another tab, and must see the emptied boxes, or a save would store an empty password
    // unnoticed.
    tabMain->setCurrentIndex(TabOdbcDsn);
    MessageBox::show(this, QStringLiteral("The Passwords do not match.  Please try Aagain"));
    entered->clear();
    verify->clear();
    entered->setFocus();
}

void Main::txtPassword_GotFocus(int Index) { selectWholeText(txtPassword[Index]); }
void Main::txtUsername_GotFocus(int Index) { selectWholeText(txtUsername[Index]); }

namespace {
// Only a text that changes is put back: setting a box's text moves its cursor.
void trimBox(QLineEdit* box) {
    const QString trimmed = trimSpaces(box->text());
    if (trimmed != box->text()) {
        box->setText(trimmed);
        box->setCursorPosition(0);
    }
}
}  // namespace

void Main::txtUsername_LostFocus(int Index) { trimBox(txtUsername[Index]); }
void Main::txtFiles_LostFocus(int Index) { trimBox(txtFiles[Index]); }

}  // namespace norvane
