// Tab switching, the connection check, the service buttons, the two file editors and
// the About window.
#include "Main.h"

#include "About.h"
#include "BusyCursor.h"
#include "ConnectionCheck.h"
#include "MessageBox.h"
#include "ServiceControl.h"
#include "TextFileEditor.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

namespace norvane {

QString Main::ClientsPath() const { return txtFiles[0]->text() + QStringLiteral("\\Clients"); }

QString Main::UsersPath() const { return txtFiles[0]->text() + QStringLiteral("\\") + txtFiles[2]->text(); }

void Main::tabMain_Click(int PreviousTab) {
    const int current = tabMain->currentIndex();
    if (current == PreviousTab)
        return;
    if (current == TabServiceControl) {
        // Looked for on every visit: the executable may come or go while we run.
        const bool present = ServiceControl::ExecutablePresent(m_programDirectory);
        cmdInstall->setEnabled(present);
        cmdRemove->setEnabled(present);
        lblNotFound->setHidden(present);
        // The notice says "the same directory"; which one that is, once links are resolved:
        lblNotFound->setToolTip(tr("%1 is looked for in %2")
                                    .arg(ServiceControl::ExecutableName, QDir::toNativeSeparators(m_programDirectory)));
    } else if (current == TabClients && rtbClients->FileName().isEmpty()) {
        LoadEditor(rtbClients, NativeFilePath(ClientsPath()));
        rtbClients->Refresh();
    } else if (current == TabUsers && rtbUsers->FileName().isEmpty()) {
        LoadEditor(rtbUsers, NativeFilePath(UsersPath()));
        rtbUsers->Refresh();
    }
}

void Main::cmdCheck_Click(int Index) {
    // Busy from before the connection opens until the answer has been read; the message
    // box is a window of its own and keeps the normal arrow meanwhile.
    const ui::BusyCursor busy(this);
    rdcCorvex.dataSourceName = cbDSN[Index]->currentText();
    rdcCorvex.userName = txtUsername[Index]->text();
    rdcCorvex.password = txtPassword[Index * 2]->text();
    rdcCorvex.sql = QStringLiteral("Select Count(*) From MasterAccounts");
    const CheckResult result = CheckConnection(rdcCorvex.dataSourceName, rdcCorvex.userName, rdcCorvex.password);
    if (result.ok) {
        rdcCorvex.sql.clear();
        MessageBox::show(this, QStringLiteral("Check Connection Succeeded. (%1 MBRs, %2 SAs)")
                                   .arg(result.masterAccounts)
                                   .arg(result.subAccounts));
    } else {
        MessageBox::show(this, QStringLiteral("Check Connection failed"), MessageBox::AppTitle, MessageBox::Buttons::Ok,
                         MessageBox::Icon::None, result.error);
    }
}

void Main::cmdInstall_Click() {
    QString error;
    if (!ServiceControl::Start(m_programDirectory, QStringLiteral("-install"), &error))
        MessageBox::show(this, tr("%1 could not be started: %2").arg(ServiceControl::ExecutableName, error));
    SetDirty();
}

void Main::cmdRemove_Click() {
    QString error;
    if (!ServiceControl::Start(m_programDirectory, QStringLiteral("-remove"), &error))
        MessageBox::show(this, tr("%1 could not be started: %2").arg(ServiceControl::ExecutableName, error));
}

void Main::ShowFileSaveError(const QString& description, const QString& file, const QString& lookedFor) {
    // The platform's words alone ("No such file or directory") do not say which file, nor,
    // when nothing was ever loaded into the editor, what to do about it.
    const QString shown = file.isEmpty() && !lookedFor.isEmpty() ? NativeFilePath(lookedFor) : file;
    QString detail = shown.isEmpty() ? QString() : tr("File: %1").arg(shown);
    if (!lookedFor.isEmpty() && txtFiles[0]->text().isEmpty())
        detail =
            tr("Nothing was loaded into this editor: the \"Data Directory:\" box on the \"Configuration\" tab "
               "is empty. Enter the server's data directory, then press \"&Reload\".");
    else if (!lookedFor.isEmpty())
        detail +=
            tr("\nNothing was loaded into this editor: the file could not be read when it was looked for. "
               "Create it (an empty file will do), then press \"&Reload\".");
    MessageBox::show(this, description, MessageBox::AppTitle, MessageBox::Buttons::Ok, MessageBox::Icon::None, detail);
}

void Main::LoadEditor(TextFileEditor* editor, const QString& path) {
    // A file that is missing or unreadable passes in silence; one refused for its size or
    // for who could change where it leads is named.
    if (!editor->LoadFile(path) && !editor->LoadRefusal().isEmpty())
        MessageBox::show(this, editor->LoadRefusal());
}

void Main::SaveEditor(TextFileEditor* editor, const QString& lookedFor) {
    QString error;
    QString file;
    if (editor->SaveFile(editor->FileName(), &error, &file))
        return;
    if (editor->SaveFoundChange()) {
        const auto answer = MessageBox::show(
            this,
            tr("%1\n\nSave your text over it anyway? Yes writes your text, and the other change is lost. No saves "
               "nothing: \"Reload\" then shows the file as it is now, in place of your edits.")
                .arg(error),
            MessageBox::AppTitle, MessageBox::Buttons::YesNo, MessageBox::Icon::Warning);
        if (answer != MessageBox::Answer::Yes ||
            editor->SaveFile(editor->FileName(), &error, &file, TextFileEditor::IfChanged::Overwrite))
            return;
    }
    ShowFileSaveError(error, file, editor->FileName().isEmpty() ? lookedFor : QString());
}

void Main::cmdClientsSave_Click() { SaveEditor(rtbClients, ClientsPath()); }

void Main::Command1_Click() { LoadEditor(rtbClients, NativeFilePath(ClientsPath())); }

void Main::cmdUsersSave_Click() { SaveEditor(rtbUsers, UsersPath()); }

void Main::Command2_Click() { LoadEditor(rtbUsers, NativeFilePath(UsersPath())); }

void Main::mAbout_Click() {
    // Closed from its title bar it is gone; the next Help > About makes a new one.
    if (!m_about)
        m_about = new About(this);
    m_about->exec();
}

}  // namespace norvane
