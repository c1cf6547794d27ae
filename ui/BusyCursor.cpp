#include "BusyCursor.h"

#include <QCoreApplication>
#include <QCursor>
#include <QVariant>

namespace norvane::ui {

namespace {

// Kept on the window itself, so they go with it.
constexpr char DepthProperty[] = "norvaneBusyDepth";
constexpr char PreviousProperty[] = "norvaneBusyPrevious";  // the window's own cursor, if it had one

}  // namespace

void SetBusy(QWidget* widget, bool busy) {
    if (!widget)
        return;
    QWidget* window = widget->window();
    const int depth = window->property(DepthProperty).toInt();
    if (busy) {
        if (depth == 0) {
            window->setProperty(PreviousProperty, window->testAttribute(Qt::WA_SetCursor)
                                                      ? QVariant::fromValue(window->cursor())
                                                      : QVariant());
            window->setCursor(Qt::WaitCursor);
        }
        window->setProperty(DepthProperty, depth + 1);
        return;
    }
    if (depth > 1) {
        window->setProperty(DepthProperty, depth - 1);
    } else if (depth == 1) {
        const QVariant previous = window->property(PreviousProperty);
        window->setProperty(DepthProperty, QVariant());
        window->setProperty(PreviousProperty, QVariant());
        if (previous.isValid())
            window->setCursor(previous.value<QCursor>());
        else
            window->unsetCursor();
    }
}

BusyCursor::BusyCursor(QWidget* widget, Show show) : m_window(widget ? widget->window() : nullptr) {
    SetBusy(m_window, true);
    if (m_window && show == Show::Now)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

BusyCursor::~BusyCursor() { SetBusy(m_window, false); }

}  // namespace norvane::ui
