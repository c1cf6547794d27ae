// Start-up load, the save of every setting, and how the window closes.
#include "Main.h"

#include "LocalIPs.h"
#include "MessageBox.h"
#include "ODBC32.h"
#include "Registry.h"
#include "Settings.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QStringList>
#include <QTabWidget>

namespace norvane {
namespace {

// Settings travel as the system's 8-bit text.
std::string Bytes(const QString& text) { return text.toLocal8Bit().toStdString(); }
QString Text(const std::string& bytes) { return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size())); }

std::string Read(const char* name) { return Registry::ReadString("", name); }

void ReportRegistryFault(const std::string& description) { MessageBox::show(nullptr, Text(description)); }

// Adds names to an editable combo's list without touching the text it shows: the first
// item added to an empty list would otherwise replace it.
void AppendKeepingText(QComboBox* box, const QString& name) {
    QSignalBlocker quiet(box);
    const QString shown = box->currentText();
    box->addItem(name);
    box->setCurrentIndex(-1);
    box->setEditText(shown);
}

}  // namespace

void Main::Form_Load() {
    using namespace Settings;
    Registry::SetFaultReporter(ReportRegistryFault);
    Registry::SetBaseKey(Settings::Root, Settings::KeyPath);

    if (LoadIgnoreCase(Read("IgnoreCase")))
        SetValue(chkIgnoreCase, 1);

    if (auto trim = LoadTrimName(Read("TrimName"))) {
        if (trim->spaces)
            SetValue(chkTrimName[1], 1);
        if (trim->domains)
            SetValue(chkTrimName[2], 1);
    }
    SetValue(chkTrimName[0], (Value(chkTrimName[1]) == 1 || Value(chkTrimName[2]) == 1) ? 1 : 0);

    if (auto port = LoadPort(Read("AuthPort")))
        txtAuthPort->setText(Text(*port));
    if (LoadReqAcctAuth(Read("ReqAcctAuth")))
        SetValue(chkReqSecret, 1);
    if (LoadAllowMalformed(Read("AllowMalformed")))
        SetValue(chkMalformed, 1);
    if (auto port = LoadPort(Read("AcctPort")))
        txtAcctPort->setText(Text(*port));

    if (auto mode = LoadMode(Read("Mode")))
        for (std::size_t i = 0; i < mode->size(); ++i)
            if ((*mode)[i])
                SetValue(chkMode[i], 1);
    if (auto proxy = LoadProxy(Read("Proxy")))
        for (std::size_t i = 0; i < proxy->size(); ++i)
            if ((*proxy)[i])
                SetValue(chkProxy[i], 1);
    if (auto snmp = LoadSnmp(Read("SNMP")))
        for (std::size_t i = 0; i < snmp->size(); ++i)
            if ((*snmp)[i])
                SetValue(chkSNMP[i], 1);
    if (auto options = LoadOptions(Read("Options")))
        for (std::size_t i = 0; i < options->size(); ++i)
            if ((*options)[i])
                SetValue(chkOptions[i], 1);
    SetValue(chkOptions[4], 0);
    if (auto debug = LoadDebug(Read("Debug")))
        for (std::size_t i = 0; i < debug->size(); ++i)
            if ((*debug)[i])
                SetValue(chkDebug[i], 1);

    txtLogFile[0]->setText(Text(Read("LogFile")));
    txtLogFile[1]->setText(Text(Read("AcctLogFile")));
    cbDSN[0]->setEditText(Text(Read("ODBCDatasource")));
    txtUsername[0]->setText(Text(Read("UserName")));
    const QString password = Text(Read("Password"));
    txtPassword[0]->setText(password);
    txtPassword[1]->setText(password);
    cbDSN[1]->setEditText(Text(Read("AcctODBCDatasource")));
    txtUsername[1]->setText(Text(Read("AcctUserName")));
    const QString acctPassword = Text(Read("AcctPassword"));
    txtPassword[2]->setText(acctPassword);
    txtPassword[3]->setText(acctPassword);

    const bool differentAccounting = cbDSN[1]->currentText().size() > 1;
    frmAcct->setHidden(!differentAccounting);
    SetValue(chkDiffAcct, differentAccounting ? 1 : 0);

    txtCheckDB->setText(Text(Read("TestDatabaseSecs")));
    txtFiles[0]->setText(Text(Read("DataDirectory")));
    txtFiles[1]->setText(Text(Read("AcctDirectory")));
    txtFiles[2]->setText(Text(Read("UsersFile")));

    if (ODBC32::AllocEnv() == 0)
        ListDataSources(DsnFill::StartUp);

    LoadIPs(Text(Read("IPAddress")));

    const bool odbc = Value(chkMode[1]) == 1;
    tabMain->setTabEnabled(TabOdbcDsn, odbc);
    tabMain->setTabEnabled(TabAdvanced, odbc);
    tabMain->setTabEnabled(TabCache, false);
    tabMain->setCurrentIndex(TabConfiguration);

    m_dirty = false;
}

