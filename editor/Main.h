#pragma once
// The main window: every server setting in named controls on seven tabs, the rules that
// keep them consistent, and the commands of the File and Help menus.

#include "Settings.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <array>
#include <map>
#include <optional>
#include <string>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace norvane {

class About;
class TextFileEditor;

class Main : public QMainWindow {
    Q_OBJECT

public:
    // Tabs of tabMain, left to right.
    enum Tab { TabConfiguration = 0, TabOdbcDsn, TabAdvanced, TabCache, TabServiceControl, TabClients, TabUsers };
    enum class DsnFill { StartUp, Reload };

    explicit Main(QWidget* parent = nullptr);
    ~Main() override;

    bool DirtyFlag() const { return m_dirty; }

    // The directory in which the server executable is looked for; the running program's
    // own directory unless a test points it elsewhere.
    QString programDirectory() const { return m_programDirectory; }
    void setProgramDirectory(const QString& directory) { m_programDirectory = directory; }

    // Check box Value as the settings see it: 0 unchecked, 1 checked, 2 grayed.
    static int Value(const QCheckBox* box);
    static void SetValue(QCheckBox* box, int value);

    // Start-up load; the constructor runs it once before the window is shown.
    void Form_Load();
    // Writes every setting in one batch. True when every value was stored; otherwise the
    // operator has been told what was not saved and DirtyFlag stays set.
    bool SaveAll();
    void LoadIPs(const QString& savedIP);
    void ListDataSources(DsnFill mode);

    // Rules that keep the controls consistent.
    void chkMode_Click(int Index);
    void chkDebug_Click(int Index);
    void chkIgnoreCase_Click();
    void chkReqSecret_Click();
    void chkMalformed_Click();
    void chkTrimName_Click(int Index);
    void chkDiffAcct_Click();
    void chkOptions_Click(int Index);
    void chkProxy_Click(int Index);
    void chkSNMP_Click(int Index);
    void cbDSN_Change(int Index);
    void cbDSN_Click(int Index);
    void cbIPAddress_Click();
    void txtAuthPort_Change();
    void txtAcctPort_Change();
    void txtFiles_Change(int Index);
    void txtLogFile_Change(int Index);
    void txtCheckDB_Change();
    void txtUsername_Change(int Index);
    void txtPassword_Change(int Index);
    void txtUsername_GotFocus(int Index);
    void txtPassword_GotFocus(int Index);
    void txtUsername_LostFocus(int Index);
    void txtPassword_LostFocus(int Index);
    void txtFiles_LostFocus(int Index);

    // Tabs, tools and files.
    void tabMain_Click(int PreviousTab);
    void cmdCheck_Click(int Index);
    void cmdInstall_Click();
    void cmdRemove_Click();
    void cmdClientsSave_Click();
    void Command1_Click();
    void cmdUsersSave_Click();
    void Command2_Click();

    // Menus.
    void mReloadDSN_Click();
    void mSave_Click();
    void mExit_Click();
    void mAbout_Click();

    // Paths of the two server files as the boxes stand now.
    QString ClientsPath() const;
    QString UsersPath() const;

    // Controls the logic uses; every control is also found by its objectName.
    QLabel* Label1 = nullptr;
    QTabWidget* tabMain = nullptr;
    std::array<QCheckBox*, 4> chkMode{};
    std::array<QCheckBox*, 4> chkDebug{};
    QCheckBox* chkIgnoreCase = nullptr;
    QCheckBox* chkReqSecret = nullptr;
    QCheckBox* chkMalformed = nullptr;
    std::array<QCheckBox*, 3> chkTrimName{};
    QLineEdit* txtAuthPort = nullptr;
    QLineEdit* txtAcctPort = nullptr;
    std::array<QLineEdit*, 2> txtLogFile{};
    std::array<QLineEdit*, 3> txtFiles{};
    QComboBox* cbIPAddress = nullptr;
    QGroupBox* frmAuth = nullptr;
    QGroupBox* frmAcct = nullptr;
    std::array<QComboBox*, 2> cbDSN{};
    std::array<QLineEdit*, 2> txtUsername{};
    std::array<QLineEdit*, 4> txtPassword{};
    std::array<QPushButton*, 2> cmdCheck{};
    QCheckBox* chkDiffAcct = nullptr;
    std::array<QCheckBox*, 14> chkOptions{};
    QLineEdit* txtCheckDB = nullptr;
    std::array<QCheckBox*, 6> chkProxy{};
    std::array<QCheckBox*, 2> chkSNMP{};
    QPushButton* cmdInstall = nullptr;
    QPushButton* cmdRemove = nullptr;
    QLabel* lblNotFound = nullptr;
    TextFileEditor* rtbClients = nullptr;
    TextFileEditor* rtbUsers = nullptr;
    QPushButton* cmdClientsSave = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* cmdUsersSave = nullptr;
    QPushButton* Command2 = nullptr;
    QAction* mFile = nullptr;
    QAction* mReloadDSN = nullptr;
    QAction* mDiv1 = nullptr;
    QAction* mSave = nullptr;
    QAction* mExit = nullptr;
    QAction* mHelp = nullptr;
    QAction* mAbout = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();    // MainLayout.cpp
    void connectEvents();  // MainRules.cpp
    void SetDirty() { m_dirty = true; }
    // Closing the window: the unload rules; false when the close must not go ahead.
    bool Form_Unload();
    // lookedFor: the path built from the boxes when nothing has been loaded into the editor.
    void ShowFileSaveError(const QString& description, const QString& file, const QString& lookedFor);
    // A file editor's load, telling the operator why a file is refused; its save, asking
    // before another's change on disk is written over.
    void LoadEditor(TextFileEditor* editor, const QString& path);
    void SaveEditor(TextFileEditor* editor, const QString& lookedFor);

    // A text setting as the load read it: the stored bytes and the text shown for them.
    struct LoadedText {
        QString shown;
        std::string bytes;
        bool latin1 = false;  // the bytes are not the system's text; shown as Latin-1
    };
    static LoadedText Loaded(std::string bytes);
    QString LoadText(Settings::Setting setting);
    // The bytes a save stores for a box's text: the loaded bytes while the text is unedited.
    // Nullopt, with the reason in why, when an edit cannot be stored without changing bytes
    // the operator did not touch.
    std::optional<std::string> TextToStore(Settings::Setting setting, const QString& text, QString& why) const;
    std::map<Settings::Setting, LoadedText> m_loadedTexts;
    // The store could not be read when the window opened: the window shows defaults, and a
    // save would replace stored values the operator never saw.
    bool m_storeUnread = false;
    QString m_storeProblem;

    // A box that a mouse click has just entered: the click itself must not undo the
    // selection its GotFocus rule made.
    QWidget* m_selectOnPress = nullptr;

    bool m_dirty = false;
    bool m_loading = false;
    bool m_exiting = false;
    int m_previousTab = TabConfiguration;
    QString m_programDirectory;
    QPointer<About> m_about;  // null until first shown, and again once closed from its title bar
    // Remote-data control stand-in: what the last connection check was given.
    struct {
        QString dataSourceName, userName, password, sql;
    } rdcCorvex;
};

}  // namespace norvane
