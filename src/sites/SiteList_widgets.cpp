#include "sites/SiteList_widgets.h"

#include "prefs/TextFile.h"
#include "prefs/look_widgets.h"
#include "sites/SiteListController.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QIcon>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

namespace {

constexpr int IconSize = 16;

// Names from older list files are in their 8-bit code page.
QString Caption(const std::string& text) {
    return ShownText(ToUtf8(text));
}

QIcon KindIcon(SiteEntryKind kind) {
    QStyle* style = QApplication::style();
    switch (kind) {
    case SiteEntryKind::Up:
        return style->standardIcon(QStyle::SP_FileDialogToParent);
    case SiteEntryKind::Folder:
        return style->standardIcon(QStyle::SP_DirIcon);
    case SiteEntryKind::Site:
        return style->standardIcon(QStyle::SP_DriveNetIcon);
    }
    return {};
}

// The site icon with a padlock in its lower right corner, drawn here so it
// shows whatever the desktop's icon theme holds.
QIcon LockedSiteIcon() {
    QIcon icon;
    for (const int size : {IconSize, 2 * IconSize}) {
        // The style may give a smaller pixmap than asked for (or none).
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.drawPixmap(QRect(0, 0, size, size),
                           KindIcon(SiteEntryKind::Site).pixmap(size, size));
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 16.0, size / 16.0);
        const QColor edge(0x4a, 0x38, 0x00);
        QPainterPath shackle;
        shackle.moveTo(9.5, 10);
        shackle.lineTo(9.5, 7.5);
        shackle.arcTo(QRectF(9.5, 5.5, 4.5, 4.5), 180, -180);
        shackle.lineTo(14, 10);
        painter.setPen(QPen(edge, 1.4));
        painter.drawPath(shackle);
        painter.setPen(QPen(edge, 0.8));
        painter.setBrush(QColor(0xf2, 0xc0, 0x1e));
        painter.drawRoundedRect(QRectF(8, 9.5, 7.5, 6), 1, 1);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

bool RequiresTls(const SiteEntry& entry) {
    if (entry.Kind != SiteEntryKind::Site)
        return false;
    switch (EncryptionOf(entry.Site)) {
    case SiteEncryption::Plain:
    case SiteEncryption::ExplicitIfOffered:
        return false;
    case SiteEncryption::Explicit:
    case SiteEncryption::Implicit:
        return true;
    }
    return false;
}

// A drag names its model, so rows from another list are never taken for ours.
QByteArray ModelTag(const void* model) {
    return QByteArray::number(reinterpret_cast<quintptr>(model));
}

} // namespace

SiteListItemModel::SiteListItemModel(SiteListController& controller, QObject* parent)
    : QAbstractListModel(parent), controller_(controller), model_(controller.Model()),
      lockedSiteIcon_(LockedSiteIcon()) {
    const SiteListModel* m = &model_;
    connect(m, &SiteListModel::AboutToReset, this, &SiteListItemModel::beginResetModel);
    connect(m, &SiteListModel::WasReset, this, &SiteListItemModel::endResetModel);
    connect(m, &SiteListModel::AboutToInsert, this,
            [this](int first, int last) { beginInsertRows({}, first, last); });
    connect(m, &SiteListModel::Inserted, this, &SiteListItemModel::endInsertRows);
    connect(m, &SiteListModel::AboutToRemove, this,
            [this](int first, int last) { beginRemoveRows({}, first, last); });
    connect(m, &SiteListModel::Removed, this, &SiteListItemModel::endRemoveRows);
    connect(m, &SiteListModel::Changed, this, [this](int row) {
        const QModelIndex changedIndex = index(row);
        emit dataChanged(changedIndex, changedIndex);
    });
}

int SiteListItemModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : model_.Count();
}

QVariant SiteListItemModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= model_.Count())
        return {};
    const SiteEntry& entry = model_.Entry(index.row());
    if (role == Qt::DisplayRole)
        return Caption(entry.Name);
    if (role == Qt::ToolTipRole)
        return RequiresTls(entry) ? Caption(entry.Name) + tr(" (FTP over TLS required)")
                                  : Caption(entry.Name);
    if (role == Qt::DecorationRole)
        return RequiresTls(entry) ? lockedSiteIcon_ : KindIcon(entry.Kind);
    return {};
}

Qt::ItemFlags SiteListItemModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractListModel::flags(index);
    if (!index.isValid() || index.row() >= model_.Count())
        return flags;
    switch (model_.Entry(index.row()).Kind) {
    case SiteEntryKind::Up:
        break;
    case SiteEntryKind::Folder:
        flags |= Qt::ItemIsDropEnabled;
        break;
    case SiteEntryKind::Site:
        flags |= Qt::ItemIsDragEnabled;
        break;
    }
    return flags;
}

Qt::DropActions SiteListItemModel::supportedDropActions() const {
    return Qt::MoveAction;
}

QStringList SiteListItemModel::mimeTypes() const {
    return {QLatin1String(MimeType)};
}

QMimeData* SiteListItemModel::mimeData(const QModelIndexList& indexes) const {
    QByteArray rows = ModelTag(&model_);
    for (const QModelIndex& index : indexes)
        rows += '\n' + QByteArray::number(index.row());
    auto* data = new QMimeData;
    data->setData(QLatin1String(MimeType), rows);
    return data;
}

std::vector<int> SiteListItemModel::DraggedSites(const QMimeData* data) const {
    if (!data)
        return {};
    const QList<QByteArray> parts = data->data(QLatin1String(MimeType)).split('\n');
    if (parts.isEmpty() || parts.constFirst() != ModelTag(&model_))
        return {};
    std::vector<int> rows;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        bool ok = false;
        const int row = parts.at(i).toInt(&ok);
        if (!ok || row < 0 || row >= model_.Count() ||
            model_.Entry(row).Kind != SiteEntryKind::Site)
            return {};
        rows.push_back(row);
    }
    return rows;
}

