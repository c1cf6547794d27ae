#pragma once
// The busy pointer is the top-level window's own cursor, never an application-wide
// override: a message box opened meanwhile is a window of its own and keeps its arrow.
// Uses nest, counted per window; when the last ends the window gets back the pointer it
// had before the first.

#include <QPointer>
#include <QWidget>

namespace norvane::ui {

// Starts (busy) or ends one use on the window of the widget; an end without a start does
// nothing.
void SetBusy(QWidget* widget, bool busy);

// One use for the guard's life, ended on every path out.
class BusyCursor {
public:
    // Now: the window system shows the pointer before the work starts, without taking the
    // operator's input meanwhile. Later: it shows when the event loop next runs.
    enum class Show { Later, Now };

    // A null widget makes a guard that does nothing, for work that may be too short to show it.
    explicit BusyCursor(QWidget* widget, Show show = Show::Later);
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    QPointer<QWidget> m_window;
};

}  // namespace norvane::ui
