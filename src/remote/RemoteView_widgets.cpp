#include "remote/RemoteView_widgets.h"

#include "remote/RemoteView.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QSignalBlocker>
#include <QStyle>
#include <QTreeView>
#include <algorithm>
#include <array>

namespace remote {

namespace {

struct Column {
    const char* title;
    std::string TRemoteItem::*text;
};
constexpr std::array<Column, 6> Columns = {{
    {"Filename", &TRemoteItem::caption},
    {"Size", &TRemoteItem::size},
    {"Date", &TRemoteItem::date},
    {"Time", &TRemoteItem::time},
    {"Attribute", &TRemoteItem::attributes},
    {"Links", &TRemoteItem::links},
}};
constexpr int NameMargin = 30;      // beside the widest name
constexpr int WholeLineMargin = 14; // a whole-line name column spans the pane but this
constexpr int SortableColumns = 5;  // all but "Links"

QString Shown(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

int ColumnTag(int section) {
    return section >= 0 && section < SortableColumns ? section + 1 : 0;
}

TRemoteItemModel::TRemoteItemModel(const TRemoteView& view, QObject* parent)
    : QAbstractTableModel(parent), view_(view) {
    connect(&view_, &TRemoteView::ItemsAboutToBeReset, this, &TRemoteItemModel::beginResetModel);
    connect(&view_, &TRemoteView::ItemsReset, this, &TRemoteItemModel::endResetModel);
    connect(&view_, &TRemoteView::LayoutAboutToBeChanged, this, &TRemoteItemModel::BeforeSort);
    connect(&view_, &TRemoteView::LayoutChanged, this, &TRemoteItemModel::AfterSort);
}

int TRemoteItemModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(view_.Items().size());
}

int TRemoteItemModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(Columns.size());
}

QVariant TRemoteItemModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const TRemoteItem& item = view_.Items()[static_cast<std::size_t>(index.row())];
    if (role == Qt::DecorationRole && index.column() == 0) {
        const QStyle::StandardPixmap icon =
            item.icon == PaneIcon::File ? QStyle::SP_FileIcon : QStyle::SP_DirIcon;
        return QApplication::style()->standardIcon(icon);
    }
    if (role == Qt::TextAlignmentRole && index.column() == 1)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole || index.column() >= columnCount())
        return {};
    return Shown(item.*Columns[static_cast<std::size_t>(index.column())].text);
}

QVariant TRemoteItemModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= columnCount())
        return {};
    return QString::fromLatin1(Columns[static_cast<std::size_t>(section)].title);
}

void TRemoteItemModel::BeforeSort() {
    emit layoutAboutToBeChanged();
    sortedIndexes_ = persistentIndexList();
}

// Moves the selection and the current item along with their rows.
void TRemoteItemModel::AfterSort() {
    const std::vector<int>& oldRowAt = view_.SortPermutation();
    std::vector<int> newRowOf(oldRowAt.size());
    for (std::size_t row = 0; row < oldRowAt.size(); ++row)
        newRowOf[static_cast<std::size_t>(oldRowAt[row])] = static_cast<int>(row);
    QModelIndexList moved;
    moved.reserve(sortedIndexes_.size());
    for (const QModelIndex& old : sortedIndexes_) {
        const auto row = static_cast<std::size_t>(old.row());
        moved.append(row < newRowOf.size() ? index(newRowOf[row], old.column()) : QModelIndex());
    }
    changePersistentIndexList(sortedIndexes_, moved);
    sortedIndexes_.clear();
    emit layoutChanged();
}

TRemoteViewBinding::TRemoteViewBinding(TRemoteView& view, QTreeView* list, QComboBox* pathBox,
                                       QLabel* summary)
    : QObject(list), view_(view), list_(list), pathBox_(pathBox), summary_(summary),
      model_(new TRemoteItemModel(view, this)) {
    list_->setModel(model_);
    list_->setSortingEnabled(false); // the model sorts, once per listing
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->header()->setSectionsClickable(true);
    connect(list_->header(), &QHeaderView::sectionClicked, this,
            [this](int section) { view_.FTPViewColumnClick(ColumnTag(section)); });
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TRemoteViewBinding::TakeSelection);
    connect(&view_, &TRemoteView::ItemsReset, this, &TRemoteViewBinding::FitNameColumn);
    connect(&view_, &TRemoteView::SelectionChanged, this, &TRemoteViewBinding::ShowSummary);
    connect(&view_, &TRemoteView::ItemsReset, this, &TRemoteViewBinding::ShowSummary);
    connect(&view_, &TRemoteView::PathBoxChanged, this, &TRemoteViewBinding::ShowPathBox);
    connect(pathBox_, &QComboBox::activated, this,
            [this](int index) { view_.FTPPathChange(index); });
    ShowPathBox();
    ShowSummary();
}

void TRemoteViewBinding::FitNameColumn() {
    if (view_.WholeLineNames()) {
        list_->setColumnWidth(0, list_->viewport()->width() - WholeLineMargin);
        return;
    }
    const QFontMetrics metrics = list_->fontMetrics();
    int widest = 0;
    for (const TRemoteItem& item : view_.Items())
        widest = std::max(widest, metrics.horizontalAdvance(Shown(item.caption)));
    list_->setColumnWidth(0, widest + NameMargin);
}

void TRemoteViewBinding::ShowPathBox() {
    const QSignalBlocker quiet(pathBox_);
    const TPathBox& box = view_.PathBox();
    pathBox_->clear();
    for (const std::string& item : box.items)
        pathBox_->addItem(Shown(item));
    pathBox_->setCurrentIndex(box.selected);
    pathBox_->setEnabled(box.enabled);
}

void TRemoteViewBinding::TakeSelection() {
    std::vector<int> rows;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows())
        rows.push_back(index.row());
    view_.SetSelection(rows);
}

void TRemoteViewBinding::ShowSummary() {
    if (!summary_)
        return;
    const TSelectionSummary summary = view_.Summary();
    summary_->setVisible(summary.Visible());
    summary_->setText(Shown(summary.Text()));
}

} // namespace remote
