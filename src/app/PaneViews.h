#pragma once

#include <QStackedWidget>

class QAbstractItemModel;
class QHeaderView;
class QListView;
class QModelIndex;
class QTreeView;

// The view styles of a pane: "&Large Icons", "&Small Icons", "&List" show the
// names with their icons, "&Details" every column. One model and one
// selection serve both views, so a style change keeps what is selected.
class PaneViews : public QStackedWidget {
    Q_OBJECT

public:
    enum Style { LargeIcons = 0, SmallIcons = 1, List = 2, Details = 3 };

    // Takes `details` as its details view.
    explicit PaneViews(QTreeView* details, QWidget* parent = nullptr);

    // Call after `details` has its model: the icon view shares it.
    void ShareModel();
    void SetViewStyle(int style);
    int ViewStyle() const { return style_; }
    // "&Line up icons": the icons back on their grid.
    void LineUpIcons();

    QTreeView* DetailsView() const { return details_; }
    QListView* IconView() const { return icons_; }

signals:
    void DoubleClicked(const QModelIndex& index);

private:
    QTreeView* details_;
    QListView* icons_;
    int style_ = Details;
};

// Gives a single list view (such as the site list) a view style: the icon
// styles and "&List" as above, "&Details" the plain column it starts as.
void ApplyListStyle(QListView* list, int style);

// The header's arrow for a pane's sort key: its column is the key's size
// (1 the first column), a negative key sorts downwards, 0 shows no arrow.
void ShowSortArrow(QHeaderView* header, int sortKey);
