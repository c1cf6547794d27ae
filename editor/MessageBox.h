#pragma once
// Every message box of the program goes through here, so tests can answer them in
// advance and read what was shown instead of a modal box blocking the test.

#include <QList>
#include <QString>

#include <functional>

class QWidget;

namespace norvane::MessageBox {

enum class Buttons { Ok, YesNo };
enum class Icon { None, Question, Warning, Critical };
enum class Answer { Ok, Yes, No };

// The application's title, shown where a box gives no title of its own.
inline const QString AppTitle = QStringLiteral("Norvane Admin");

Answer show(QWidget* parent, const QString& text, const QString& title = AppTitle, Buttons buttons = Buttons::Ok,
            Icon icon = Icon::None, const QString& detailedText = {});

// Test side. While answers are queued (or test mode is on) no real box is shown: the
// next queued answer is returned (Ok, or No for a Yes/No box, when the queue is empty).
struct Shown {
    QString text, title, detailedText;
    Buttons buttons;
    Icon icon;
};
void setTestMode(bool on);
void answerNext(Answer answer);
QList<Shown> takeShown();
// Called as each box would be shown, while the program waits for its answer.
void setOnShow(std::function<void(const Shown&)> observer);

}  // namespace norvane::MessageBox
