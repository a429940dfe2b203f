#pragma once

#include "transfer/ProgressSink.h"
#include "transfer/Progress_dialog.h"
#include "transfer/TransferQueue.h"

#include <QList>
#include <QObject>
#include <QPoint>
#include <QUrl>
#include <string>
#include <vector>

class QAbstractItemView;
class QAction;
class QMimeData;
class QWidget;
class Translator;
namespace local {
class LocalPane;
}
namespace session {
class SessionController;
}

// Files dragged in from a file manager (a URL list), as the upload takes
// them: their folder and their names. `Error` says why a drop is refused:
// a URL that is not a local file, a file that is gone, files of several
// folders, or no file at all.
struct DroppedFiles {
    std::string Folder;
    std::vector<transfer::SelectedEntry> Entries;
    std::string Error;
};
DroppedFiles LocalFilesOfDrop(const QList<QUrl>& urls);

// The commands that move files: "Upload Selected Files", "Download Selected
// Files", dragging a selection from one pane onto the other, and the progress
// window with its Cancel. They start the transfer queue with the panes'
// selections and keep their enablement with the session and the selections.
class TransferCommands : public QObject, public transfer::ProgressSink {
    Q_OBJECT

public:
    struct Panes {
        std::vector<QAbstractItemView*> local;  // every view of the local list
        std::vector<QAbstractItemView*> remote; // every view of the remote directory
    };

    TransferCommands(session::SessionController& session, transfer::TransferQueue& queue,
                     local::LocalPane& localPane, Translator& language, QWidget* window,
                     const Panes& panes);

    QAction* Upload() const { return upload_; }
    QAction* Download() const { return download_; }
    transfer::ProgressWindow& Progress() { return progress_; }

    void StartUpload();
    void StartDownload();
    // Files from a file manager, dropped onto the remote pane.
    void UploadDroppedFiles(const DroppedFiles& files);
    // The enablement: connected, idle and something selected on that side.
    void UpdateCommands();

    // The queue's progress window; its end also ends the transfer's busy look.
    void Open() override { progress_.Open(); }
    void StartFile(const std::string& path, std::int64_t size,
                   transfer::Direction direction) override {
        progress_.StartFile(path, size, direction);
    }
    void Update(std::int64_t bytes) override { progress_.Update(bytes); }
    void EndFile() override { progress_.EndFile(); }
    void Close() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Side { None, Local, Remote };

    bool CanStart() const;
    Side SideOf(QObject* viewport) const;
    // A drag of one pane's selection, begun on a selected row.
    void StartDrag(Side from, QAbstractItemView* view);
    bool AcceptsDrop(Side onto, const QMimeData* data) const;

    session::SessionController& session_;
    transfer::TransferQueue& queue_;
    local::LocalPane& localPane_;
    Panes panes_;
    std::vector<QObject*> localViewports_;
    std::vector<QObject*> remoteViewports_;
    transfer::ProgressWindow progress_;
    QAction* upload_ = nullptr;
    QAction* download_ = nullptr;
    QPoint pressedAt_;
    bool pressedOnItem_ = false;
    bool keptSelection_ = false; // the press was held back from the view
};
