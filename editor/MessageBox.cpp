#include "MessageBox.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

#include <deque>
#include <utility>

namespace norvane::MessageBox {

namespace {

bool testMode = false;
std::deque<Answer> queued;
QList<Shown> shown;
std::function<void(const Shown&)> onShow;

QMessageBox::Icon boxIcon(Icon icon) {
    switch (icon) {
    case Icon::Question: return QMessageBox::Question;
    case Icon::Warning: return QMessageBox::Warning;
    case Icon::Critical: return QMessageBox::Critical;
    case Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

Answer show(QWidget* parent, const QString& text, const QString& title, Buttons buttons, Icon icon,
            const QString& detailedText) {
    if (testMode || !queued.empty()) {
        shown.append({text, title, detailedText, buttons, icon});
        if (onShow)
            onShow(shown.back());
        if (!queued.empty()) {
            const Answer answer = queued.front();
            queued.pop_front();
            return answer;
        }
        return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
    }

    // A box is centred over its parent window; over a window not shown yet (a message of the
    // start-up load) that would be the screen's corner, so it is centred on the screen.
    QWidget* over = parent && parent->window()->isVisible() ? parent : nullptr;
    QMessageBox box(boxIcon(icon), title, text,
                    buttons == Buttons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, over);
    box.setWindowModality(Qt::ApplicationModal);
    box.setTextFormat(Qt::PlainText);
    if (!detailedText.isEmpty())
        box.setDetailedText(detailedText);
    // A box sized for its text alone can be narrower than its title bar needs ("Save
    // Changes?" under "Norvane Administrator"): leave room for the title, in the bold face
    // title bars commonly use, and for the bar's own buttons.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        QFont titleFont = QApplication::font();
        titleFont.setBold(true);
        const int titleWidth = QFontMetrics(titleFont).horizontalAdvance(title) + 140;
        grid->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Fixed, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                      grid->columnCount());
    }
    const int result = box.exec();
    if (buttons == Buttons::YesNo)
        return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
    return Answer::Ok;
}

void setTestMode(bool on) { testMode = on; }

void answerNext(Answer answer) { queued.push_back(answer); }

QList<Shown> takeShown() { return std::exchange(shown, {}); }

void setOnShow(std::function<void(const Shown&)> observer) { onShow = std::move(observer); }

}  // namespace norvane::MessageBox
