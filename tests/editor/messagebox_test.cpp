// The message-box wrapper: answers given in advance, what was shown, and the real box.
#include "MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <gtest/gtest.h>

namespace norvane::test {
namespace {

TEST(GuiMessageBox, AnswersInAdvanceAndRecordsWhatWasShown) {
    MessageBox::setTestMode(true);
    MessageBox::takeShown();
    EXPECT_EQ(MessageBox::show(nullptr, "Saved"), MessageBox::Answer::Ok);
    EXPECT_EQ(MessageBox::show(nullptr, "Save Changes?", "Norvane Administrator", MessageBox::Buttons::YesNo,
                               MessageBox::Icon::Question),
              MessageBox::Answer::No);
    MessageBox::answerNext(MessageBox::Answer::Yes);
    MessageBox::answerNext(MessageBox::Answer::No);
    EXPECT_EQ(MessageBox::show(nullptr, "first", "t", MessageBox::Buttons::YesNo), MessageBox::Answer::Yes);
    EXPECT_EQ(MessageBox::show(nullptr, "second", "t", MessageBox::Buttons::YesNo, MessageBox::Icon::Critical, "why"),
              MessageBox::Answer::No);

    const QList<MessageBox::Shown> shown = MessageBox::takeShown();
    ASSERT_EQ(shown.size(), 4);
    EXPECT_EQ(shown[0].text, "Saved");
    EXPECT_EQ(shown[0].title, MessageBox::AppTitle);
    EXPECT_EQ(shown[0].buttons, MessageBox::Buttons::Ok);
    EXPECT_EQ(shown[0].icon, MessageBox::Icon::None);
    EXPECT_EQ(shown[1].title, "Norvane Administrator");
    EXPECT_EQ(shown[1].buttons, MessageBox::Buttons::YesNo);
    EXPECT_EQ(shown[1].icon, MessageBox::Icon::Question);
    EXPECT_EQ(shown[3].text, "second");
    EXPECT_EQ(shown[3].icon, MessageBox::Icon::Critical);
    EXPECT_EQ(shown[3].detailedText, "why");
    EXPECT_TRUE(MessageBox::takeShown().isEmpty());

    // Queued answers are used even outside test mode, and no real box appears.
    MessageBox::setTestMode(false);
    MessageBox::answerNext(MessageBox::Answer::Yes);
    EXPECT_EQ(MessageBox::show(nullptr, "queued", "t", MessageBox::Buttons::YesNo), MessageBox::Answer::Yes);
    EXPECT_EQ(MessageBox::takeShown().size(), 1);
    MessageBox::setTestMode(true);
}

TEST(GuiMessageBox, ShowsAModalBoxAndReturnsTheAnswer) {
    MessageBox::setTestMode(false);
    MessageBox::takeShown();
    QString title, text, detail;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    bool modal = false;
    int width = 0;
    // Reads the box once it is up, then answers it.
    QTimer answer;
    answer.setInterval(20);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        answer.stop();
        title = box->windowTitle();
        text = box->text();
        detail = box->detailedText();
        icon = box->icon();
        buttons = box->standardButtons();
        modal = box->isModal();
        width = box->width();
        box->button(QMessageBox::Yes)->click();
    });
    answer.start();
    const MessageBox::Answer result = MessageBox::show(nullptr, "Save Changes?", "Norvane Administrator",
                                                       MessageBox::Buttons::YesNo, MessageBox::Icon::Question);
    EXPECT_EQ(result, MessageBox::Answer::Yes);
    EXPECT_EQ(title, "Norvane Administrator");
    EXPECT_EQ(text, "Save Changes?");
    EXPECT_TRUE(detail.isEmpty());
    EXPECT_EQ(icon, QMessageBox::Question);
    EXPECT_EQ(buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(modal);
    // Wide enough for its whole title beside a title bar's three buttons.
    QFont bold = QApplication::font();
    bold.setBold(true);
    EXPECT_GE(width, QFontMetrics(bold).horizontalAdvance("Norvane Administrator") + 3 * 24);
    EXPECT_TRUE(MessageBox::takeShown().isEmpty());  // a real box is not a recorded one

    // An OK box with no icon, over a window not shown yet as at start-up: centred on the
    // screen, not in its corner.
    QWidget notShown;
    QPoint centre;
    answer.disconnect();
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        answer.stop();
        buttons = box->standardButtons();
        icon = box->icon();
        title = box->windowTitle();
        detail = box->detailedText();
        centre = box->frameGeometry().center();
        box->button(QMessageBox::Ok)->click();
    });
    answer.start();
    EXPECT_EQ(MessageBox::show(&notShown, "Check Connection failed", MessageBox::AppTitle, MessageBox::Buttons::Ok,
                               MessageBox::Icon::None, "more"),
              MessageBox::Answer::Ok);
    EXPECT_EQ(detail, "more");
    EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(icon, QMessageBox::NoIcon);
    EXPECT_EQ(title, MessageBox::AppTitle);
    const QPoint screen = QApplication::primaryScreen()->availableGeometry().center();
#ifdef _WIN32
    // Wine, with no window manager to draw it, learns of the frame only after the box is placed.
    const int slack = 48;
#else
    const int slack = 4;
#endif
    EXPECT_LE((centre - screen).manhattanLength(), slack) << centre.x() << "," << centre.y();
    MessageBox::setTestMode(true);
}

}  // namespace
}  // namespace norvane::test