void Main::ListDataSources(DsnFill mode) {
    ODBC32::Fetched fetched = ODBC32::FetchDataSource(ODBC32::SQL_FETCH_FIRST);
    auto more = [](const ODBC32::Fetched& f) { return f.rc == 0 || f.rc == 1; };
    if (mode == DsnFill::Reload) {
        if (!more(fetched))
            return;
        // The lists are replaced whole; the names the operator sees stay.
        for (QComboBox* box : cbDSN) {
            QSignalBlocker quiet(box);
            const QString shown = box->currentText();
            box->clear();
            box->setEditText(shown);
        }
    }
    while (more(fetched)) {
        const QString name = Text(fetched.name);
        AppendKeepingText(cbDSN[0], name);
        AppendKeepingText(cbDSN[1], name);
        fetched = ODBC32::FetchDataSource(ODBC32::SQL_FETCH_NEXT);
    }
}

void Main::mReloadDSN_Click() { ListDataSources(DsnFill::Reload); }

void Main::LoadIPs(const QString& savedIP) {
    cbIPAddress->clear();
    cbIPAddress->addItem(QStringLiteral("All"));
    cbIPAddress->setCurrentIndex(0);
#ifdef _WIN32
    const std::vector<std::string> addresses = LocalIPs::FromRegistry();
#else
    const std::vector<std::string> addresses = LocalIPs::FromInterfaces();
#endif
    for (const std::string& address : addresses) {
        const QString item = Text(address);
        cbIPAddress->addItem(item);
        if (item == savedIP)
            cbIPAddress->setCurrentIndex(cbIPAddress->count() - 1);
    }
}

