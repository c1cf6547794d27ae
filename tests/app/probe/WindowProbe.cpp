// A Qt generic plugin for tests, never installed: loaded into a real norvane-admin
// (QT_QPA_GENERIC_PLUGINS=norvaneprobe), it waits for the main window, optionally brings
// the tab NORVANE_PROBE_TAB to the front, prints the program's directory and the controls
// named in NORVANE_PROBE, and ends the process.
//   dir: <applicationDirPath>
//   <name>: <text of a line edit or combo box> | enabled|disabled,shown|hidden | missing
// A message box that comes up instead is printed as "message: <text>" (exit status 3);
// no window within 60 seconds gives exit status 4.

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGenericPlugin>
#include <QLineEdit>
#include <QMessageBox>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void Finish(const QString& text, int status) {
    std::fputs(qPrintable(text), stdout);
    std::fflush(stdout);
    // The window's own shutdown is not what is probed.
    std::_Exit(status);
}

QString Describe(const QWidget* w) {
    if (const auto* edit = qobject_cast<const QLineEdit*>(w))
        return edit->text();
    if (const auto* combo = qobject_cast<const QComboBox*>(w))
        return combo->currentText();
    return QString::fromLatin1(w->isEnabled() ? "enabled" : "disabled") + (w->isHidden() ? ",hidden" : ",shown");
}

class Probe : public QObject {
public:
    Probe() {
        m_clock.start();
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this] { look(); });
        timer->start(50);
    }

private:
    void look() {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(top); box && box->isVisible())
                Finish(QStringLiteral("message: %1\n").arg(box->text()), 3);
        }
        QWidget* main = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->objectName() == QLatin1String("Main") && top->isVisible())
                main = top;
        if (!main) {
            if (m_clock.elapsed() > 60000)
                Finish(QStringLiteral("no main window\n"), 4);
            return;
        }
        const QString tab = qEnvironmentVariable("NORVANE_PROBE_TAB");
        if (auto* tabs = main->findChild<QTabWidget*>(QStringLiteral("tabMain")); tabs && !tab.isEmpty())
            for (int i = 0; i < tabs->count(); ++i)
                if (tabs->tabText(i).remove(QLatin1Char('&')) == tab)
                    tabs->setCurrentIndex(i);
        QString out = QStringLiteral("dir: %1\n").arg(QCoreApplication::applicationDirPath());
        for (const QString& name : qEnvironmentVariable("NORVANE_PROBE").split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QWidget* w = main->findChild<QWidget*>(name);
            out += QStringLiteral("%1: %2\n").arg(name, w ? Describe(w) : QStringLiteral("missing"));
        }
        Finish(out, 0);
    }

    QElapsedTimer m_clock;
};

class ProbePlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "probe.json")

public:
    QObject* create(const QString&, const QString&) override { return new Probe; }
};

}  // namespace

#include "WindowProbe.moc"
