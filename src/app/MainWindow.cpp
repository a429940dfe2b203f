#include "MainWindow.h"

#include "PaneViews.h"
#include "app/CommandIcon.h"
#include "app/DialogPrompts.h"
#include "app/HelpWindow.h"
#include "app/KeyBindings.h"
#include "app/QuickConnectBar.h"
#include "app/RemoteCommands.h"
#include "app/SessionNotice.h"
#include "app/TransferCommands.h"
#include "app/WindowLayout.h"
#include "compare/DirectoryCompare.h"
#include "local/LocalPane_widgets.h"
#include "prefs/OptionsEdit.h"
#include "prefs/Translator_widgets.h"
#include "prefs/look_widgets.h"
#include "remote/RemoteView_widgets.h"
#include "session/SessionLog_widgets.h"
#include "sites/SiteList_widgets.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>
#include <filesystem>

namespace {

constexpr int DefaultWidth = 900;
constexpr int DefaultHeight = 600;
// The log takes about a quarter of the height below the tool bar.
constexpr int LogHeight = DefaultHeight / 4;

constexpr const char* QuitQuestion = "Do you want to quit the program?";

// A pane is a column: caption bar, buttons, path box, then the list, which
// takes the spare height.
QVBoxLayout* makePane(QWidget* pane, const char* objectName) {
    pane->setObjectName(QString::fromLatin1(objectName));
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    return layout;
}

QLabel* makeCaption(const QString& text, QWidget* pane) {
    auto* caption = new QLabel(text, pane);
    caption->setFrameShape(QFrame::StyledPanel);
    caption->setMargin(2);
    return caption;
}

QComboBox* makePathBox(const char* objectName, QWidget* pane) {
    auto* box = new QComboBox(pane);
    box->setObjectName(QString::fromLatin1(objectName));
    return box;
}

QTreeView* makeList(const char* objectName, QWidget* pane) {
    auto* list = new QTreeView(pane);
    list->setObjectName(QString::fromLatin1(objectName));
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    return list;
}

QPushButton* makeButton(QBoxLayout* row, const char* objectName, const QString& text) {
    auto* button = new QPushButton(text);
    button->setObjectName(QString::fromLatin1(objectName));
    row->addWidget(button);
    return button;
}

// A pane's stored font over the window's: its face and style, the size kept.
QFont PaneFont(const StoredFont& stored, QFont font) {
    font.setFamily(ShownText(stored.Name));
    font.setBold(stored.Bold);
    font.setItalic(stored.Italic);
    font.setUnderline(stored.UnderLine);
    font.setStrikeOut(stored.StrikeOut);
    return font;
}

} // namespace

