// The About window: its controls, the version caption, and hiding against closing.
#include "About.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using norvane::About;

TEST(About, VersionCaption) {
    EXPECT_EQ(About::VersionCaption(2, 5, 7), "Version: 2.5.7");
    EXPECT_EQ(About::VersionCaption(2, 5, 267), "Version: 2.5.267");
    EXPECT_EQ(About::VersionCaption(10, 0, 0), "Version: 10.0.0");

    // The window shows the version the build was made with.
    auto* about = new About;
    EXPECT_EQ(about->lblVersion->text(), QStringLiteral("Version: ") + QStringLiteral(NORVANE_PROJECT_VERSION));
    EXPECT_EQ(about->lblVersion->text(), "Version: 2.5.267");
    delete about;
}

TEST(About, ControlsAndLayout) {
    About about;
    EXPECT_EQ(about.objectName(), "About");
    EXPECT_EQ(about.windowTitle(), "About Norvane");
    // 6270 x 2400 twips, 15 twips to a pixel, and not resizable.
    EXPECT_EQ(about.size(), QSize(418, 160));
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    EXPECT_EQ(about.palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_TRUE(about.autoFillBackground());

    struct Expected {
        const char* name;
        QRect twips;
        QString caption;
        QString family;
        qreal points;
        bool bold;
    };
    const Expected labels[] = {
        {"Label1", {120, 120, 6015, 615}, "Norvane Administrator", "Liberation Serif", 27.75, true},
        {"lblVersion", {480, 840, 1575, 255}, "Version: 2.5.267", "Liberation Serif", 9.75, true},
        {"Label4", {3360, 840, 2655, 255}, {}, "Liberation Sans", 8.25, false},
        {"Label3", {120, 1320, 3015, 375}, {}, "Liberation Sans", 8.25, false},
        {"Label5", {3240, 1320, 2655, 495}, {}, "Liberation Sans", 8.25, true},
    };
    for (const Expected& e : labels) {
        SCOPED_TRACE(e.name);
        auto* label = about.findChild<QLabel*>(QLatin1String(e.name));
        ASSERT_NE(label, nullptr);
        const QRect px(qRound(e.twips.x() / 15.0), qRound(e.twips.y() / 15.0), qRound(e.twips.width() / 15.0),
                       qRound(e.twips.height() / 15.0));
        EXPECT_EQ(label->geometry(), px);
        if (!e.caption.isEmpty()) {
            EXPECT_EQ(label->text(), e.caption);
        } else {
            EXPECT_FALSE(label->text().trimmed().isEmpty());
        }
        EXPECT_EQ(label->font().family(), e.family);
        EXPECT_DOUBLE_EQ(label->font().pointSizeF(), e.points);
        EXPECT_EQ(label->font().bold(), e.bold);
        EXPECT_FALSE(label->autoFillBackground());
    }
    auto* label1 = about.findChild<QLabel*>("Label1");
    EXPECT_EQ(label1->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_TRUE(label1->alignment() & Qt::AlignHCenter);
    for (const char* name : {"Label3", "Label5"}) {
        auto* label = about.findChild<QLabel*>(name);
        EXPECT_TRUE(label->alignment() & Qt::AlignHCenter) << name;
        EXPECT_TRUE(label->wordWrap()) << name;
        // The notices are written to take two lines in their boxes.
        const int lines = label->heightForWidth(label->width()) / label->fontMetrics().lineSpacing();
        EXPECT_EQ(lines, 2) << name;
    }
    EXPECT_TRUE(about.findChild<QLabel*>("Label4")->text().contains("Norvane"));
    EXPECT_TRUE(about.findChild<QLabel*>("Label3")->text().contains("All rights reserved"));

    auto* ok = about.findChild<QPushButton*>("cmdOK");
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok, about.cmdOK);
    EXPECT_EQ(ok->text(), "&OK");
    EXPECT_EQ(ok->geometry(), QRect(176, 128, 65, 22));
}

TEST(About, OkHidesAndTitleBarCloseDestroys) {
    QPointer<About> about = new About;
    // Shown modally, OK ends the modal loop by hiding the window.
    QTimer::singleShot(0, about, [about] {
        ASSERT_TRUE(about->isVisible());
        EXPECT_TRUE(about->isModal());
        QTest::mouseClick(about->cmdOK, Qt::LeftButton);
    });
    about->exec();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(about.isNull());
    EXPECT_FALSE(about->isVisible());

    // Shown again, it is the same window with the same caption.
    QTimer::singleShot(0, about, [about] { QTest::mouseClick(about->cmdOK, Qt::LeftButton); });
    about->exec();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(about.isNull());
    EXPECT_EQ(about->lblVersion->text(), "Version: 2.5.267");

    // Closing it from the title bar while it is shown modally ends the window.
    QTimer::singleShot(0, about, [about] { about->close(); });
    about->exec();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(about.isNull());

    // Likewise when shown without a modal loop.
    QPointer<About> second = new About;
    second->show();
    QTest::mouseClick(second->cmdOK, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(second.isNull());
    EXPECT_TRUE(second->isHidden());
    second->show();
    EXPECT_TRUE(second->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(second.isNull());
}
