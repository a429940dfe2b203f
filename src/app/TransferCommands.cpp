#include "app/TransferCommands.h"

#include "app/CommandIcon.h"
#include "local/LocalPane.h"
#include "session/SessionController.h"
#include "transfer/TransferQueue.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

// Which pane a drag came from; other programs' drags carry no such type.
constexpr const char* kPaneMime = "application/x-corvane-pane";
constexpr const char* kLocalPane = "local";
constexpr const char* kRemotePane = "remote";

} // namespace

DroppedFiles LocalFilesOfDrop(const QList<QUrl>& urls) {
    namespace fs = std::filesystem;
    DroppedFiles dropped;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            return {{}, {}, "not a local file: " + url.toDisplayString().toStdString()};
        // "file:///tmp/dir/" names the folder itself.
        fs::path path = fs::path(url.toLocalFile().toStdString()).lexically_normal();
        if (!path.has_filename())
            path = path.parent_path();
        const std::string name = path.filename().string();
        std::error_code error;
        const fs::file_status status = fs::status(path, error);
        if (name.empty() || name == "." || name == ".." || !fs::exists(status))
            return {{}, {}, "no such file: " + path.string()};
        const std::string folder = path.parent_path().string();
        if (dropped.Entries.empty())
            dropped.Folder = folder;
        else if (folder != dropped.Folder)
            return {{}, {}, "files of more than one folder: " + dropped.Folder + ", " + folder};
        const bool isFolder = fs::is_directory(status);
        const std::uintmax_t size = isFolder ? 0 : fs::file_size(path, error);
        dropped.Entries.push_back({name, isFolder, isFolder || error ? "" : std::to_string(size)});
    }
    if (dropped.Entries.empty())
        dropped.Error = "no files";
    return dropped;
}

TransferCommands::TransferCommands(session::SessionController& session,
                                   transfer::TransferQueue& queue, local::LocalPane& localPane,
                                   Translator& language, QWidget* window, const Panes& panes)
    : QObject(window), session_(session), queue_(queue), localPane_(localPane), panes_(panes),
      progress_(language, window) {
    upload_ =
        new QAction(CommandIcon("go-up", QStyle::SP_ArrowUp), tr("Upload Selected Files"), this);
    upload_->setObjectName(QStringLiteral("UploadSelectedFiles1"));
    download_ = new QAction(CommandIcon("go-down", QStyle::SP_ArrowDown),
                            tr("Download Selected Files"), this);
    download_->setObjectName(QStringLiteral("DownloadSelectedFiles1"));
    // The tool bar's short names.
    upload_->setIconText(tr("Upload"));
    download_->setIconText(tr("Download"));
    connect(upload_, &QAction::triggered, this, &TransferCommands::StartUpload);
    connect(download_, &QAction::triggered, this, &TransferCommands::StartDownload);

    queue_.SetProgressSink(this);
    // Cancel is the tool bar's Stop: a file in flight is cut at once.
    connect(&progress_, &transfer::ProgressWindow::CancelRequested, &session_,
            &session::SessionController::StopTransfer);

    for (const std::vector<QAbstractItemView*>* views : {&panes_.local, &panes_.remote}) {
        for (QAbstractItemView* view : *views) {
            view->viewport()->setAcceptDrops(true);
            view->viewport()->installEventFilter(this);
            // Kept as they are now: a view being destroyed must not be asked.
            (views == &panes_.local ? localViewports_ : remoteViewports_)
                .push_back(view->viewport());
        }
    }
    connect(&session_, &session::SessionController::CommandsChanged, this,
            &TransferCommands::UpdateCommands);
    connect(&session_.RemoteView(), &remote::RemoteView::SelectionChanged, this,
            &TransferCommands::UpdateCommands);
    connect(&session_.RemoteView(), &remote::RemoteView::ItemsReset, this,
            &TransferCommands::UpdateCommands);
    connect(&localPane_, &local::LocalPane::SelectionChanged, this,
            &TransferCommands::UpdateCommands);
    connect(&localPane_, &local::LocalPane::ItemsReset, this, &TransferCommands::UpdateCommands);
    connect(&session_, &session::SessionController::LocalFilesChanged, this,
            [this] { localPane_.Refresh(); });
    UpdateCommands();
}

bool TransferCommands::CanStart() const {
    return session_.ConnectedCommands() && !session_.TransferBusy() && session_.EngineReady();
}

void TransferCommands::UpdateCommands() {
    const bool idle = session_.ConnectedCommands() && !session_.TransferBusy();
    upload_->setEnabled(idle && localPane_.AnySelected());
    const std::vector<remote::RemoteItem>& items = session_.RemoteView().Items();
    download_->setEnabled(idle && std::any_of(items.begin(), items.end(), [](const auto& item) {
                              return item.selected && item.caption != "..";
                          }));
}

void TransferCommands::StartUpload() {
    if (!CanStart())
        return;
    std::vector<transfer::SelectedEntry> selection;
    for (const local::SelectedEntry& entry : localPane_.Selected())
        selection.push_back({entry.name, entry.folder, entry.folder ? std::string() : entry.size});
    // The top level's existence and resume look-ups: the files shown on the right.
    std::vector<transfer::RemoteFile> remoteFiles;
    for (const remote::RemoteItem& item : session_.RemoteView().Items()) {
        if (item.icon == remote::PaneIcon::File)
            remoteFiles.push_back({item.caption, item.size});
    }
    queue_.StartUpload(selection, localPane_.Folder(), std::move(remoteFiles));
    UpdateCommands();
}