MainWindow::MainWindow(std::string programFolder, Prompts* prompts, QWidget* parent)
    : QMainWindow(parent), programFolder_(std::move(programFolder)),
      language_(programFolder_, settings_.Lang),
      ownPrompts_(prompts != nullptr ? nullptr : std::make_unique<DialogPrompts>(language_, this)),
      prompts_(prompts != nullptr ? *prompts : *ownPrompts_), log_(programFolder_),
      sites_(programFolder_, prompts_, settings_.Options),
      session_(ftp_, log_, prompts_, settings_.Options, session::Today()),
      localPane_([this](const std::string& line) { log_.AddLog(line); }),
      queue_(ftp_, session_, session_.Chain(), prompts_, settings_.Options, session::Today()),
      operations_(ftp_, session_, session_.Chain(), prompts_, settings_.Options, session::Today()) {
    session_.SetTransferQueue(&queue_);
    session_.SetRemoteOperations(&operations_);
    setObjectName(QStringLiteral("T_Main"));
    setWindowTitle(QStringLiteral("Corvane"));
    resize(DefaultWidth, DefaultHeight);

    BuildToolBar();
    addToolBarBreak();
    quickBar_ = new QuickConnectBar(this);
    addToolBar(quickBar_);
    connect(quickBar_, &QuickConnectBar::ConnectRequested, this, &MainWindow::QuickConnect);
    connect(quickBar_, &QuickConnectBar::SaveRequested, this, &MainWindow::SaveQuickConnectSite);
    BuildMenus();

    logSplitter_ = new QSplitter(Qt::Vertical, this);
    logSplitter_->setObjectName(QStringLiteral("LogSplitter"));
    logSplitter_->setChildrenCollapsible(false);

    paneSplitter_ = new QSplitter(Qt::Horizontal, logSplitter_);
    paneSplitter_->setObjectName(QStringLiteral("PaneSplitter"));
    paneSplitter_->setChildrenCollapsible(false);
    localPanel_ = BuildLocalPane();
    remotePanel_ = BuildRemotePane();
    paneSplitter_->addWidget(localPanel_);
    paneSplitter_->addWidget(remotePanel_);
    // The splitter scales these sizes to its real width when shown and on every
    // resize, so the panes stay equal until the user moves the handle.
    paneSplitter_->setSizes({DefaultWidth / 2, DefaultWidth / 2});

    logView_ = new QPlainTextEdit(logSplitter_);
    logView_->setObjectName(QStringLiteral("Log"));
    logView_->setReadOnly(true);
    logView_->setLineWrapMode(QPlainTextEdit::NoWrap);
    new session::LogPaneView(log_.Pane(), logView_);
    logSplitter_->addWidget(paneSplitter_);
    logSplitter_->addWidget(logView_);
    logSplitter_->setSizes({DefaultHeight - LogHeight, LogHeight});

    setCentralWidget(logSplitter_);
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    statusText_ = new QLabel(this);
    statusText_->setObjectName(QStringLiteral("SessionStatus"));
    statusBar()->addWidget(statusText_, 1);
    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("Summary"));
    statusBar()->addPermanentWidget(summary_);
    new remote::RemoteViewBinding(session_.RemoteView(), remoteList_, remotePath_, summary_);
    remoteViews_->ShareModel();
    transfers_ = new TransferCommands(session_, queue_, localPane_, language_, this,
                                      {{localViews_->DetailsView(), localViews_->IconView()},
                                       {remoteViews_->DetailsView(), remoteViews_->IconView()}});
    remote_ = new RemoteCommands(session_, operations_, language_, programFolder_, this);
    remote_->TakeOverButtons({makeDirButton_, renameButton_, deleteButton_});
    remotePanel_->layout()->addWidget(remote_->CommandBar());
    toolBar_->insertAction(exitButton_, transfers_->Upload());
    toolBar_->insertAction(exitButton_, transfers_->Download());
    toolBar_->insertSeparator(exitButton_);
    if (auto* transferMenu = menuBar()->findChild<QMenu*>(QStringLiteral("Transfer1"))) {
        QAction* first = transferMenu->actions().value(0);
        transferMenu->insertActions(first, {transfers_->Upload(), transfers_->Download()});
        transferMenu->insertSeparator(first);
    }
    BuildPaneMenus();
    AssignStandardKeys(*this, localViews_, remoteViews_);

    connect(&sites_, &SiteListController::SiteChosen, this,
            [this](const Site& site) { session_.ConnectToSite(site); });
    // A certificate trusted always is kept with the site it was chosen from.
    connect(&session_, &session::SessionController::CertificateTrusted, this,
            [this](const Site& trusted) {
                SiteListModel& model = sites_.Model();
                for (int row = 0; row < model.Count(); ++row) {
                    Site site = model.Entry(row).Site;
                    site.TlsFingerprint = trusted.TlsFingerprint;
                    if (model.Entry(row).Kind == SiteEntryKind::Site && site == trusted) {
                        model.SetSite(row, site);
                        sites_.SaveSiteFolder();
                        return;
                    }
                }
            });
    connect(&sites_.Model(), &SiteListModel::SelectionChanged, this, &MainWindow::RefreshCommands);
    connect(&session_, &session::SessionController::CommandsChanged, this,
            &MainWindow::RefreshCommands);
    connect(&session_, &session::SessionController::ServerListModeChanged, this,
            &MainWindow::ShowServerListMode);
    connect(&session_, &session::SessionController::WaitCursorChanged, this,
            &MainWindow::ShowWaitCursor);
    connect(&session_, &session::SessionController::StatusChanged, this,
            &MainWindow::ShowSessionStatus);
    connect(&session_.RemoteView(), &remote::RemoteView::PathBoxChanged, this,
            &MainWindow::ShowSessionStatus);
    connect(&session_, &session::SessionController::LocalDirChosen, this,
            [this](const std::string& path) { ShowLocalFolder(path); });
    // A header click sorts in the model; the arrow follows the model's key.
    connect(&localPane_, &local::LocalPane::ItemsReset, this,
            [this] { ShowSortArrow(localList_->header(), localPane_.SortKey()); });
    for (auto signal : {&remote::RemoteView::LayoutChanged, &remote::RemoteView::ItemsReset})
        connect(&session_.RemoteView(), signal, this,
                [this] { ShowSortArrow(remoteList_->header(), session_.RemoteView().SortKey()); });
    // The session takes the local start folder from the process's folder.
    connect(&localPane_, &local::LocalPane::FolderChanged, this,
            [](const std::string& folder) { QDir::setCurrent(ShownText(folder)); });

    LoadStartupState();
    ShowSessionStatus();
}

MainWindow::~MainWindow() {
    // The panes show the area objects; they go before those do.
    delete takeCentralWidget();
    if (session_.WaitCursor())
        QApplication::restoreOverrideCursor();
}

