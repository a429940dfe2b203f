#include "uMain.h"

#include "PaneViews.h"
#include "prefs/OptionsEdit.h"
#include "prefs/Prompts_widgets.h"
#include "prefs/look_widgets.h"
#include "prefs/zelLanguage_widgets.h"
#include "remote/RemoteView_widgets.h"
#include "session/SessionLog_widgets.h"
#include "sites/SiteList_widgets.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileSystemModel>
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
#include <QUrl>
#include <QVBoxLayout>
#include <filesystem>

namespace {

constexpr int DefaultWidth = 900;
constexpr int DefaultHeight = 600;
// The log takes about a quarter of the height below the tool bar.
constexpr int LogHeight = DefaultHeight / 4;

constexpr const char* HelpFileName = "corvane.hlp";
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
QFont PaneFont(const TPaneFont& stored, QFont font) {
    font.setFamily(ShownText(stored.Name));
    font.setBold(stored.Bold);
    font.setItalic(stored.Italic);
    font.setUnderline(stored.UnderLine);
    font.setStrikeOut(stored.StrikeOut);
    return font;
}

} // namespace

T_Main::T_Main(std::string programFolder, Prompts* prompts, QWidget* parent)
    : QMainWindow(parent), programFolder_(std::move(programFolder)),
      language_(programFolder_, settings_.Lang),
      ownPrompts_(prompts != nullptr ? nullptr : std::make_unique<TDialogPrompts>(language_, this)),
      prompts_(prompts != nullptr ? *prompts : *ownPrompts_), log_(programFolder_),
      sites_(programFolder_, prompts_, settings_.Options),
      session_(Ftp1, log_, prompts_, settings_.Options, session::Today()) {
    setObjectName(QStringLiteral("T_Main"));
    setWindowTitle(QStringLiteral("Corvane"));
    resize(DefaultWidth, DefaultHeight);

    buildToolBar();
    buildMenus();

    LogSplitter = new QSplitter(Qt::Vertical, this);
    LogSplitter->setObjectName(QStringLiteral("LogSplitter"));
    LogSplitter->setChildrenCollapsible(false);

    PaneSplitter = new QSplitter(Qt::Horizontal, LogSplitter);
    PaneSplitter->setObjectName(QStringLiteral("PaneSplitter"));
    PaneSplitter->setChildrenCollapsible(false);
    LocalPanel = buildLocalPane();
    RemotePanel = buildRemotePane();
    PaneSplitter->addWidget(LocalPanel);
    PaneSplitter->addWidget(RemotePanel);
    // The splitter scales these sizes to its real width when shown and on every
    // resize, so the panes stay equal until the user moves the handle.
    PaneSplitter->setSizes({DefaultWidth / 2, DefaultWidth / 2});

    Log = new QPlainTextEdit(LogSplitter);
    Log->setObjectName(QStringLiteral("Log"));
    Log->setReadOnly(true);
    Log->setLineWrapMode(QPlainTextEdit::NoWrap);
    new session::TLogPaneView(log_.Pane(), Log);
    LogSplitter->addWidget(PaneSplitter);
    LogSplitter->addWidget(Log);
    LogSplitter->setSizes({DefaultHeight - LogHeight, LogHeight});

    setCentralWidget(LogSplitter);
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    Summary = new QLabel(this);
    Summary->setObjectName(QStringLiteral("Summary"));
    statusBar()->addPermanentWidget(Summary);
    new remote::TRemoteViewBinding(session_.RemoteView(), FTPView, FTPPath, Summary);
    RemoteViews->ShareModel();

    connect(&sites_, &TSiteListController::siteChosen, this,
            [this](const TFTPServerInfo& site) { session_.ConnectToSite(site); });
    connect(&sites_.Model(), &TSiteListModel::selectionChanged, this, &T_Main::RefreshCommands);
    connect(&session_, &session::TSessionController::CommandsChanged, this,
            &T_Main::RefreshCommands);
    connect(&session_, &session::TSessionController::ServerListModeChanged, this,
            &T_Main::ShowServerListMode);
    connect(&session_, &session::TSessionController::WaitCursorChanged, this,
            &T_Main::ShowWaitCursor);
    connect(&session_, &session::TSessionController::LocalDirChosen, this,
            [this](const std::string& path) {
                QDir::setCurrent(ShownText(path));
                ShowLocalFolder();
            });

    FormCreate();
}

