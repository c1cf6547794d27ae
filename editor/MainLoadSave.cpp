// Start-up load, the save of every setting, and how the window closes.
#include "Main.h"

#include "FileText.h"

#include "BusyCursor.h"
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
#include <QPointer>
#include <QSignalBlocker>
#include <QStringList>
#include <QTabWidget>

#include <algorithm>
#include <vector>

namespace norvane {
namespace {

// Settings travel as the system's 8-bit text.
std::string Bytes(const QString& text) { return text.toLocal8Bit().toStdString(); }
QString Text(const std::string& bytes) {
    return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// A box the program filled shows the beginning of its text, as an operator reads a path.
void ShowStart(QLineEdit* box) { box->setCursorPosition(0); }

void ReportRegistryFault(const std::string& description) { MessageBox::show(nullptr, Text(description)); }

// Adds names to an editable combo's list without touching the text it shows: the first
// item added to an empty list would otherwise replace it.
void AppendKeepingText(QComboBox* box, const QString& name) {
    QSignalBlocker quiet(box);
    const QString shown = box->currentText();
    box->addItem(name);
    box->setCurrentIndex(-1);
    box->setEditText(shown);
    ShowStart(box->lineEdit());
}

}  // namespace

// Stored bytes as the window shows them: the system's text, or, for bytes that are not
// (a value written on a Windows machine in its code page), Latin-1, which keeps every byte.
Main::LoadedText Main::Loaded(std::string bytes) {
    const QString text = Text(bytes);
    if (Bytes(text) == bytes)
        return {text, std::move(bytes), false};
    return {QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size())), std::move(bytes), true};
}

QString Main::LoadText(Settings::Setting setting) {
    LoadedText loaded = Loaded(Settings::Read(setting));
    const QString shown = loaded.shown;
    m_loadedTexts[setting] = std::move(loaded);
    return shown;
}

std::optional<std::string> Main::TextToStore(Settings::Setting setting, const QString& text, QString& why) const {
    // A text the operator left as it was loaded goes back as the bytes it was read from.
    const auto it = m_loadedTexts.find(setting);
#ifdef _WIN32
    // The registry's 8-bit text is the ANSI code page, which would store a character it
    // lacks as a question mark.
    if (!CanEncodeFileText(text, FileEncoding::Latin1)) {
        why = tr("The setting %1 holds characters that the %2 does not have; they would be stored as question "
                 "marks. Type those characters differently.")
                  .arg(QString::fromLatin1(Settings::Row(setting).name), EightBitCharacterSet());
        return std::nullopt;
    }
#endif
    if (it == m_loadedTexts.end() || !it->second.latin1)
        return Bytes(text);
    const LoadedText& loaded = it->second;
    if (loaded.shown == text)
        return loaded.bytes;
    // The characters the edit left as they were keep their bytes: Latin-1 while any of them
    // is not ASCII, where Latin-1 and the system's text differ.
    qsizetype prefix = 0;
    while (prefix < text.size() && prefix < loaded.shown.size() && text[prefix] == loaded.shown[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < text.size() - prefix && suffix < loaded.shown.size() - prefix &&
           text[text.size() - 1 - suffix] == loaded.shown[loaded.shown.size() - 1 - suffix])
        ++suffix;
    const QString kept = text.left(prefix) + text.right(suffix);
    if (std::all_of(kept.begin(), kept.end(), [](QChar c) { return c.unicode() < 0x80; }))
        return Bytes(text);
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0xFF; }))
        return text.toLatin1().toStdString();
    // The text itself is not repeated: it may be a password.
    why = tr("The setting %1 is stored in Latin-1, and the new text holds characters Latin-1 does not have; "
             "storing it in this system's encoding would change the characters left as they were. Type those "
             "characters differently, or replace the whole text.")
              .arg(QString::fromLatin1(Settings::Row(setting).name));
    return std::nullopt;
}

