#include "PaneViews.h"

#include <QHeaderView>
#include <QListView>
#include <QTreeView>

namespace {

constexpr int LargeIconSize = 32;
constexpr int SmallIconSize = 16;

} // namespace

void ApplyListStyle(QListView* list, int style) {
    if (style != PaneViews::LargeIcons && style != PaneViews::SmallIcons &&
        style != PaneViews::List) {
        // A plain column of rows, as the list was built: one row under the
        // next, each as high as its text.
        list->setViewMode(QListView::ListMode);
        list->setFlow(QListView::TopToBottom);
        list->setWrapping(false);
        list->setResizeMode(QListView::Fixed);
        list->setMovement(QListView::Static);
        list->setIconSize(QSize(SmallIconSize, SmallIconSize));
        return;
    }
    const bool icons = style == PaneViews::LargeIcons || style == PaneViews::SmallIcons;
    list->setViewMode(icons ? QListView::IconMode : QListView::ListMode);
    const int size = style == PaneViews::LargeIcons ? LargeIconSize : SmallIconSize;
    list->setIconSize(QSize(size, size));
    // Small icons run in rows, a list in columns, as desktop file views do.
    list->setFlow(style == PaneViews::List ? QListView::TopToBottom : QListView::LeftToRight);
    list->setWrapping(true);
    list->setResizeMode(QListView::Adjust);
    list->setMovement(icons ? QListView::Snap : QListView::Static);
}

void ShowSortArrow(QHeaderView* header, int sortKey) {
    header->setSortIndicatorShown(sortKey != 0);
    if (sortKey == 0)
        return;
    const int column = (sortKey < 0 ? -sortKey : sortKey) - 1;
    header->setSortIndicator(column, sortKey > 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
}

PaneViews::PaneViews(QTreeView* details, QWidget* parent)
    : QStackedWidget(parent), details_(details), icons_(new QListView(this)) {
    icons_->setObjectName(details_->objectName() + QStringLiteral("Icons"));
    icons_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    addWidget(details_);
    addWidget(icons_);
    connect(details_, &QAbstractItemView::doubleClicked, this, &PaneViews::DoubleClicked);
    connect(icons_, &QAbstractItemView::doubleClicked, this, &PaneViews::DoubleClicked);
}

void PaneViews::ShareModel() {
    icons_->setModel(details_->model());
    icons_->setSelectionModel(details_->selectionModel());
}

void PaneViews::SetViewStyle(int style) {
    style_ = style >= LargeIcons && style <= Details ? style : Details;
    if (style_ == Details) {
        setCurrentWidget(details_);
        return;
    }
    ApplyListStyle(icons_, style_);
    setCurrentWidget(icons_);
}

void PaneViews::LineUpIcons() {
    icons_->doItemsLayout();
}
