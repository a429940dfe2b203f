#pragma once

#include <QMainWindow>

class QAction;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QSplitter;
class QToolBar;
class QTreeView;

// The main window: composition root of the program. For now it only lays out
// the frame (tool bar, local and remote panes, log, status bar); the area
// objects fill it.
class T_Main : public QMainWindow {
    Q_OBJECT

public:
    explicit T_Main(QWidget* parent = nullptr);

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

    QAction* connectAction() const { return sbConnect; }
    QAction* disconnectAction() const { return sbDisConnect; }
    QAction* stopAction() const { return sbStop; }

private:
    void buildToolBar();
    QWidget* buildLocalPane();
    QWidget* buildRemotePane();

    QToolBar* ToolBar1 = nullptr;
    QAction* sbConnect = nullptr;
    QAction* sbDisConnect = nullptr;
    QAction* sbStop = nullptr;

    QSplitter* LogSplitter = nullptr;
    QSplitter* PaneSplitter = nullptr;

    QWidget* LocalPanel = nullptr;
    QComboBox* LocalPath = nullptr;
    QTreeView* lvLoc = nullptr;

    QWidget* RemotePanel = nullptr;
    QLabel* RemoteCaption = nullptr;
    QComboBox* FTPPath = nullptr;
    QTreeView* FTPView = nullptr;

    QPlainTextEdit* Log = nullptr;
};