void Main::Form_Load() {
    using namespace Settings;
    Registry::SetFaultReporter(ReportRegistryFault);
    // A store held by another process makes the load or a save wait: the window says so.
    Registry::SetWaitNotifier([window = QPointer<Main>(this)](bool waiting) { ui::SetBusy(window, waiting); });
    Registry::SetBaseKey(Settings::Root, Settings::KeyPath);
    m_loadedTexts.clear();

    // One read transaction: every value comes from one save, and a store that another
    // process holds is waited for once, not once for every value.
    const std::int32_t readStatus = Registry::BeginRead();
    m_storeUnread = readStatus != Status::Success && readStatus != Status::FileNotFound;
    if (m_storeUnread) {
        m_storeProblem = Text(Registry::LastErrorText());
        if (m_storeProblem.isEmpty())
            m_storeProblem = tr("The settings store %1 cannot be read.").arg(Text(Registry::StoreLocation()));
        MessageBox::show(
            this,
            tr("The stored settings could not be read, so the window shows none of them.\n\n%1").arg(m_storeProblem),
            MessageBox::AppTitle, MessageBox::Buttons::Ok, MessageBox::Icon::Warning);
    }

    if (LoadIgnoreCase(Read(Setting::IgnoreCase)))
        SetValue(chkIgnoreCase, 1);

    if (auto trim = LoadTrimName(Read(Setting::TrimName))) {
        if (trim->spaces)
            SetValue(chkTrimName[1], 1);
        if (trim->domains)
            SetValue(chkTrimName[2], 1);
    }
    SetValue(chkTrimName[0], (Value(chkTrimName[1]) == 1 || Value(chkTrimName[2]) == 1) ? 1 : 0);

    if (auto port = LoadPort(Read(Setting::AuthPort)))
        txtAuthPort->setText(Text(*port));
    if (LoadReqAcctAuth(Read(Setting::ReqAcctAuth)))
        SetValue(chkReqSecret, 1);
    if (LoadAllowMalformed(Read(Setting::AllowMalformed)))
        SetValue(chkMalformed, 1);
    if (auto port = LoadPort(Read(Setting::AcctPort)))
        txtAcctPort->setText(Text(*port));

    if (auto mode = LoadMode(Read(Setting::Mode)))
        for (std::size_t i = 0; i < mode->size(); ++i)
            if ((*mode)[i])
                SetValue(chkMode[i], 1);
    if (auto proxy = LoadProxy(Read(Setting::Proxy)))
        for (std::size_t i = 0; i < proxy->size(); ++i)
            if ((*proxy)[i])
                SetValue(chkProxy[i], 1);
    if (auto snmp = LoadSnmp(Read(Setting::SNMP)))
        for (std::size_t i = 0; i < snmp->size(); ++i)
            if ((*snmp)[i])
                SetValue(chkSNMP[i], 1);
    if (auto options = LoadOptions(Read(Setting::Options)))
        for (std::size_t i = 0; i < options->size(); ++i)
            if ((*options)[i])
                SetValue(chkOptions[i], 1);
    SetValue(chkOptions[4], 0);
    if (auto debug = LoadDebug(Read(Setting::Debug)))
        for (std::size_t i = 0; i < debug->size(); ++i)
            if ((*debug)[i])
                SetValue(chkDebug[i], 1);

    txtLogFile[0]->setText(LoadText(Setting::LogFile));
    txtLogFile[1]->setText(LoadText(Setting::AcctLogFile));
    cbDSN[0]->setEditText(LoadText(Setting::ODBCDatasource));
    txtUsername[0]->setText(LoadText(Setting::UserName));
    const QString password = LoadText(Setting::Password);
    txtPassword[0]->setText(password);
    txtPassword[1]->setText(password);
    cbDSN[1]->setEditText(LoadText(Setting::AcctODBCDatasource));
    txtUsername[1]->setText(LoadText(Setting::AcctUserName));
    const QString acctPassword = LoadText(Setting::AcctPassword);
    txtPassword[2]->setText(acctPassword);
    txtPassword[3]->setText(acctPassword);

    const bool differentAccounting = cbDSN[1]->currentText().size() > 1;
    frmAcct->setHidden(!differentAccounting);
    SetValue(chkDiffAcct, differentAccounting ? 1 : 0);

    txtCheckDB->setText(LoadText(Setting::TestDatabaseSecs));
    txtFiles[0]->setText(LoadText(Setting::DataDirectory));
    txtFiles[1]->setText(LoadText(Setting::AcctDirectory));
    txtFiles[2]->setText(LoadText(Setting::UsersFile));
    // Read with the others, inside the one transaction; the list is filled below.
    const QString savedIP = LoadText(Setting::IPAddress);
    Registry::EndRead();

    for (QLineEdit* box : findChildren<QLineEdit*>())
        ShowStart(box);

    if (ODBC32::AllocEnv() == 0)
        ListDataSources(DsnFill::StartUp);

    LoadIPs(savedIP);

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
            ShowStart(box->lineEdit());
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
    const std::vector<std::string> addresses = LocalIPs::ForThisMachine();
    for (const std::string& address : addresses) {
        const QString item = Text(address);
        cbIPAddress->addItem(item);
        if (item == savedIP)
            cbIPAddress->setCurrentIndex(cbIPAddress->count() - 1);
    }
}