void TransferCommands::UploadDroppedFiles(const DroppedFiles& files) {
    if (!CanStart() || !files.Error.empty())
        return;
    // Whatever the local pane shows: the files come from their own folder.
    std::vector<transfer::RemoteFile> remoteFiles;
    for (const remote::RemoteItem& item : session_.RemoteView().Items()) {
        if (item.icon == remote::PaneIcon::File)
            remoteFiles.push_back({item.caption, item.size});
    }
    queue_.StartUpload(files.Entries, files.Folder, std::move(remoteFiles));
    UpdateCommands();
}

void TransferCommands::StartDownload() {
    if (!CanStart())
        return;
    std::vector<transfer::SelectedEntry> selection;
    for (const remote::RemoteItem& item : session_.RemoteView().Items()) {
        if (item.selected)
            selection.push_back({item.caption, item.icon == remote::PaneIcon::Folder, item.size});
    }
    queue_.StartDownload(selection, localPane_.Folder());
    UpdateCommands();
}

void TransferCommands::Close() {
    progress_.Close();
    UpdateCommands();
}

// --- drag and drop --------------------------------------------------------------------

TransferCommands::Side TransferCommands::SideOf(QObject* viewport) const {
    const auto holds = [viewport](const std::vector<QObject*>& viewports) {
        return std::find(viewports.begin(), viewports.end(), viewport) != viewports.end();
    };
    if (holds(localViewports_))
        return Side::Local;
    if (holds(remoteViewports_))
        return Side::Remote;
    return Side::None;
}

bool TransferCommands::AcceptsDrop(Side onto, const QMimeData* data) const {
    if (data == nullptr || !CanStart())
        return false;
    if (!data->hasFormat(QLatin1String(kPaneMime)))
        return onto == Side::Remote && data->hasUrls() &&
               LocalFilesOfDrop(data->urls()).Error.empty();
    const QByteArray from = data->data(QLatin1String(kPaneMime));
    return (onto == Side::Remote && from == kLocalPane) ||
           (onto == Side::Local && from == kRemotePane);
}

void TransferCommands::StartDrag(Side from, QAbstractItemView* view) {
    auto* data = new QMimeData;
    data->setData(QLatin1String(kPaneMime), from == Side::Local ? kLocalPane : kRemotePane);
    QDrag drag(view);
    drag.setMimeData(data); // the drag owns it
    drag.setPixmap((from == Side::Local ? upload_ : download_)->icon().pixmap(32));
    drag.exec(Qt::CopyAction);
}

bool TransferCommands::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
        type != QEvent::MouseMove && type != QEvent::DragEnter && type != QEvent::DragMove &&
        type != QEvent::Drop)
        return false;
    const Side side = SideOf(watched);
    auto* view = qobject_cast<QAbstractItemView*>(watched->parent());
    if (side == Side::None || view == nullptr)
        return false;
    if (type == QEvent::MouseButtonPress) {
        const auto* press = static_cast<QMouseEvent*>(event);
        pressedAt_ = press->position().toPoint();
        const QModelIndex index = view->indexAt(pressedAt_);
        pressedOnItem_ = press->button() == Qt::LeftButton && index.isValid();
        // A press on one of several selected rows keeps them for a drag.
        keptSelection_ = pressedOnItem_ && press->modifiers() == Qt::NoModifier &&
                         view->selectionModel()->isSelected(index) &&
                         view->selectionModel()->selectedRows().size() > 1;
        return keptSelection_;
    }
    if (type == QEvent::MouseButtonRelease) {
        const auto* release = static_cast<QMouseEvent*>(event);
        const bool wasKept = keptSelection_;
        pressedOnItem_ = keptSelection_ = false;
        const QModelIndex index = view->indexAt(release->position().toPoint());
        if (wasKept && index.isValid()) {
            // No drag came of it: the click selects that row alone.
            view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                               QItemSelectionModel::Rows);
        }
        return false;
    }
    if (type == QEvent::MouseMove) {
        const auto* move = static_cast<QMouseEvent*>(event);
        if (!pressedOnItem_ || !(move->buttons() & Qt::LeftButton))
            return false;
        if ((move->position().toPoint() - pressedAt_).manhattanLength() <
            QApplication::startDragDistance())
            return true;
        // The press has selected the row by now, or it was selected before.
        const QModelIndex index = view->indexAt(pressedAt_);
        pressedOnItem_ = keptSelection_ = false;
        if (index.isValid() && view->selectionModel()->isSelected(index) && CanStart())
            StartDrag(side, view);
        return true;
    }
    if (type == QEvent::DragEnter || type == QEvent::DragMove) {
        auto* drag = static_cast<QDropEvent*>(event);
        if (AcceptsDrop(side, drag->mimeData()))
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    if (type == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        if (!AcceptsDrop(side, drop->mimeData())) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        if (!drop->mimeData()->hasFormat(QLatin1String(kPaneMime))) {
            // The drop's data goes with the event: the list is taken now.
            QMetaObject::invokeMethod(
                this,
                [this, files = LocalFilesOfDrop(drop->mimeData()->urls())] {
                    UploadDroppedFiles(files);
                },
                Qt::QueuedConnection);
            return true;
        }
        // After the drag's own event loop has ended.
        QMetaObject::invokeMethod(this,
                                  side == Side::Remote ? &TransferCommands::StartUpload
                                                       : &TransferCommands::StartDownload,
                                  Qt::QueuedConnection);
        return true;
    }
    return false;
}
