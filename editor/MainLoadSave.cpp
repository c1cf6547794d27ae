// Start-up load, save and close (being written).
#include "Main.h"

namespace norvane {

void Main::Form_Load() {}
bool Main::SaveAll() { return true; }
void Main::LoadIPs(const QString&) {}
void Main::ListDataSources(DsnFill) {}
void Main::mReloadDSN_Click() {}
void Main::mSave_Click() {}
void Main::mExit_Click() {}
bool Main::Form_Unload() { return true; }
void Main::closeEvent(QCloseEvent*) {}

}  // namespace norvane