// The start-up order: the site list (the pane is built showing it), the
// commands off, the options applied, the language, the transfer type.
void MainWindow::LoadStartupState() {
    sites_.LoadSiteFolder("");
    session_.SetConnectedState();
    LoadOptions(programFolder_, settings_);
    ApplySettings(); // the local pane too
    BuildLanguageMenu(*languageMenu_, language_, *this);
    SetTransferType(Auto);
    RestoreLayout();
    quickBar_->SetEntries(LoadQuickConnect(programFolder_));
}

void MainWindow::ApplySettings() {
    const Options& options = settings_.Options;
    if (!ftp_.Connected())
        session::ApplyEngineOptions(ftp_, options);
    log_.ApplyOptions(options);
    setFont(FontFromStored(options.FontName, options.FontSize));
    localViews_->setFont(PaneFont(settings_.FontLeft, font()));
    remoteViews_->setFont(PaneFont(settings_.FontRight, font()));
    siteView_->setFont(remoteViews_->font());
    localPane_.SetMonthFirst(options.DateType == 1);
    if (!options.IniPath.empty() && std::filesystem::is_directory(options.IniPath))
        ShowLocalFolder(options.IniPath);
    else
        ShowLocalFolder(QDir::currentPath().toStdString());
}

void MainWindow::RefreshCommands() {
    const session::SessionState state = session_.SessionState();
    const bool connecting =
        state == session::SessionState::Connecting || state == session::SessionState::LoggingIn;
    const bool connected = session_.ConnectedCommands();
    const session::EnabledCommands e =
        session::CommandEnablement(connected, connecting, sites_.Model().Selected() >= 0);
    connectButton_->setEnabled(e.Connect);
    quickBar_->SetConnectEnabled(e.Connect);
    connectItem_->setEnabled(e.Connect);
    newSiteButton_->setEnabled(e.NewServer);
    newSiteItem_->setEnabled(e.NewServer);
    propertiesButton_->setEnabled(e.Properties);
    preferencesItem_->setEnabled(e.Preferences);
    sitePropertiesItem_->setEnabled(e.ServerProperties);
    disconnectButton_->setEnabled(e.Disconnect);
    disconnectItem_->setEnabled(e.Disconnect);
    stopButton_->setEnabled(e.Stop);
    stopItem_->setEnabled(e.Stop);
    // The site operations; the remote file operations take these buttons over
    // while connected.
    remote_->UpdateCommands();
    for (QAction* command : remoteCommands_)
        command->setEnabled(connected);
}

void MainWindow::ShowServerListMode(bool serverList) {
    remoteStack_->setCurrentIndex(serverList ? 0 : 1);
    remoteCaption_->setText(serverList ? tr("FTP Servers") : ShownText(ftp_.HostName));
    if (serverList) {
        sites_.Refresh();
        remotePath_->clear();
        // The site just left stays chosen, ready to connect again.
        const SiteListModel& model = sites_.Model();
        for (int row = 0; row < model.Count(); ++row) {
            const SiteEntry& entry = model.Entry(row);
            if (entry.Kind == SiteEntryKind::Site &&
                entry.Site.Name == session_.CurrentSite().Name && !entry.Site.Name.empty()) {
                sites_.Model().SelectOnly(row);
                break;
            }
        }
    }
}

void MainWindow::ShowSessionStatus() {
    const session::SessionState state = session_.SessionState();
    statusText_->setText(ShownText(session::StatusText(state, ftp_.HostName, session_.Outcome())));
    notice_->FollowSession(state, session_.LastEnd());
    const Site& site = session_.CurrentSite();
    setWindowTitle(ShownText(session::WindowTitle(session_.ConnectedCommands(),
                                                  site.Name.empty() ? site.Server : site.Name,
                                                  ftp_.HostDirName)));
}

