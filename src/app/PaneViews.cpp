#include "PaneViews.h"

#include <QListView>
#include <QTreeView>

namespace {

constexpr int LargeIconSize = 32;
constexpr int SmallIconSize = 16;

} // namespace

void ApplyListStyle(QListView* list, int style) {
    const bool icons = style == PaneViews::LargeIcons || style == PaneViews::SmallIcons;
    list->setViewMode(icons ? QListView::IconMode : QListView::ListMode);
    const int size = style == PaneViews::LargeIcons ? LargeIconSize : SmallIconSize;
    list->setIconSize(QSize(size, size));
    // Small icons run in rows, a list in columns, as desktop file views do.
    list->setFlow(style == PaneViews::List ? QListView::TopToBottom : QListView::LeftToRight);
    list->setWrapping(style != PaneViews::Details);
    list->setResizeMode(QListView::Adjust);
    list->setMovement(icons ? QListView::Snap : QListView::Static);
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
