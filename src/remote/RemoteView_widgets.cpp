#include "remote/RemoteView_widgets.h"

#include "remote/FileIcons_widgets.h"
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
#include <string_view>
#include <vector>

namespace remote {

namespace {

constexpr std::array<const char*, 6> Columns = {"Filename", "Size",      "Date",
                                                "Time",     "Attribute", "Links"};
// Beyond this many names, only the longest are measured: measuring a hundred
// thousand would hold the window up, and the widest is among the longest.
constexpr std::size_t MeasuredNames = 1000;
constexpr int NameMargin = 30;      // beside the widest name
constexpr int WholeLineMargin = 14; // a whole-line name column spans the pane but this
constexpr int SortableColumns = 5;  // all but "Links"

QString Shown(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The texts of a row are made for the rows the view paints.
QString ColumnText(const RemoteView& view, const RemoteItem& item, int column) {
    switch (column) {
    case 0:
        return Shown(item.caption);
    case 1:
        return Shown(item.size);
    case 2:
        return Shown(view.DateText(item));
    case 3:
        return Shown(item.Time());
    case 4:
        return Shown(item.attributes);
    default:
        return Shown(item.Links());
    }
}

} // namespace

int ColumnTag(int section) {
    return section >= 0 && section < SortableColumns ? section + 1 : 0;
}

RemoteItemModel::RemoteItemModel(const RemoteView& view, QObject* parent)
    : QAbstractTableModel(parent), view_(view) {
    connect(&view_, &RemoteView::ItemsAboutToBeReset, this, &RemoteItemModel::beginResetModel);
    connect(&view_, &RemoteView::ItemsReset, this, &RemoteItemModel::endResetModel);
    connect(&view_, &RemoteView::LayoutAboutToBeChanged, this, &RemoteItemModel::BeforeSort);
    connect(&view_, &RemoteView::LayoutChanged, this, &RemoteItemModel::AfterSort);
}

int RemoteItemModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(view_.Items().size());
}

int RemoteItemModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(Columns.size());
}

QVariant RemoteItemModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const RemoteItem& item = view_.Items()[static_cast<std::size_t>(index.row())];
    if (role == Qt::DecorationRole && index.column() == 0) {
        const bool file = item.icon == PaneIcon::File;
        return FileTypeIcon(Shown(item.caption),
                            item.link
                                ? (file ? FileIconKind::LinkToFile : FileIconKind::LinkToFolder)
                                : (file ? FileIconKind::File : FileIconKind::Folder));
    }
    if (role == Qt::TextAlignmentRole && index.column() == 1)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole || index.column() >= columnCount())
        return {};
    return ColumnText(view_, item, index.column());
}

QVariant RemoteItemModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= columnCount())
        return {};
    return QString::fromLatin1(Columns[static_cast<std::size_t>(section)]);
}

void RemoteItemModel::BeforeSort() {
    emit layoutAboutToBeChanged();
    sortedIndexes_ = persistentIndexList();
}

// Moves the selection and the current item along with their rows.
void RemoteItemModel::AfterSort() {
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

RemoteViewBinding::RemoteViewBinding(RemoteView& view, QTreeView* list, QComboBox* pathBox,
                                     QLabel* summary)
    : QObject(list), view_(view), list_(list), pathBox_(pathBox), summary_(summary),
      model_(new RemoteItemModel(view, this)) {
    list_->setModel(model_);
    list_->setSortingEnabled(false); // the model sorts, once per listing
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->header()->setSectionsClickable(true);
    connect(list_->header(), &QHeaderView::sectionClicked, this,
            [this](int section) { view_.SortByColumn(ColumnTag(section)); });
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &RemoteViewBinding::TakeSelection);
    connect(&view_, &RemoteView::ItemsReset, this, &RemoteViewBinding::FitNameColumn);
    connect(&view_, &RemoteView::SelectionChanged, this, &RemoteViewBinding::ShowSummary);
    connect(&view_, &RemoteView::ItemsReset, this, &RemoteViewBinding::ShowSummary);
    connect(&view_, &RemoteView::PathBoxChanged, this, &RemoteViewBinding::ShowPathBox);
    connect(pathBox_, &QComboBox::activated, this,
            [this](int index) { view_.ChangeToPathBoxEntry(index); });
    ShowPathBox();
    ShowSummary();
}

void RemoteViewBinding::FitNameColumn() {
    if (view_.WholeLineNames()) {
        list_->setColumnWidth(0, list_->viewport()->width() - WholeLineMargin);
        return;
    }
    const QFontMetrics metrics = list_->fontMetrics();
    std::vector<std::string_view> names;
    names.reserve(view_.Items().size());
    for (const RemoteItem& item : view_.Items())
        names.push_back(item.caption);
    if (names.size() > MeasuredNames) {
        std::nth_element(
            names.begin(), names.begin() + MeasuredNames, names.end(),
            [](std::string_view a, std::string_view b) { return a.size() > b.size(); });
        names.resize(MeasuredNames);
    }
    int widest = 0;
    for (const std::string_view name : names)
        widest = std::max(widest, metrics.horizontalAdvance(Shown(name)));
    list_->setColumnWidth(0, widest + NameMargin);
}

void RemoteViewBinding::ShowPathBox() {
    const QSignalBlocker quiet(pathBox_);
    const PathBox& box = view_.PathBox();
    pathBox_->clear();
    for (const std::string& item : box.items)
        pathBox_->addItem(Shown(item));
    pathBox_->setCurrentIndex(box.selected);
    pathBox_->setEnabled(box.enabled);
}

void RemoteViewBinding::TakeSelection() {
    std::vector<int> rows;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows())
        rows.push_back(index.row());
    view_.SetSelection(rows);
}

void RemoteViewBinding::ShowSummary() {
    if (!summary_)
        return;
    const SelectionSummary summary = view_.Summary();
    summary_->setVisible(summary.Visible());
    summary_->setText(Shown(summary.Text()));
}

} // namespace remote