// The session reports changes only, so the override cursor stays balanced.
void MainWindow::ShowWaitCursor(bool wait) {
    if (wait)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void MainWindow::ShowLocalFolder(const std::string& folder) {
    if (folder == localPane_.Folder() || !localPane_.SetFolder(folder))
        localPane_.Refresh();
}

void MainWindow::ConnectToSelectedSite() {
    if (ftp_.Connected() || session_.WaitCursor())
        return;
    if (sites_.Model().Selected() < 0)
        sites_.NewSite();
    if (sites_.Model().Selected() >= 0)
        sites_.OpenSelected();
}

void MainWindow::QuickConnect() {
    const QuickConnectEntries entries = quickBar_->Entries();
    if (const std::string problem = QuickConnectProblem(entries); !problem.empty()) {
        prompts_.ShowMessage(AttentionCaption, problem, MessageIcon::Information);
        return;
    }
    if (ftp_.Connected() || session_.SessionState() != session::SessionState::Idle)
        return;
    // Remembered even when the connect fails: the next try starts from them.
    if (!SaveQuickConnect(programFolder_, entries))
        log_.AddLog("Error " + programFolder_ + OptionsFileName + ": the entries were not kept");
    session_.ConnectToSite(QuickConnectSite(entries, settings_.Options));
}

void MainWindow::SaveQuickConnectSite() {
    QuickConnectEntries entries = quickBar_->Entries();
    if (const std::string problem = QuickConnectProblem(entries); !problem.empty()) {
        prompts_.ShowMessage(AttentionCaption, problem, MessageIcon::Information);
        return;
    }
    // The password goes into the site only when the user asked to keep it.
    if (!entries.RememberPassword)
        entries.Password.clear();
    sites_.AddSite(QuickConnectSite(entries, settings_.Options));
}

void MainWindow::StartNewSession() {
    // A copy of its own: the listing file name carries the process id.
    QProcess::startDetached(QCoreApplication::applicationFilePath(), {});
}

void MainWindow::EditPreferences() {
    const EditResult result = EditOptions(prompts_, programFolder_, settings_);
    if (result == EditResult::Cancelled)
        return;
    ApplySettings();
    if (result == EditResult::SaveFailed)
        TellOptionsNotSaved();
}

void MainWindow::ShowHelp() {
    if (help_ == nullptr) {
        const QString page = FindHelpPage(QCoreApplication::applicationDirPath());
        if (page.isEmpty())
            return; // the built-in copy is always found
        help_ = new HelpWindow(page, this);
    }
    help_->show();
    help_->raise();
    help_->activateWindow();
}

void MainWindow::SetTransferType(int tag) {
    transferType_ = tag;
    queue_.SetTransferType(static_cast<transfer::TransferType>(tag));
    const QList<QAction*> items = transferTypes_->actions();
    for (qsizetype i = 0; i < items.size(); ++i)
        items[i]->setChecked(i == tag);
}

void MainWindow::ChooseFont(QWidget* pane, StoredFont& stored) {
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, pane->font(), this, tr("Font"));
    if (!ok)
        return;
    pane->setFont(chosen);
    stored.Name = chosen.family().toStdString();
    stored.Bold = chosen.bold();
    stored.Italic = chosen.italic();
    stored.UnderLine = chosen.underline();
    stored.StrikeOut = chosen.strikeOut();
}

void MainWindow::TellOptionsNotSaved() {
    prompts_.ShowMessage(AttentionCaption,
                         std::string(CannotWriteList) + "\n" + programFolder_ + OptionsFileName,
                         MessageIcon::Warning);
}

bool MainWindow::ConfirmQuit() {
    return prompts_.AskYesNo(AttentionCaption, QuitQuestion);
}

void MainWindow::RestoreLayout() {
    RestoreWindowLayout(LayoutOfWindow(), settings_.Layout);
    const std::string& folder = settings_.Layout.LocalFolder;
    if (!folder.empty() && std::filesystem::is_directory(folder))
        ShowLocalFolder(folder);
}

void MainWindow::KeepLayout() {
    KeepWindowLayout(LayoutOfWindow(), settings_.Layout);
    settings_.Layout.LocalFolder = localPane_.Folder();
}

LayoutParts MainWindow::LayoutOfWindow() {
    return {this, paneSplitter_, logSplitter_, localList_, remoteList_};
}

void MainWindow::SaveOnQuit() {
    KeepLayout();
    if (!SaveOptions(programFolder_, settings_))
        TellOptionsNotSaved();
    remote_->SaveCommands();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!ConfirmQuit()) {
        event->ignore();
        return;
    }
    SaveOnQuit();
    event->accept();
}

// --- the frame ------------------------------------------------------------------------

QAction* MainWindow::AddCommand(QMenu* menu, const char* name, const QString& text,
                                void (MainWindow::*handler)()) {
    QAction* action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, handler);
    return action;
}

