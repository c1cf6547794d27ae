// Tabs, tools and file editors (being written).
#include "Main.h"

namespace norvane {

void Main::tabMain_Click(int) {}
void Main::cmdCheck_Click(int) {}
void Main::cmdInstall_Click() {}
void Main::cmdRemove_Click() {}
void Main::cmdClientsSave_Click() {}
void Main::Command1_Click() {}
void Main::cmdUsersSave_Click() {}
void Main::Command2_Click() {}
void Main::mAbout_Click() {}
QString Main::ClientsPath() const { return {}; }
QString Main::UsersPath() const { return {}; }
void Main::ShowFileSaveError(const QString&) {}

}  // namespace norvane
