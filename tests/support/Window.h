#pragma once
// The real main window over a private, empty settings store, with its message boxes
// answered in advance, for tests that drive it through its widgets.

#include "Main.h"
#include "MessageBox.h"
#include "ODBC32.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace norvane::test {

class Window {
public:
    Window() : m_oldSysIni(qgetenv("ODBCSYSINI")), m_oldIni(qgetenv("ODBCINI")) {
        // No data sources of the machine's: the lists start empty.
        qputenv("ODBCSYSINI", env.root().toLocal8Bit());
        qputenv("ODBCINI", env.path("odbc.ini").toLocal8Bit());
        MessageBox::setTestMode(true);
        MessageBox::takeShown();
        main = std::make_unique<Main>();
    }
    ~Window() {
        main.reset();
        if (ODBC32::hEnv() != 0)
            ODBC32::FreeEnv();
        MessageBox::takeShown();
        restore("ODBCSYSINI", m_oldSysIni);
        restore("ODBCINI", m_oldIni);
    }
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Shown and active, so that focus moves and events reach the controls.
    void show() {
        main->show();
        main->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(main.get(), ActivationWait));
    }

    template <class W = QWidget>
    W* get(const QString& name) const {
        W* widget = main->findChild<W*>(name);
        EXPECT_NE(widget, nullptr) << "no control " << name.toStdString();
        return widget;
    }

    TestEnv env;
    std::unique_ptr<Main> main;

private:
    static void restore(const char* name, const QByteArray& value) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    QByteArray m_oldSysIni, m_oldIni;
};

// A click on the box itself, as the operator makes it (the middle of a wide check box is
// beyond its caption and would not toggle it).
inline void click(QCheckBox* box) {
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, {}, indicator.center());
}

inline void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(4, widget->height() / 2)); }

// Lets queued rules run (the verification on leaving a password box).
inline void settle() {
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

}  // namespace norvane::test