void MainWindow::BuildToolBar() {
    toolBar_ = addToolBar(QStringLiteral("Tool bar"));
    toolBar_->setObjectName(QStringLiteral("ToolBar1"));
    toolBar_->setMovable(false);
    toolBar_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    const auto addButton = [this](const char* name, const QString& text,
                                  void (MainWindow::*handler)()) {
        QAction* action = toolBar_->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    connectButton_ = addButton("sbConnect", tr("&Connect"), &MainWindow::ConnectToSelectedSite);
    connectButton_->setIcon(CommandIcon("network-connect", QStyle::SP_DriveNetIcon));
    disconnectButton_ = addButton("sbDisConnect", tr("&Disconnect"), &MainWindow::Disconnect);
    disconnectButton_->setIcon(CommandIcon("network-disconnect", QStyle::SP_DialogCancelButton));
    stopButton_ = addButton("sbStop", tr("&Stop Transfer"), &MainWindow::StopTransfer);
    stopButton_->setIcon(CommandIcon("process-stop", QStyle::SP_BrowserStop));
    toolBar_->addSeparator();
    exitButton_ = toolBar_->addAction(CommandIcon("application-exit", QStyle::SP_DialogCloseButton),
                                      tr("Exit"));
    exitButton_->setObjectName(QStringLiteral("sbExit"));
    connect(exitButton_, &QAction::triggered, this, &QWidget::close);
}

void MainWindow::BuildMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("File1"));
    connectItem_ = AddCommand(file, "miConnect", tr("Connect to FTP - Server"),
                              &MainWindow::ConnectToSelectedSite);
    disconnectItem_ = AddCommand(file, "miDisConnect", tr("Disconnect"), &MainWindow::Disconnect);
    stopItem_ = AddCommand(file, "miStop", tr("Stop Transfer"), &MainWindow::StopTransfer);
    file->addSeparator();
    newSiteItem_ = file->addAction(tr("New Server"));
    newSiteItem_->setObjectName(QStringLiteral("miNewServer"));
    connect(newSiteItem_, &QAction::triggered, &sites_, &SiteListController::NewSite);
    sitePropertiesItem_ = file->addAction(tr("Server Properties"));
    sitePropertiesItem_->setObjectName(QStringLiteral("miServerProperties"));
    connect(sitePropertiesItem_, &QAction::triggered, &sites_, &SiteListController::Properties);
    file->addSeparator();
    preferencesItem_ =
        AddCommand(file, "Preferences1", tr("Preferences"), &MainWindow::EditPreferences);
    AddCommand(file, "Spawnnewsession1", tr("Create new session"), &MainWindow::StartNewSession);
    file->addSeparator();
    QAction* exit = file->addAction(tr("&Exit"));
    exit->setObjectName(QStringLiteral("Exit1"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->setObjectName(QStringLiteral("View1"));
    BuildViewMenu(view->addMenu(tr("Local computer")), 0);
    BuildViewMenu(view->addMenu(tr("Remote computer")), 1);

    QMenu* transfer = menuBar()->addMenu(tr("&Transfer"));
    transfer->setObjectName(QStringLiteral("Transfer1"));
    transferTypes_ = new QActionGroup(this);
    const char* names[] = {"miAuto", "miAscii", "miBinary"};
    const QString captions[] = {tr("Auto"), tr("Ascii"), tr("Binary")};
    for (int tag = Auto; tag <= Binary; ++tag) {
        QAction* item = transfer->addAction(captions[tag]);
        item->setObjectName(QString::fromLatin1(names[tag]));
        item->setCheckable(true);
        transferTypes_->addAction(item);
        connect(item, &QAction::triggered, this, [this, tag] { SetTransferType(tag); });
    }

    languageMenu_ = menuBar()->addMenu(tr("Language"));
    languageMenu_->setObjectName(QStringLiteral("Language1"));

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("Help1"));
    QAction* contents = help->addAction(tr("Contents"));
    contents->setObjectName(QStringLiteral("Contents1"));
    connect(contents, &QAction::triggered, this, &MainWindow::ShowHelp);
}

// The view commands of one pane: tag 0 the local pane, 1 the remote pane.
void MainWindow::BuildViewMenu(QMenu* menu, int pane) {
    menu->setObjectName(pane == 0 ? QStringLiteral("LocalView1") : QStringLiteral("RemoteView1"));
    const QString suffix = QString::number(pane + 1);
    const char* names[] = {"LargeIcons", "SmallIcons", "List", "Details"};
    const QString captions[] = {tr("&Large Icons"), tr("&Small Icons"), tr("&List"),
                                tr("&Details")};
    auto* styles = new QActionGroup(menu);
    for (int tag = PaneViews::LargeIcons; tag <= PaneViews::Details; ++tag) {
        QAction* item = menu->addAction(captions[tag]);
        item->setObjectName(QString::fromLatin1(names[tag]) + suffix);
        item->setCheckable(true);
        item->setChecked(tag == PaneViews::Details);
        styles->addAction(item);
        connect(item, &QAction::triggered, this, [this, pane, tag] { SetViewStyle(pane, tag); });
    }
    menu->addSeparator();
    if (pane == 0) {
        QAction* lineUp = menu->addAction(tr("&Line up icons"));
        lineUp->setObjectName(QStringLiteral("LineUpIcons1"));
        connect(lineUp, &QAction::triggered, this, [this] {
            if (localViews_->isAncestorOf(QApplication::focusWidget()))
                localViews_->LineUpIcons();
        });
    }
    QAction* font = menu->addAction(tr("Font"));
    font->setObjectName(QStringLiteral("Font") + suffix);
    connect(font, &QAction::triggered, this, [this, pane] {
        if (pane == 0) {
            ChooseFont(localViews_, settings_.FontLeft);
        } else {
            ChooseFont(remoteViews_, settings_.FontRight);
            siteView_->setFont(remoteViews_->font());
        }
    });
}

