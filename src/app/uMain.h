#pragma once

#include "ftp/Ftpcli.h"
#include "prefs/options.h"
#include "prefs/zelLanguage.h"
#include "session/SessionController.h"
#include "session/SessionLog.h"
#include "sites/SiteListController.h"

#include <QMainWindow>
#include <memory>
#include <string>

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
class TPaneViews;
class TSiteListView;

// The main window and composition root: it owns the settings, the engine
// `Ftp1`, the session log, the site list and the session controller, builds
// the frame around them and forwards its controls' events to them.
class T_Main : public QMainWindow {
    Q_OBJECT

public:
    // Every file of the program lives in `programFolder` (ending in "/").
    // `prompts` answers the logic's questions; null: the program's dialogs.
    explicit T_Main(std::string programFolder, Prompts* prompts = nullptr,
                    QWidget* parent = nullptr);
    ~T_Main() override;

    // The transfer type of the "Auto", "Ascii", "Binary" menu: 0, 1 or 2.
    enum TransferType { Auto = 0, Ascii = 1, Binary = 2 };
    int TransferTypeMode() const { return transferType_; }

    // --- the window's parts, for tests and the session's widgets
    QToolBar* toolBar() const { return ToolBar1; }
    QWidget* localPane() const { return LocalPanel; }
    QWidget* remotePane() const { return RemotePanel; }
    QPlainTextEdit* logView() const { return Log; }
    QSplitter* paneSplitter() const { return PaneSplitter; }
    QSplitter* logSplitter() const { return LogSplitter; }
    QComboBox* localPath() const { return LocalPath; }
    QTreeView* localList() const { return lvLoc; }
    QLabel* remoteCaption() const { return RemoteCaption; }
    QComboBox* remotePath() const { return FTPPath; }
    QTreeView* remoteList() const { return FTPView; }
    TSiteListView* siteListView() const { return SiteView; }
    // Page 0: the site list; page 1: the remote directory.
    QStackedWidget* remoteStack() const { return RemoteStack; }
    TPaneViews* localViews() const { return LocalViews; }
    TPaneViews* remoteViews() const { return RemoteViews; }

    QAction* connectAction() const { return sbConnect; }
    QAction* disconnectAction() const { return sbDisConnect; }
    QAction* stopAction() const { return sbStop; }

    TFtpClient& ftp() { return Ftp1; }
    TSettings& settings() { return settings_; }
    session::TSessionController& session() { return session_; }
    session::TSessionLog& sessionLog() { return log_; }
    TSiteListController& sites() { return sites_; }

    // --- handlers of the window's controls
    void sbConnectClick();
    void sbDisConnectClick() { session_.sbDisConnectClick(); }
    void sbStopClick() { session_.sbStopClick(); }
    void Spawnnewsession1Click();
    void Preferences1Click();
    void miAutoClick(int tag);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    // Pushes the options into the engine, the log, the window font and the
    // local folder: at start-up and after the preferences window.
    void ApplySettings();
    // "Do you want to quit the program?"; true for Yes.
    bool FormCloseQuery();
    void FormClose();
    void TellOptionsNotSaved();
    void ShowServerListMode(bool serverList);
    void RefreshCommands();
    void ShowWaitCursor(bool wait);
    void ShowLocalFolder();
    void ChooseFont(QWidget* pane, TPaneFont& stored);

    void buildMenus();
    void buildViewMenu(QMenu* menu, int pane);
    void SetViewStyle(int pane, int style);
    void buildToolBar();
    QWidget* buildLocalPane();
    QWidget* buildRemotePane();
    QAction* addCommand(QMenu* menu, const char* name, const QString& text,
                        void (T_Main::*handler)());

    std::string programFolder_;
    TSettings settings_;
    TzelLanguage language_;
    std::unique_ptr<Prompts> ownPrompts_;
    Prompts& prompts_;
    TFtpClient Ftp1;
    session::TSessionLog log_;
    TSiteListController sites_;
    session::TSessionController session_;
    int transferType_ = Auto;

    QToolBar* ToolBar1 = nullptr;
    QAction* sbConnect = nullptr;
    QAction* sbDisConnect = nullptr;
    QAction* sbStop = nullptr;
    QAction* sbExit = nullptr;
    QAction* miConnect = nullptr;
    QAction* miDisConnect = nullptr;
    QAction* miStop = nullptr;
    QAction* miNewServer = nullptr;
    QAction* miServerProperties = nullptr;
    QAction* Preferences1 = nullptr;
    QActionGroup* TransferTypes = nullptr;
    QMenu* Language1 = nullptr;

    QSplitter* LogSplitter = nullptr;
    QSplitter* PaneSplitter = nullptr;

    QWidget* LocalPanel = nullptr;
    QComboBox* LocalPath = nullptr;
    QTreeView* lvLoc = nullptr;
    TPaneViews* LocalViews = nullptr;

    QWidget* RemotePanel = nullptr;
    QLabel* RemoteCaption = nullptr;
    QPushButton* bbNewServer = nullptr;
    QPushButton* bbProperties = nullptr;
    QPushButton* bbMakeDir = nullptr;
    QPushButton* bbRename = nullptr;
    QPushButton* bbDelete = nullptr;
    QStackedWidget* RemoteStack = nullptr;
    TSiteListView* SiteView = nullptr;
    QComboBox* FTPPath = nullptr;
    QPushButton* FTPOneLevelUp = nullptr;
    QTreeView* FTPView = nullptr;
    TPaneViews* RemoteViews = nullptr;
    QLabel* Summary = nullptr;

    QPlainTextEdit* Log = nullptr;
};
