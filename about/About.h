#pragma once
// The About window: the program's name and version.

#include <QDialog>

class QLabel;
class QPushButton;

namespace norvane {

class About : public QDialog {
    Q_OBJECT

public:
    explicit About(QWidget* parent = nullptr);

    // "Version: major.minor.revision".
    static QString VersionCaption(int major, int minor, int revision);

    QLabel* lblVersion = nullptr;
    QPushButton* cmdOK = nullptr;

protected:
    // Closing from the title bar ends the window (it is deleted later); OK only hides it.
    void closeEvent(QCloseEvent* event) override;

private:
    void cmdOK_Click();
};

}  // namespace norvane