void MainWindow::SetViewStyle(int pane, int style) {
    if (pane == 0) {
        localViews_->SetViewStyle(style);
        return;
    }
    remoteViews_->SetViewStyle(style);
    ApplyListStyle(siteView_->ListView(), style);
}

QWidget* MainWindow::BuildLocalPane() {
    auto* pane = new QWidget(paneSplitter_);
    QVBoxLayout* layout = makePane(pane, "LocalPanel");
    layout->addWidget(makeCaption(tr("Local computer"), pane));
    auto* buttonRow = new QWidget(pane);
    buttonRow->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    auto* buttons = new QHBoxLayout(buttonRow);
    buttons->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(buttonRow);
    auto* pathRow = new QHBoxLayout;
    localPath_ = makePathBox("LocalPath", pane);
    pathRow->addWidget(localPath_, 1);
    layout->addLayout(pathRow);

    auto* split = new QSplitter(Qt::Vertical, pane);
    split->setObjectName(QStringLiteral("LocalSplitter"));
    split->setChildrenCollapsible(false);
    localTree_ = new QTreeView(split);
    localTree_->setObjectName(QStringLiteral("dlbx"));
    localList_ = makeList("lvLoc", pane);
    localViews_ = new PaneViews(localList_, split);
    split->addWidget(localTree_);
    split->addWidget(localViews_);
    split->setSizes({DefaultHeight / 4, DefaultHeight / 2});
    layout->addWidget(split, 1);
    localStrip_ = new QLabel(pane);
    localStrip_->setObjectName(QStringLiteral("pnlLocInfo"));
    layout->addWidget(localStrip_);

    localBinding_ = new local::LocalPaneBinding(
        localPane_, prompts_,
        {[this](std::string_view text) { return log_.AddLog(text); },
         [this](std::size_t line, std::string_view text) { log_.ReplaceLine(line, text); }},
        {localViews_, localList_, localTree_, localPath_, localStrip_});
    localViews_->ShareModel();
    const auto addButton = [&](QAction* action, const QString& text, const char* name) {
        buttons->addWidget(local::LocalPaneBinding::MakeButton(action, text, name, buttonRow));
    };
    const std::pair<QAction*, QIcon> icons[] = {
        {localBinding_->MakeDirectory(), CommandIcon("folder-new", QStyle::SP_FileDialogNewFolder)},
        {localBinding_->Rename(), CommandIcon("edit-rename", QStyle::SP_FileDialogDetailedView)},
        {localBinding_->DeleteSelection(), CommandIcon("edit-delete", QStyle::SP_TrashIcon)},
        {localBinding_->View(), CommandIcon("document-preview", QStyle::SP_FileDialogContentsView)},
        {localBinding_->Run(), CommandIcon("system-run", QStyle::SP_MediaPlay)},
        {localBinding_->UpOneLevel(), CommandIcon("go-up", QStyle::SP_FileDialogToParent)},
        {localBinding_->Refresh(), CommandIcon("view-refresh", QStyle::SP_BrowserReload)},
    };
    for (const auto& [action, icon] : icons)
        action->setIcon(icon);
    addButton(localBinding_->MakeDirectory(), tr("MakeDir"), "sbMkd1");
    addButton(localBinding_->Rename(), tr("Rename"), "sbRen1");
    addButton(localBinding_->DeleteSelection(), tr("Delete"), "sbDel1");
    addButton(localBinding_->View(), tr("View"), "sbView1");
    addButton(localBinding_->Run(), tr("Run"), "sbRun");
    buttons->addStretch(1);
    pathRow->addWidget(local::LocalPaneBinding::MakeButton(
        localBinding_->UpOneLevel(), tr("Up One Level"), "SpeedButton4Button", pane));
    connect(localViews_, &PaneViews::DoubleClicked, this,
            [this](const QModelIndex& index) { localPane_.OpenEntry(index.row()); });
    return pane;
}

