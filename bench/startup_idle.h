#pragma once
// Where both start-up programs stop: at the first idle point after the window is shown,
// that is the first time the event loop is about to wait once the window has been painted.
// The process ends right there, so neither program's teardown is counted and its peak
// memory is the peak up to that point.

#include <QAbstractEventDispatcher>
#include <QEvent>
#include <QObject>
#include <QWidget>

#include <cstdlib>

namespace norvane::bench {

class EndAtFirstIdle : public QObject {
public:
    explicit EndAtFirstIdle(QWidget* window) {
        window->installEventFilter(this);
        connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this, [this] {
            if (m_painted)
                std::_Exit(0);
        });
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            m_painted = true;
        return false;
    }

private:
    bool m_painted = false;
};

}  // namespace norvane::bench
