#include "uMain.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

constexpr int DefaultWidth = 900;
constexpr int DefaultHeight = 600;
// The log takes about a quarter of the height below the tool bar.
constexpr int LogHeight = DefaultHeight / 4;

// A pane is a column: caption bar, path box, then the list, which takes the
// spare height.
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
    box->setEditable(true);
    return box;
}

QTreeView* makeList(const char* objectName, QWidget* pane) {
    auto* list = new QTreeView(pane);
    list->setObjectName(QString::fromLatin1(objectName));
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    return list;
}

} // namespace

T_Main::T_Main(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("T_Main"));
    setWindowTitle(QStringLiteral("Corvane"));
    resize(DefaultWidth, DefaultHeight);

    buildToolBar();

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
    LogSplitter->addWidget(PaneSplitter);
    LogSplitter->addWidget(Log);
    LogSplitter->setSizes({DefaultHeight - LogHeight, LogHeight});

    setCentralWidget(LogSplitter);
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
}

void T_Main::buildToolBar() {
    ToolBar1 = addToolBar(QStringLiteral("Tool bar"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextOnly);

    // Placeholders: the session controller wires and enables them.
    const auto addButton = [this](const char* name, const QString& text) {
        QAction* action = ToolBar1->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        action->setEnabled(false);
        return action;
    };
    sbConnect = addButton("sbConnect", tr("&Connect"));
    sbDisConnect = addButton("sbDisConnect", tr("&Disconnect"));
    sbStop = addButton("sbStop", tr("&Stop Transfer"));
}

QWidget* T_Main::buildLocalPane() {
    auto* pane = new QWidget(PaneSplitter);
    QVBoxLayout* layout = makePane(pane, "LocalPanel");
    layout->addWidget(makeCaption(tr("Local computer"), pane));
    LocalPath = makePathBox("LocalPath", pane);
    layout->addWidget(LocalPath);
    lvLoc = makeList("lvLoc", pane);
    layout->addWidget(lvLoc, 1);
    return pane;
}

QWidget* T_Main::buildRemotePane() {
    auto* pane = new QWidget(PaneSplitter);
    QVBoxLayout* layout = makePane(pane, "RemotePanel");
    RemoteCaption = makeCaption(tr("FTP Servers"), pane);
    RemoteCaption->setObjectName(QStringLiteral("RemoteCaption"));
    layout->addWidget(RemoteCaption);
    FTPPath = makePathBox("FTPPath", pane);
    layout->addWidget(FTPPath);
    FTPView = makeList("FTPView", pane);
    layout->addWidget(FTPView, 1);
    return pane;
}