void MainWindow::BuildPaneMenus() {
    auto* localMenu = new QMenu(tr("&Local"), this);
    localMenu->setObjectName(QStringLiteral("Local1"));
    localMenu->addAction(transfers_->Upload());
    localMenu->addSeparator();
    localBinding_->FillMenu(localMenu, false);
    QMenu* localPopUp = localBinding_->PopUp();
    localPopUp->insertAction(localPopUp->actions().value(0), transfers_->Upload());
    localPopUp->insertSeparator(localPopUp->actions().value(1));
    menuBar()->insertMenu(languageMenu_->menuAction(), localMenu);

    auto* remoteMenu = new QMenu(tr("&Remote"), this);
    remoteMenu->setObjectName(QStringLiteral("Remote1"));
    remotePopUp_ = new QMenu(remoteViews_);
    remotePopUp_->setObjectName(QStringLiteral("RemotePopUp"));
    FillRemoteMenu(remoteMenu);
    FillRemoteMenu(remotePopUp_);
    menuBar()->insertMenu(languageMenu_->menuAction(), remoteMenu);
    remoteViews_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(remoteViews_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { remotePopUp_->popup(remoteViews_->mapToGlobal(at)); });
    // Enter opens a folder and Backspace goes up, as in the local pane.
    const auto addKey = [this](const char* name, QList<QKeySequence> keys, auto handler) {
        auto* action = new QAction(remoteViews_);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        remoteViews_->addAction(action);
        connect(action, &QAction::triggered, this, handler);
    };
    addKey("RemoteOpenKey", {Qt::Key_Return, Qt::Key_Enter}, [this] {
        if (session_.ConnectedCommands() && remoteList_->currentIndex().isValid())
            session_.OpenEntry(remoteList_->currentIndex().row());
    });
    addKey("RemoteUpKey", {Qt::Key_Backspace}, [this] {
        if (session_.ConnectedCommands())
            session_.RemoteView().GoUpOneLevel();
    });
    RefreshCommands();
}

// The same commands in the main menu and the pop-up; each twin is its own
// action, so language files can name both.
void MainWindow::FillRemoteMenu(QMenu* menu) {
    const bool popUp = menu == remotePopUp_;
    const QString suffix = popUp ? QStringLiteral("5") : QStringLiteral("4");
    menu->addAction(transfers_->Download());
    menu->addSeparator();
    QAction* filter = menu->addAction(tr("Filter"));
    filter->setObjectName(QStringLiteral("Filter") + suffix);
    connect(filter, &QAction::triggered, this, &MainWindow::EditRemoteFilter);
    QMenu* select = menu->addMenu(tr("Select ..."));
    const char* selectNames[] = {"All", "Unselect", "Mask", "Invert"};
    const QString selectTexts[] = {tr("Select All"), tr("Unselect"), tr("Mask"), tr("Invert")};
    for (int tag = 1; tag <= 4; ++tag) {
        QAction* item = select->addAction(selectTexts[tag - 1]);
        item->setObjectName(QString::fromLatin1(selectNames[tag - 1]) + suffix);
        connect(item, &QAction::triggered, this, [this, tag] { SelectRemote(tag); });
    }
    QMenu* sorting = menu->addMenu(tr("Sorting"));
    const char* sortNames[] = {"Byname", "Bysize", "Bydate"};
    const QString sortTexts[] = {tr("By name"), tr("By size"), tr("By date")};
    for (int column = 1; column <= 3; ++column) {
        QAction* item = sorting->addAction(sortTexts[column - 1]);
        item->setObjectName(QString::fromLatin1(sortNames[column - 1]) +
                            (popUp ? QStringLiteral("7") : QStringLiteral("6")));
        connect(item, &QAction::triggered, this, [this, column] { SortRemote(column); });
    }
    menu->addSeparator();
    QAction* compare = menu->addAction(tr("Compare Directories"));
    compare->setObjectName(QStringLiteral("CompareDirectories") + suffix);
    connect(compare, &QAction::triggered, this, &MainWindow::CompareDirectories);
    if (!popUp)
        compareItem_ = compare;
    remoteCommands_.insert(remoteCommands_.end(),
                           {filter, select->menuAction(), sorting->menuAction(), compare});
    remote_->FillMenu(menu, popUp);
}

void MainWindow::EditRemoteFilter() {
    if (!session_.ConnectedCommands())
        return;
    remote::RemoteView& view = session_.RemoteView();
    std::string filter = view.Filter();
    if (prompts_.AskInput(local::RemoteFilterCaption, local::MaskPrompt, filter, false,
                          MaxInputLength))
        view.SetFilter(filter); // from the last listing, without a request
}

void MainWindow::SelectRemote(int command) {
    const auto select = static_cast<local::SelectCommand>(command);
    const remote::RemoteView& view = session_.RemoteView();
    std::string mask = view.Filter(); // the dialog starts with the pane's filter
    if (local::NeedsMask(select) && !local::AskSelectMask(prompts_, false, mask))
        return;
    std::vector<std::string_view> captions;
    std::vector<bool> selected;
    for (const remote::RemoteItem& item : view.Items()) {
        captions.push_back(item.caption);
        selected.push_back(item.selected);
    }
    local::ApplySelectCommand(select, captions, mask, selected);
    local::ShowSelection(remoteList_, selected);
    session_.RemoteView().KeepFilter(mask);
    remoteList_->setFocus();
}

void MainWindow::SortRemote(int column) {
    if (session_.ConnectedCommands())
        session_.RemoteView().SortByColumn(column);
}

