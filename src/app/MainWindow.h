#pragma once

#include "app/WindowLayout.h"
#include "ftp/FtpClient.h"
#include "local/LocalPane.h"
#include "prefs/Options.h"
#include "prefs/Translator.h"
#include "session/SessionController.h"
#include "session/SessionLog.h"
#include "sites/SiteListController.h"

#include <QMainWindow>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QActionGroup;
class QComboBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QToolBar;
class QTreeView;
class Prompts;
class PaneViews;
class SiteListView;
class RemoteCommands;
class SessionNotice;
class QuickConnectBar;
class HelpWindow;
class TransferCommands;
namespace local {
class LocalPaneBinding;
}

// The main window and composition root: it owns the settings, the engine
// `ftp_`, the session log, the site list and the session controller, builds
// the frame around them and forwards its controls' events to them.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Every file of the program lives in `programFolder` (ending in "/").
    // `prompts` answers the logic's questions; null: the program's dialogs.
    explicit MainWindow(std::string programFolder, Prompts* prompts = nullptr,
                        QWidget* parent = nullptr);
    ~MainWindow() override;

    // The transfer type of the "Auto", "Ascii", "Binary" menu: 0, 1 or 2.
    enum TransferType { Auto = 0, Ascii = 1, Binary = 2 };
    int TransferTypeMode() const { return transferType_; }

    // --- the window's parts, for tests and the session's widgets
    QToolBar* ToolBar() const { return toolBar_; }
    QWidget* LocalPane() const { return localPanel_; }
    QWidget* RemotePane() const { return remotePanel_; }
    QPlainTextEdit* LogView() const { return logView_; }
    QSplitter* PaneSplitter() const { return paneSplitter_; }
    QSplitter* LogSplitter() const { return logSplitter_; }
    QComboBox* LocalPath() const { return localPath_; }
    QTreeView* LocalList() const { return localList_; }
    QTreeView* LocalTree() const { return localTree_; }
    QLabel* LocalStrip() const { return localStrip_; }
    local::LocalPane& Local() { return localPane_; }
    local::LocalPaneBinding* LocalCommands() const { return localBinding_; }
    QLabel* RemoteCaption() const { return remoteCaption_; }
    QLabel* StatusText() const { return statusText_; }
    // Above the right pane: why the last connect or session failed.
    SessionNotice* Notice() const { return notice_; }
    QComboBox* RemotePath() const { return remotePath_; }
    QTreeView* RemoteList() const { return remoteList_; }
    ::SiteListView* SiteListView() const { return siteView_; }
    // Page 0: the site list; page 1: the remote directory.
    QStackedWidget* RemoteStack() const { return remoteStack_; }
    PaneViews* LocalViews() const { return localViews_; }
    PaneViews* RemoteViews() const { return remoteViews_; }

    QAction* ConnectAction() const { return connectButton_; }
    QAction* DisconnectAction() const { return disconnectButton_; }
    QAction* StopAction() const { return stopButton_; }
    QAction* CompareAction() const { return compareItem_; }
    QMenu* RemotePopUp() const { return remotePopUp_; }

    FtpClient& Engine() { return ftp_; }
    Settings& CurrentSettings() { return settings_; }
    session::SessionController& Session() { return session_; }
    session::SessionLog& Log() { return log_; }
    SiteListController& Sites() { return sites_; }

    // --- handlers of the window's controls
    void ConnectToSelectedSite();
    void Disconnect() { session_.Disconnect(); }
    void StopTransfer() { session_.StopTransfer(); }
    void StartNewSession();
    // The quick-connect bar's "Connect" and "Save as site".
    void QuickConnect();
    void SaveQuickConnectSite();
    QuickConnectBar* QuickBar() const { return quickBar_; }
    void EditPreferences();
    void SetTransferType(int tag);
    // Help -> Contents, F1: the help page in its window.
    void ShowHelp();
    HelpWindow* Help() const { return help_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void LoadStartupState();
    // Pushes the options into the engine, the log, the window font and the
    // local folder: at start-up and after the preferences window.
    void ApplySettings();
    // "Do you want to quit the program?"; true for Yes.
    bool ConfirmQuit();
    void SaveOnQuit();
    // The window's size and place, splitters, columns and local folder, as
    // left at the last quit.
    void RestoreLayout();
    void KeepLayout();
    LayoutParts LayoutOfWindow();
    void TellOptionsNotSaved();
    void ShowServerListMode(bool serverList);
    void RefreshCommands();
    void ShowWaitCursor(bool wait);
    // The status bar and the title say where the session stands.
    void ShowSessionStatus();
    void ShowLocalFolder(const std::string& folder);
    void ChooseFont(QWidget* pane, StoredFont& stored);

    void BuildMenus();
    void BuildViewMenu(QMenu* menu, int pane);
    void SetViewStyle(int pane, int style);
    void BuildToolBar();
    QWidget* BuildLocalPane();
    // The menus of the panes' own commands, once both panes exist.
    void BuildPaneMenus();
    void FillRemoteMenu(QMenu* menu);
    // The remote pane's filter, "Select ..." and "Sorting" commands.
    void EditRemoteFilter();
    void SelectRemote(int command);
    void SortRemote(int column);
    // Selects the entries of both panes that the other side lacks.
    void CompareDirectories();
    QWidget* BuildRemotePane();
    QAction* AddCommand(QMenu* menu, const char* name, const QString& text,
                        void (MainWindow::*handler)());

    std::string programFolder_;
    Settings settings_;
    Translator language_;
    std::unique_ptr<Prompts> ownPrompts_;
    Prompts& prompts_;
    FtpClient ftp_;
    session::SessionLog log_;
    SiteListController sites_;
    session::SessionController session_;
    local::LocalPane localPane_;
    transfer::TransferQueue queue_;
    transfer::RemoteOperations operations_;
    int transferType_ = Auto;

    TransferCommands* transfers_ = nullptr;
    RemoteCommands* remote_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QAction* connectButton_ = nullptr;
    QAction* disconnectButton_ = nullptr;
    QAction* stopButton_ = nullptr;
    QAction* exitButton_ = nullptr;
    QAction* connectItem_ = nullptr;
    QAction* disconnectItem_ = nullptr;
    QAction* stopItem_ = nullptr;
    QAction* newSiteItem_ = nullptr;
    QAction* sitePropertiesItem_ = nullptr;
    QAction* preferencesItem_ = nullptr;
    QActionGroup* transferTypes_ = nullptr;
    QMenu* languageMenu_ = nullptr;

    QSplitter* logSplitter_ = nullptr;
    QSplitter* paneSplitter_ = nullptr;

    QWidget* localPanel_ = nullptr;
    QComboBox* localPath_ = nullptr;
    QTreeView* localList_ = nullptr;
    QTreeView* localTree_ = nullptr;
    QLabel* localStrip_ = nullptr;
    PaneViews* localViews_ = nullptr;
    local::LocalPaneBinding* localBinding_ = nullptr;

    QWidget* remotePanel_ = nullptr;
    QLabel* remoteCaption_ = nullptr;
    QPushButton* newSiteButton_ = nullptr;
    QPushButton* propertiesButton_ = nullptr;
    QPushButton* makeDirButton_ = nullptr;
    QPushButton* renameButton_ = nullptr;
    QPushButton* deleteButton_ = nullptr;
    QStackedWidget* remoteStack_ = nullptr;
    ::SiteListView* siteView_ = nullptr;
    QComboBox* remotePath_ = nullptr;
    QPushButton* upOneLevelButton_ = nullptr;
    QTreeView* remoteList_ = nullptr;
    PaneViews* remoteViews_ = nullptr;
    QMenu* remotePopUp_ = nullptr;
    QAction* compareItem_ = nullptr;
    std::vector<QAction*> remoteCommands_; // enabled while connected
    QLabel* summary_ = nullptr;
    QLabel* statusText_ = nullptr;
    SessionNotice* notice_ = nullptr;
    HelpWindow* help_ = nullptr;
    QuickConnectBar* quickBar_ = nullptr;

    QPlainTextEdit* logView_ = nullptr;
};