T_Main::~T_Main() {
    // The panes show the area objects; they go before those do.
    delete takeCentralWidget();
    if (session_.WaitCursor())
        QApplication::restoreOverrideCursor();
}

// The start-up order: the site list (the pane is built showing it), the
// commands off, the options applied, the language, the transfer type.
void T_Main::FormCreate() {
    sites_.LoadSiteFolder("");
    session_.SetConnectedState();
    LoadOptions(programFolder_, settings_);
    ApplySettings(); // the local pane too
    BuildLanguageMenu(*Language1, language_, *this);
    miAutoClick(Auto);
}

void T_Main::ApplySettings() {
    const TFTPOptions& options = settings_.Options;
    if (!Ftp1.Connected())
        session::ApplyEngineOptions(Ftp1, options);
    log_.ApplyOptions(options);
    setFont(FontFromStored(options.FontName, options.FontSize));
    LocalViews->setFont(PaneFont(settings_.FontLeft, font()));
    RemoteViews->setFont(PaneFont(settings_.FontRight, font()));
    SiteView->setFont(RemoteViews->font());
    if (!options.IniPath.empty() && std::filesystem::is_directory(options.IniPath))
        QDir::setCurrent(ShownText(options.IniPath));
    ShowLocalFolder();
}

void T_Main::RefreshCommands() {
    const session::TSessionState state = session_.SessionState();
    const bool connecting =
        state == session::TSessionState::Connecting || state == session::TSessionState::LoggingIn;
    const bool connected = session_.ConnectedCommands();
    const session::TCommandEnablement e =
        session::CommandEnablement(connected, connecting, sites_.Model().Selected() >= 0);
    sbConnect->setEnabled(e.Connect);
    miConnect->setEnabled(e.Connect);
    bbNewServer->setEnabled(e.NewServer);
    miNewServer->setEnabled(e.NewServer);
    bbProperties->setEnabled(e.Properties);
    Preferences1->setEnabled(e.Preferences);
    miServerProperties->setEnabled(e.ServerProperties);
    sbDisConnect->setEnabled(e.Disconnect);
    miDisConnect->setEnabled(e.Disconnect);
    sbStop->setEnabled(e.Stop);
    miStop->setEnabled(e.Stop);
    // The site operations; the remote file operations take these buttons over
    // while connected.
    for (QPushButton* button : {bbMakeDir, bbRename, bbDelete})
        button->setEnabled(!connected);
}

void T_Main::ShowServerListMode(bool serverList) {
    RemoteStack->setCurrentIndex(serverList ? 0 : 1);
    RemoteCaption->setText(serverList ? tr("FTP Servers") : ShownText(Ftp1.HostName));
    if (serverList) {
        sites_.Refresh();
        FTPPath->clear();
        // The site just left stays chosen, ready to connect again.
        const TSiteListModel& model = sites_.Model();
        for (int row = 0; row < model.Count(); ++row) {
            const TSiteEntry& entry = model.Entry(row);
            if (entry.Kind == TSiteEntryKind::Site &&
                entry.Site.Name == session_.CurrentSite().Name && !entry.Site.Name.empty()) {
                sites_.Model().SelectOnly(row);
                break;
            }
        }
    }
}