void MainWindow::CompareDirectories() {
    if (!session_.ConnectedCommands())
        return;
    std::vector<compare::CompareEntry> localEntries;
    for (const local::LocalItem& item : localPane_.Items())
        localEntries.push_back({item.caption, item.sizeText});
    std::vector<compare::CompareEntry> remoteEntries;
    for (const remote::RemoteItem& item : session_.RemoteView().Items())
        remoteEntries.push_back({item.caption, item.size});
    const compare::CompareResult result = compare::CompareDirectories(localEntries, remoteEntries);
    localPane_.ReplaceSelection(result.localSelected);
    local::ShowSelection(remoteList_, result.remoteSelected);
}

QWidget* MainWindow::BuildRemotePane() {
    auto* pane = new QWidget(paneSplitter_);
    QVBoxLayout* layout = makePane(pane, "RemotePanel");
    notice_ = new SessionNotice(pane);
    layout->addWidget(notice_);
    // The site as the session used it: it asks for the password again.
    connect(notice_, &SessionNotice::PasswordRetryRequested, this,
            [this] { session_.ConnectToSite(session_.CurrentSite()); });
    remoteCaption_ = makeCaption(tr("FTP Servers"), pane);
    remoteCaption_->setObjectName(QStringLiteral("RemoteCaption"));
    layout->addWidget(remoteCaption_);

    // The buttons may be cut on a narrow window; the panes keep equal widths.
    auto* buttonRow = new QWidget(pane);
    buttonRow->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    auto* buttons = new QHBoxLayout(buttonRow);
    buttons->setContentsMargins(0, 0, 0, 0);
    newSiteButton_ = makeButton(buttons, "bbNewServer", tr("New Server"));
    newSiteButton_->setIcon(CommandIcon("network-server", QStyle::SP_DriveNetIcon));
    propertiesButton_ = makeButton(buttons, "bbProperties", tr("&Properties"));
    propertiesButton_->setIcon(CommandIcon("document-properties", QStyle::SP_FileDialogInfoView));
    makeDirButton_ = makeButton(buttons, "bbMakeDir", tr("MakeDir"));
    makeDirButton_->setIcon(CommandIcon("folder-new", QStyle::SP_FileDialogNewFolder));
    renameButton_ = makeButton(buttons, "bbRename", tr("Rename"));
    renameButton_->setIcon(CommandIcon("edit-rename", QStyle::SP_FileDialogDetailedView));
    deleteButton_ = makeButton(buttons, "bbDelete", tr("Delete"));
    deleteButton_->setIcon(CommandIcon("edit-delete", QStyle::SP_TrashIcon));
    buttons->addStretch(1);
    layout->addWidget(buttonRow);
    connect(newSiteButton_, &QPushButton::clicked, &sites_, &SiteListController::NewSite);
    connect(propertiesButton_, &QPushButton::clicked, &sites_, &SiteListController::Properties);
    // While connected the buttons act on the server, otherwise on the sites.
    connect(makeDirButton_, &QPushButton::clicked, this, [this] {
        session_.ConnectedCommands() ? remote_->MakeDirectory() : sites_.MakeFolder();
    });
    connect(renameButton_, &QPushButton::clicked, this, [this] {
        session_.ConnectedCommands() ? remote_->RenameSelected() : sites_.RenameFolder();
    });
    connect(deleteButton_, &QPushButton::clicked, this,
            [this] { session_.ConnectedCommands() ? remote_->DeleteSelected() : sites_.Delete(); });

    remoteStack_ = new QStackedWidget(pane);
    remoteStack_->setObjectName(QStringLiteral("RemoteStack"));
    siteView_ = new ::SiteListView(sites_, remoteStack_);
    siteView_->setObjectName(QStringLiteral("SiteView"));
    remoteStack_->addWidget(siteView_);

    auto* remote = new QWidget(remoteStack_);
    auto* remoteLayout = new QVBoxLayout(remote);
    remoteLayout->setContentsMargins(0, 0, 0, 0);
    remoteLayout->setSpacing(2);
    auto* pathRow = new QHBoxLayout;
    remotePath_ = makePathBox("FTPPath", remote);
    pathRow->addWidget(remotePath_, 1);
    upOneLevelButton_ = makeButton(pathRow, "FTPOneLevelUp", tr("Up One Level"));
    upOneLevelButton_->setIcon(CommandIcon("go-up", QStyle::SP_FileDialogToParent));
    remoteLayout->addLayout(pathRow);
    remoteList_ = makeList("FTPView", remote);
    remoteViews_ = new PaneViews(remoteList_, remote);
    remoteLayout->addWidget(remoteViews_, 1);
    remoteStack_->addWidget(remote);
    layout->addWidget(remoteStack_, 1);

    connect(upOneLevelButton_, &QPushButton::clicked, this,
            [this] { session_.RemoteView().GoUpOneLevel(); });
    connect(remoteViews_, &PaneViews::DoubleClicked, this,
            [this](const QModelIndex& index) { session_.OpenEntry(index.row()); });
    return pane;
}