bool Main::SaveAll() {
    using namespace Settings;
    if (m_storeUnread) {
        // The window shows defaults, not what is stored: saving replaces the stored values.
        const auto answer = MessageBox::show(
            this,
            tr("The stored settings could not be read when the window opened, so the window does not show "
               "them:\n\n%1\n\nSaving now replaces every stored setting with what the window shows. Save anyway?")
                .arg(m_storeProblem),
            MessageBox::AppTitle, MessageBox::Buttons::YesNo, MessageBox::Icon::Warning);
        if (answer != MessageBox::Answer::Yes)
            return false;
    }

    Registry::SetBaseKey(Settings::Root, Settings::KeyPath);
    const QString location = Text(Registry::StoreLocation());
    auto report = [&](const QString& what, const QString& why) {
        QString text = what;
        if (!location.isEmpty())
            text += tr("\n\nSettings store: %1").arg(location);
        text += tr("\n\nReason: %1").arg(why.isEmpty() ? tr("the settings store refused the write") : why);
        MessageBox::show(this, text, MessageBox::AppTitle, MessageBox::Buttons::Ok, MessageBox::Icon::Critical);
        return false;
    };
    bool failed = false;
    QString reason;
    // Every value is made before the first is written: a text that cannot be stored stops
    // the save before the store is touched (the Windows registry has no transactions).
    std::vector<std::pair<Setting, std::string>> values;
    // What this save stores for each text the operator sees, for the next save's comparison.
    std::map<Setting, LoadedText> written;
    auto write = [&](Setting setting, const std::string& text) { values.emplace_back(setting, text); };
    // An empty box stores its setting's stand-in where the table gives one.
    auto writeText = [&](Setting setting, const QString& text) {
        if (text.isEmpty() && Row(setting).whenEmpty) {
            write(setting, Row(setting).whenEmpty);
            return;
        }
        QString why;
        std::optional<std::string> bytes = TextToStore(setting, text, why);
        if (!bytes) {
            failed = true;
            if (reason.isEmpty())
                reason = why;
            return;
        }
        write(setting, *bytes);
        written[setting] = {text, *bytes, Loaded(*bytes).latin1};
    };
    auto shown = [](const QCheckBox* box) { return Box{Value(box), !box->isHidden()}; };

    write(Setting::IgnoreCase, Value(chkIgnoreCase) != 0 ? "3" : "0");
    if (auto port = SavePort(Bytes(txtAuthPort->text())))
        write(Setting::AuthPort, *port);
    write(Setting::ReqAcctAuth, std::to_string(Value(chkReqSecret)));
    write(Setting::AllowMalformed, std::to_string(Value(chkMalformed)));
    write(Setting::TrimName, SaveTrimName(shown(chkTrimName[1]), shown(chkTrimName[2])));
    if (auto port = SavePort(Bytes(txtAcctPort->text())))
        write(Setting::AcctPort, *port);
    write(Setting::Mode, SaveMode(shown(chkMode[0]), shown(chkMode[1]), shown(chkMode[2]), shown(chkMode[3])));
    std::array<int, 6> proxy{};
    for (std::size_t i = 0; i < proxy.size(); ++i)
        proxy[i] = Value(chkProxy[i]);
    write(Setting::Proxy, SaveProxy(proxy));
    std::array<int, 14> options{};
    for (std::size_t i = 0; i < options.size(); ++i)
        options[i] = Value(chkOptions[i]);
    write(Setting::Options, SaveOptions(options));
    write(Setting::SNMP, SaveSnmp(Value(chkSNMP[0]), Value(chkSNMP[1])));
    std::array<int, 4> debug{};
    for (std::size_t i = 0; i < debug.size(); ++i)
        debug[i] = Value(chkDebug[i]);
    write(Setting::Debug, SaveDebug(debug));
    writeText(Setting::LogFile, txtLogFile[0]->text());
    writeText(Setting::AcctLogFile, txtLogFile[1]->text());
    writeText(Setting::ODBCDatasource, cbDSN[0]->currentText());
    writeText(Setting::UserName, txtUsername[0]->text());
    writeText(Setting::Password, txtPassword[0]->text());
    if (Value(chkDiffAcct) == 1) {
        writeText(Setting::AcctODBCDatasource, cbDSN[1]->currentText());
        writeText(Setting::AcctUserName, txtUsername[1]->text());
        writeText(Setting::AcctPassword, txtPassword[2]->text());
    } else {
        write(Setting::AcctODBCDatasource, "");
        write(Setting::AcctUserName, "");
        write(Setting::AcctPassword, "");
    }
    writeText(Setting::TestDatabaseSecs, txtCheckDB->text());
    writeText(Setting::DataDirectory, txtFiles[0]->text());
    writeText(Setting::AcctDirectory, txtFiles[1]->text());
    writeText(Setting::UsersFile, txtFiles[2]->text());
    writeText(Setting::IPAddress, cbIPAddress->currentText());
    if (failed)
        return report(tr("The settings were not saved."), reason);

    // One transaction or nothing: the server never reads half a save, and a store that
    // cannot start one (held by another process past the wait) gets no value at all.
    if (Registry::BeginBatch() != 0)
        return report(tr("The settings were not saved."), Text(Registry::LastErrorText()));
    for (const auto& [setting, text] : values) {
        if (Write(setting, text) != 0) {
            failed = true;
            reason = Text(Registry::LastErrorText());
            break;
        }
    }
    if (!failed && Registry::CommitBatch() != 0) {
        failed = true;
        reason = Text(Registry::LastErrorText());
    }
    if (failed) {
        // The batch goes back whole: nothing of this save is stored.
        Registry::RollbackBatch();
        return report(tr("The settings were not saved."), reason);
    }
    m_loadedTexts = std::move(written);
    m_storeUnread = false;
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