// The session reports changes only, so the override cursor stays balanced.
void T_Main::ShowWaitCursor(bool wait) {
    if (wait)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void T_Main::ShowLocalFolder() {
    const QString folder = QDir::currentPath();
    LocalPath->clear();
    LocalPath->addItem(folder);
    if (auto* model = qobject_cast<QFileSystemModel*>(lvLoc->model()))
        lvLoc->setRootIndex(model->setRootPath(folder));
}

void T_Main::sbConnectClick() {
    if (Ftp1.Connected() || session_.WaitCursor())
        return;
    if (sites_.Model().Selected() < 0)
        sites_.NewSite();
    if (sites_.Model().Selected() >= 0)
        sites_.OpenSelected();
}

void T_Main::Spawnnewsession1Click() {
    // A copy of its own: the listing file name carries the process id.
    QProcess::startDetached(QCoreApplication::applicationFilePath(), {});
}

void T_Main::Preferences1Click() {
    const TEditResult result = EditOptions(prompts_, programFolder_, settings_);
    if (result == TEditResult::Cancelled)
        return;
    ApplySettings();
    if (result == TEditResult::SaveFailed)
        TellOptionsNotSaved();
}

void T_Main::miAutoClick(int tag) {
    transferType_ = tag;
    const QList<QAction*> items = TransferTypes->actions();
    for (qsizetype i = 0; i < items.size(); ++i)
        items[i]->setChecked(i == tag);
}

void T_Main::ChooseFont(QWidget* pane, TPaneFont& stored) {
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

void T_Main::TellOptionsNotSaved() {
    prompts_.ShowMessage(AttentionCaption,
                         std::string(CannotWriteList) + "\n" + programFolder_ + OptionsFileName,
                         TMessageIcon::Warning);
}

bool T_Main::FormCloseQuery() {
    return prompts_.AskYesNo(AttentionCaption, QuitQuestion);
}

void T_Main::FormClose() {
    if (!SaveOptions(programFolder_, settings_))
        TellOptionsNotSaved();
}

void T_Main::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

// --- the frame ------------------------------------------------------------------------

QAction* T_Main::addCommand(QMenu* menu, const char* name, const QString& text,
                            void (T_Main::*handler)()) {
    QAction* action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, handler);
    return action;
}

void T_Main::buildToolBar() {
    ToolBar1 = addToolBar(QStringLiteral("Tool bar"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextOnly);
    const auto addButton = [this](const char* name, const QString& text,
                                  void (T_Main::*handler)()) {
        QAction* action = ToolBar1->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    sbConnect = addButton("sbConnect", tr("&Connect"), &T_Main::sbConnectClick);
    sbDisConnect = addButton("sbDisConnect", tr("&Disconnect"), &T_Main::sbDisConnectClick);
    sbStop = addButton("sbStop", tr("&Stop Transfer"), &T_Main::sbStopClick);
    ToolBar1->addSeparator();
    sbExit = ToolBar1->addAction(tr("Exit"));
    sbExit->setObjectName(QStringLiteral("sbExit"));
    connect(sbExit, &QAction::triggered, this, &QWidget::close);
}

void T_Main::buildMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("File1"));
    miConnect =
        addCommand(file, "miConnect", tr("Connect to FTP - Server"), &T_Main::sbConnectClick);
    miDisConnect = addCommand(file, "miDisConnect", tr("Disconnect"), &T_Main::sbDisConnectClick);
    miStop = addCommand(file, "miStop", tr("Stop Transfer"), &T_Main::sbStopClick);
    file->addSeparator();
    miNewServer = file->addAction(tr("New Server"));
    miNewServer->setObjectName(QStringLiteral("miNewServer"));
    connect(miNewServer, &QAction::triggered, &sites_, &TSiteListController::NewSite);
    miServerProperties = file->addAction(tr("Server Properties"));
    miServerProperties->setObjectName(QStringLiteral("miServerProperties"));
    connect(miServerProperties, &QAction::triggered, &sites_, &TSiteListController::Properties);
    file->addSeparator();
    Preferences1 = addCommand(file, "Preferences1", tr("Preferences"), &T_Main::Preferences1Click);
    addCommand(file, "Spawnnewsession1", tr("Create new session"), &T_Main::Spawnnewsession1Click);
    file->addSeparator();
    QAction* exit = file->addAction(tr("&Exit"));
    exit->setObjectName(QStringLiteral("Exit1"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->setObjectName(QStringLiteral("View1"));
    buildViewMenu(view->addMenu(tr("Local computer")), 0);
    buildViewMenu(view->addMenu(tr("Remote computer")), 1);

    QMenu* transfer = menuBar()->addMenu(tr("&Transfer"));
    transfer->setObjectName(QStringLiteral("Transfer1"));
    TransferTypes = new QActionGroup(this);
    const char* names[] = {"miAuto", "miAscii", "miBinary"};
    const QString captions[] = {tr("Auto"), tr("Ascii"), tr("Binary")};
    for (int tag = Auto; tag <= Binary; ++tag) {
        QAction* item = transfer->addAction(captions[tag]);
        item->setObjectName(QString::fromLatin1(names[tag]));
        item->setCheckable(true);
        TransferTypes->addAction(item);
        connect(item, &QAction::triggered, this, [this, tag] { miAutoClick(tag); });
    }

    Language1 = menuBar()->addMenu(tr("Language"));
    Language1->setObjectName(QStringLiteral("Language1"));

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("Help1"));
    QAction* contents = help->addAction(tr("Contents"));
    contents->setObjectName(QStringLiteral("Contents1"));
    connect(contents, &QAction::triggered, this, [this] {
        const std::string path = programFolder_ + HelpFileName;
        if (std::filesystem::exists(path))
            QDesktopServices::openUrl(QUrl::fromLocalFile(ShownText(path)));
    });
}

// The view commands of one pane: tag 0 the local pane, 1 the remote pane.
void T_Main::buildViewMenu(QMenu* menu, int pane) {
    menu->setObjectName(pane == 0 ? QStringLiteral("LocalView1") : QStringLiteral("RemoteView1"));
    const QString suffix = QString::number(pane + 1);
    const char* names[] = {"LargeIcons", "SmallIcons", "List", "Details"};
    const QString captions[] = {tr("&Large Icons"), tr("&Small Icons"), tr("&List"),
                                tr("&Details")};
    auto* styles = new QActionGroup(menu);
    for (int tag = TPaneViews::LargeIcons; tag <= TPaneViews::Details; ++tag) {
        QAction* item = menu->addAction(captions[tag]);
        item->setObjectName(QString::fromLatin1(names[tag]) + suffix);
        item->setCheckable(true);
        item->setChecked(tag == TPaneViews::Details);
        styles->addAction(item);
        connect(item, &QAction::triggered, this, [this, pane, tag] { SetViewStyle(pane, tag); });
    }
    menu->addSeparator();
    if (pane == 0) {
        QAction* lineUp = menu->addAction(tr("&Line up icons"));
        lineUp->setObjectName(QStringLiteral("LineUpIcons1"));
        connect(lineUp, &QAction::triggered, this, [this] {
            if (LocalViews->isAncestorOf(QApplication::focusWidget()))
                LocalViews->LineUpIcons();
        });
    }
    QAction* font = menu->addAction(tr("Font"));
    font->setObjectName(QStringLiteral("Font") + suffix);
    connect(font, &QAction::triggered, this, [this, pane] {
        if (pane == 0) {
            ChooseFont(LocalViews, settings_.FontLeft);
        } else {
            ChooseFont(RemoteViews, settings_.FontRight);
            SiteView->setFont(RemoteViews->font());
        }
    });
}

void T_Main::SetViewStyle(int pane, int style) {
    if (pane == 0) {
        LocalViews->SetViewStyle(style);
        return;
    }
    RemoteViews->SetViewStyle(style);
    ApplyListStyle(SiteView->listView(), style);
}

QWidget* T_Main::buildLocalPane() {
    auto* pane = new QWidget(PaneSplitter);
    QVBoxLayout* layout = makePane(pane, "LocalPanel");
    layout->addWidget(makeCaption(tr("Local computer"), pane));
    LocalPath = makePathBox("LocalPath", pane);
    layout->addWidget(LocalPath);
    lvLoc = makeList("lvLoc", pane);
    // Shows the folder until the local pane's own model takes over.
    auto* files = new QFileSystemModel(lvLoc);
    files->setFilter(QDir::AllEntries | QDir::NoDot);
    lvLoc->setModel(files);
    LocalViews = new TPaneViews(lvLoc, pane);
    LocalViews->ShareModel();
    connect(LocalViews, &TPaneViews::doubleClicked, this, [this, files](const QModelIndex& index) {
        if (files->isDir(index) && QDir::setCurrent(files->filePath(index)))
            ShowLocalFolder();
    });
    layout->addWidget(LocalViews, 1);
    return pane;
}

QWidget* T_Main::buildRemotePane() {
    auto* pane = new QWidget(PaneSplitter);
    QVBoxLayout* layout = makePane(pane, "RemotePanel");
    RemoteCaption = makeCaption(tr("FTP Servers"), pane);
    RemoteCaption->setObjectName(QStringLiteral("RemoteCaption"));
    layout->addWidget(RemoteCaption);

    // The buttons may be cut on a narrow window; the panes keep equal widths.
    auto* buttonRow = new QWidget(pane);
    buttonRow->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    auto* buttons = new QHBoxLayout(buttonRow);
    buttons->setContentsMargins(0, 0, 0, 0);
    bbNewServer = makeButton(buttons, "bbNewServer", tr("New Server"));
    bbProperties = makeButton(buttons, "bbProperties", tr("&Properties"));
    bbMakeDir = makeButton(buttons, "bbMakeDir", tr("MakeDir"));
    bbRename = makeButton(buttons, "bbRename", tr("Rename"));
    bbDelete = makeButton(buttons, "bbDelete", tr("Delete"));
    buttons->addStretch(1);
    layout->addWidget(buttonRow);
    connect(bbNewServer, &QPushButton::clicked, &sites_, &TSiteListController::NewSite);
    connect(bbProperties, &QPushButton::clicked, &sites_, &TSiteListController::Properties);
    connect(bbMakeDir, &QPushButton::clicked, &sites_, &TSiteListController::MakeFolder);
    connect(bbRename, &QPushButton::clicked, &sites_, &TSiteListController::RenameFolder);
    connect(bbDelete, &QPushButton::clicked, &sites_, &TSiteListController::Delete);

    RemoteStack = new QStackedWidget(pane);
    RemoteStack->setObjectName(QStringLiteral("RemoteStack"));
    SiteView = new TSiteListView(sites_, RemoteStack);
    SiteView->setObjectName(QStringLiteral("SiteView"));
    RemoteStack->addWidget(SiteView);

    auto* remote = new QWidget(RemoteStack);
    auto* remoteLayout = new QVBoxLayout(remote);
    remoteLayout->setContentsMargins(0, 0, 0, 0);
    remoteLayout->setSpacing(2);
    auto* pathRow = new QHBoxLayout;
    FTPPath = makePathBox("FTPPath", remote);
    pathRow->addWidget(FTPPath, 1);
    FTPOneLevelUp = makeButton(pathRow, "FTPOneLevelUp", tr("Up One Level"));
    remoteLayout->addLayout(pathRow);
    FTPView = makeList("FTPView", remote);
    RemoteViews = new TPaneViews(FTPView, remote);
    remoteLayout->addWidget(RemoteViews, 1);
    RemoteStack->addWidget(remote);
    layout->addWidget(RemoteStack, 1);

    connect(FTPOneLevelUp, &QPushButton::clicked, this,
            [this] { session_.RemoteView().FTPOneLevelUpClick(); });
    connect(RemoteViews, &TPaneViews::doubleClicked, this,
            [this](const QModelIndex& index) { session_.FTPViewDblClick(index.row()); });
    return pane;
}