bool Main::SaveAll() {
    using namespace Settings;
    Registry::SetBaseKey(Settings::Root, Settings::KeyPath);
    // One transaction: the server never reads half a save.
    const bool batch = Registry::BeginBatch() == 0;

    QStringList failed;
    QString reason;
    auto write = [&](const char* name, const std::string& text) {
        if (Registry::WriteString("", name, text) != 0) {
            failed << QString::fromLatin1(name);
            if (reason.isEmpty())
                reason = Text(Registry::LastErrorText());
        }
    };
    auto shown = [](const QCheckBox* box) { return Box{Value(box), !box->isHidden()}; };
    auto orDefault = [](const QString& text, const char* fallback) {
        return text.isEmpty() ? std::string(fallback) : Bytes(text);
    };

    write("IgnoreCase", Value(chkIgnoreCase) != 0 ? "3" : "0");
    if (auto port = SavePort(Bytes(txtAuthPort->text())))
        write("AuthPort", *port);
    write("ReqAcctAuth", std::to_string(Value(chkReqSecret)));
    write("AllowMalformed", std::to_string(Value(chkMalformed)));
    write("TrimName", SaveTrimName(shown(chkTrimName[1]), shown(chkTrimName[2])));
    if (auto port = SavePort(Bytes(txtAcctPort->text())))
        write("AcctPort", *port);
    write("Mode", SaveMode(shown(chkMode[0]), shown(chkMode[1]), shown(chkMode[2]), shown(chkMode[3])));
    std::array<int, 6> proxy{};
    for (std::size_t i = 0; i < proxy.size(); ++i)
        proxy[i] = Value(chkProxy[i]);
    write("Proxy", SaveProxy(proxy));
    std::array<int, 14> options{};
    for (std::size_t i = 0; i < options.size(); ++i)
        options[i] = Value(chkOptions[i]);
    write("Options", SaveOptions(options));
    write("SNMP", SaveSnmp(Value(chkSNMP[0]), Value(chkSNMP[1])));
    std::array<int, 4> debug{};
    for (std::size_t i = 0; i < debug.size(); ++i)
        debug[i] = Value(chkDebug[i]);
    write("Debug", SaveDebug(debug));
    write("LogFile", Bytes(txtLogFile[0]->text()));
    write("AcctLogFile", Bytes(txtLogFile[1]->text()));
    write("ODBCDatasource", orDefault(cbDSN[0]->currentText(), "Corvex"));
    write("Username", Bytes(txtUsername[0]->text()));
    write("Password", Bytes(txtPassword[0]->text()));
    const bool differentAccounting = Value(chkDiffAcct) == 1;
    write("AcctODBCDatasource", differentAccounting ? orDefault(cbDSN[1]->currentText(), "Corvex") : std::string());
    write("AcctUsername", differentAccounting ? Bytes(txtUsername[1]->text()) : std::string());
    write("AcctPassword", differentAccounting ? Bytes(txtPassword[2]->text()) : std::string());
    write("TestDatabaseSecs", Bytes(txtCheckDB->text()));
    write("DataDirectory", Bytes(txtFiles[0]->text()));
    write("AcctDirectory", Bytes(txtFiles[1]->text()));
    write("UsersFile", orDefault(txtFiles[2]->text(), "Users"));
    write("IPAddress", Bytes(cbIPAddress->currentText()));

    bool whole = failed.isEmpty();
    if (batch) {
        if (whole && Registry::CommitBatch() != 0) {
            whole = false;
            reason = Text(Registry::LastErrorText());
        }
        if (!whole) {
            Registry::RollbackBatch();
            // The batch went back whole: nothing of this save is stored.
            failed.clear();
            for (const Definition& d : Table)
                failed << QString::fromLatin1(d.saveName);
        }
    }
    if (!whole) {
        MessageBox::show(this,
                         tr("The settings were not saved.\n\nNot saved: %1\n\nReason: %2")
                             .arg(failed.join(QStringLiteral(", ")),
                                  reason.isEmpty() ? tr("the settings store refused the write") : reason),
                         MessageBox::AppTitle, MessageBox::Buttons::Ok, MessageBox::Icon::Critical);
        return false;
    }
    m_dirty = false;
    return true;
}

void Main::mSave_Click() {
    if (SaveAll())
        MessageBox::show(this, QStringLiteral("Norvane Configuration Saved"), QStringLiteral("Norvane Admin"));
}

void Main::mExit_Click() {
    // Ends at once: no prompt, nothing written.
    m_exiting = true;
    close();
    QCoreApplication::exit(0);
}

bool Main::Form_Unload() {
    SetValue(chkTrimName[0], 1);
    if (m_dirty) {
        auto answer = MessageBox::show(this, QStringLiteral("Save Changes?"), QStringLiteral("Norvane Administrator"),
                                       MessageBox::Buttons::YesNo, MessageBox::Icon::Question);
        // A save that failed keeps the window open, so the edits are not lost.
        if (answer == MessageBox::Answer::Yes && !SaveAll())
            return false;
    }
    // Freed only once the window really goes, so a refused close leaves the lists working.
    if (ODBC32::hEnv() != 0)
        ODBC32::FreeEnv();
    return true;
}

void Main::closeEvent(QCloseEvent* event) {
    if (m_exiting || Form_Unload()) {
        event->accept();
        QCoreApplication::quit();
    } else {
        event->ignore();
    }
}

}  // namespace norvane
