#include "MessageBox.h"

#include <QMessageBox>

#include <deque>
#include <utility>

namespace norvane::MessageBox {

namespace {

bool testMode = false;
std::deque<Answer> queued;
QList<Shown> shown;

QMessageBox::Icon boxIcon(Icon icon) {
    switch (icon) {
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::Critical:
        return QMessageBox::Critical;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

Answer show(QWidget* parent, const QString& text, const QString& title, Buttons buttons, Icon icon,
            const QString& detailedText) {
    if (testMode || !queued.empty()) {
        shown.append({text, title, detailedText, buttons, icon});
        if (!queued.empty()) {
            const Answer answer = queued.front();
            queued.pop_front();
            return answer;
        }
        return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
    }

    QMessageBox box(boxIcon(icon), title, text,
                    buttons == Buttons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.setTextFormat(Qt::PlainText);
    if (!detailedText.isEmpty())
        box.setDetailedText(detailedText);
    const int result = box.exec();
    if (buttons == Buttons::YesNo)
        return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
    return Answer::Ok;
}

void setTestMode(bool on) { testMode = on; }

void answerNext(Answer answer) { queued.push_back(answer); }

QList<Shown> takeShown() { return std::exchange(shown, {}); }

}  // namespace norvane::MessageBox