bool SiteListItemModel::canDropMimeData(const QMimeData* data, Qt::DropAction action, int, int,
                                        const QModelIndex& parent) const {
    return action == Qt::MoveAction && parent.isValid() && parent.row() < model_.Count() &&
           model_.Entry(parent.row()).Kind == SiteEntryKind::Folder && !DraggedSites(data).empty();
}

bool SiteListItemModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row,
                                     int column, const QModelIndex& parent) {
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    std::vector<int> sites = DraggedSites(data);
    std::sort(sites.rbegin(), sites.rend());
    // Sites sort after folders, so moving one never shifts the folder's row.
    bool moved = false;
    for (const int site : sites)
        moved = controller_.MoveSiteToFolder(site, parent.row()) || moved;
    return moved;
}

SiteListView::SiteListView(SiteListController& controller, QWidget* parent)
    : QWidget(parent), controller_(controller), model_(controller.Model()) {
    setObjectName(QStringLiteral("SiteListView"));
    cbSitePath = new QComboBox(this);
    cbSitePath->setObjectName(QStringLiteral("cbSitePath"));
    itemModel_ = new SiteListItemModel(controller, this);
    lvSites = new QListView(this);
    lvSites->setObjectName(QStringLiteral("lvSites"));
    lvSites->setModel(itemModel_);
    lvSites->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvSites->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvSites->setDragDropMode(QAbstractItemView::DragDrop);
    lvSites->setDefaultDropAction(Qt::MoveAction);
    lvSites->setDropIndicatorShown(true);
    lvSites->setIconSize(QSize(IconSize, IconSize)); // the style's icons differ in size
    lvSites->viewport()->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(cbSitePath);
    layout->addWidget(lvSites, 1);

    pmSites = new QMenu(this);
    pmSites->setObjectName(QStringLiteral("pmSites"));
    AddAction("pmSiteOpen", "Open", &SiteListController::OpenSelected,
              {Qt::Key_Return, Qt::Key_Enter});
    AddAction("pmSiteUp", "Up One Level", &SiteListController::UpOneLevel,
              {Qt::Key_Backspace, QKeySequence(Qt::ALT | Qt::Key_Up)});
    pmSites->addSeparator();
    AddAction("pmSiteNew", "New Server", &SiteListController::NewSite);
    AddAction("pmSiteProperties", "Server Properties", &SiteListController::Properties);
    AddAction("pmSiteDelete", "Delete Server/Dir/File", &SiteListController::Delete,
              {QKeySequence(Qt::Key_Delete)});
    AddAction("pmSiteMakeDir", "Make directory", &SiteListController::MakeFolder);
    AddAction("pmSiteRename", "Rename", &SiteListController::RenameFolder, {Qt::Key_F2});
    pmSites->addSeparator();
    AddAction("pmSiteRefresh", "Refresh", &SiteListController::Refresh, {Qt::Key_F5});

    connect(&model_, &SiteListModel::PathChanged, this, &SiteListView::FillPathList);
    connect(&model_, &SiteListModel::SelectionChanged, this, &SiteListView::SelectionFromModel);
    connect(lvSites->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &SiteListView::SelectionToModel);
    connect(cbSitePath, &QComboBox::activated, &controller_, &SiteListController::ChoosePathEntry);
    FillPathList();
    SelectionFromModel();
}

void SiteListView::AddAction(const char* name, const char* caption,
                             void (SiteListController::*operation)(),
                             const QList<QKeySequence>& keys) {
    QAction* action = pmSites->addAction(QString::fromUtf8(caption));
    action->setObjectName(QLatin1String(name));
    // The keys act while the list has the focus; the pane beside it has its own.
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    lvSites->addAction(action);
    connect(action, &QAction::triggered, &controller_, operation);
}

bool SiteListView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lvSites->viewport()) {
        if (event->type() == QEvent::MouseButtonDblClick) {
            // The entry under the mouse, or none on empty space (a new site).
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const QModelIndex index = lvSites->indexAt(mouse->position().toPoint());
            model_.SetSelectedRows(index.isValid() ? std::vector<int>{index.row()}
                                                   : std::vector<int>{});
            controller_.OpenSelected();
            return true;
        }
        if (event->type() == QEvent::ContextMenu) {
            pmSites->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SiteListView::FillPathList() {
    const QSignalBlocker blocker(cbSitePath);
    cbSitePath->clear();
    for (const std::string& name : model_.PathList())
        cbSitePath->addItem(Caption(name));
    cbSitePath->setCurrentIndex(model_.PathIndex());
}

void SiteListView::SelectionFromModel() {
    if (syncing_)
        return;
    syncing_ = true;
    QItemSelection selection;
    for (const int row : model_.SelectedRows())
        selection.select(itemModel_->index(row), itemModel_->index(row));
    QItemSelectionModel* selected = lvSites->selectionModel();
    selected->select(selection, QItemSelectionModel::ClearAndSelect);
    if (const int first = model_.Selected(); first >= 0) {
        selected->setCurrentIndex(itemModel_->index(first), QItemSelectionModel::NoUpdate);
        lvSites->scrollTo(itemModel_->index(first));
    }
    syncing_ = false;
}

void SiteListView::SelectionToModel() {
    if (syncing_)
        return;
    syncing_ = true;
    std::vector<int> rows;
    for (const QModelIndex& index : lvSites->selectionModel()->selectedIndexes())
        rows.push_back(index.row());
    model_.SetSelectedRows(rows);
    syncing_ = false;
}
