// Every store call of a save failing in turn: the window says so and the store keeps the
// previous save whole; a save that says it succeeded stored everything.
#include "Main.h"
#include "MessageBox.h"
#include "Registry.h"
#include "Settings.h"
#include "SqliteStore.h"
#include "support/FaultyStore.h"
#include "support/Window.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

using namespace norvane;

namespace {

// What is committed under the settings key, read over a connection of its own.
std::map<std::string, std::string> Stored(const QString& file) {
    SqliteStore store(file.toStdString());
    return test::TestEnv::StoredBytes(store);
}

// The store file as it was saved before, under a store that fails its failAt-th call.
test::FaultyStore& UseFaultyStore(const QString& file, const QString& before, int failAt) {
    Registry::UseStore(nullptr);
    QFile::remove(file);
    EXPECT_TRUE(QFile::copy(before, file));
    auto store = std::make_unique<test::FaultyStore>(std::make_unique<SqliteStore>(file.toStdString()), failAt);
    test::FaultyStore& faulty = *store;
    Registry::UseStore(std::move(store));
    return faulty;
}

}  // namespace

TEST(ReliabilitySaveFaults, EveryFailingStepIsReportedAndKeepsThePreviousSave) {
    test::Window w;
    Main& main = *w.main;
    main.txtLogFile[0]->setText("/var/log/corvex.log");
    main.txtAuthPort->setText("1812");
    ASSERT_TRUE(main.SaveAll());
    const QString file = w.env.storePath(), before = w.env.path("before.db");
    Registry::UseStore(nullptr);
    ASSERT_TRUE(QFile::copy(file, before));
    const auto old = Stored(file);

    // Something new in every box, the accounting frame's values included.
    for (QLineEdit* box : main.findChildren<QLineEdit*>())
        box->setText(box == main.txtAuthPort || box == main.txtAcctPort ? "1645" : box->objectName() + " new");
    main.chkDiffAcct->setChecked(true);
    test::FaultyStore& counting = UseFaultyStore(file, before, 0);
    ASSERT_TRUE(main.SaveAll());
    const int calls = counting.calls();
    const auto saved = Stored(file);
    ASSERT_NE(saved, old);
    MessageBox::takeShown();

    int failed = 0;
    for (int n = 1; n <= calls + 1; ++n) {
        test::FaultyStore& store = UseFaultyStore(file, before, n);
        const bool ok = main.SaveAll();
        const auto shown = MessageBox::takeShown();
        if (!store.faulted()) {
            EXPECT_EQ(n, calls + 1);
            EXPECT_TRUE(ok);
            EXPECT_EQ(Stored(file), saved);
            break;
        }
        // A failure that does not matter (closing a key) may still end in success.
        EXPECT_EQ(Stored(file), ok ? saved : old) << "call " << n;
        if (!ok) {
            ++failed;
            ASSERT_EQ(shown.size(), 1) << "call " << n;
            EXPECT_EQ(shown[0].icon, MessageBox::Icon::Critical);
            EXPECT_TRUE(shown[0].text.contains("injected fault")) << shown[0].text.toStdString();
            // Nothing of the failed save is left open: the same window saves again.
            EXPECT_TRUE(main.SaveAll()) << "call " << n;
            EXPECT_EQ(Stored(file), saved) << "call " << n;
        }
    }
    // At least each of the values' writes failed once.
    EXPECT_GT(failed, static_cast<int>(saved.size()));
}
