// The machine's data sources as the window lists and checks them, through the driver
// manager: under Wine, Wine's odbc32 hands the calls to this machine's unixODBC and its
// SQLite driver. The data source is the odbc_fixture's, set up before the process started.
#include "Main.h"
#include "MessageBox.h"
#include "support/TestEnv.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

using namespace norvane;

TEST(EditorDataSources, ListedAndCheckedThroughTheDriverManager) {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("ODBCSYSINI")) << "run through ctest, after editor_odbc_fixture";
    test::TestEnv env;
    MessageBox::setTestMode(true);
    MessageBox::takeShown();
    Main main;
    main.show();
    Main::SetValue(main.chkMode[1], 1);  // the "ODBC DSN" tab can be used
    main.tabMain->setCurrentIndex(Main::TabOdbcDsn);

    for (QComboBox* list : main.cbDSN) {
        ASSERT_EQ(list->count(), 1);
        EXPECT_EQ(list->itemText(0), "NorvaneAccounts");
    }
    main.cbDSN[0]->setCurrentIndex(0);
    QTest::keyClicks(main.txtPassword[0], "pw");
    QTest::keyClicks(main.txtPassword[1], "pw");
    ASSERT_TRUE(main.cmdCheck[0]->isEnabled());
    QTest::mouseClick(main.cmdCheck[0], Qt::LeftButton);
    const auto shown = MessageBox::takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, "Check Connection Succeeded. (3 MBRs, 5 SAs)") << shown[0].detailedText.toStdString();
}
