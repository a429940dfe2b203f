#pragma once

#include <QAbstractTableModel>
#include <QModelIndexList>
#include <QObject>

class QComboBox;
class QLabel;
class QTreeView;

namespace remote {

class RemoteView;

// The remote pane's items for a Qt list view: the columns "Filename",
// "Size", "Date", "Time", "Attribute", "Links", in the model's order.
class RemoteItemModel : public QAbstractTableModel {
    Q_OBJECT

public:
    RemoteItemModel(const RemoteView& view, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    void BeforeSort();
    void AfterSort();

    const RemoteView& view_;
    QModelIndexList sortedIndexes_; // persistent indexes held across a sort
};

// The header tag of a column: 1 to 5 for the sortable ones, 0 for "Links".
int ColumnTag(int section);

// Connects the remote pane's widgets to the model: the list shows the items
// and forwards header clicks and selection; the path box shows the path and
// forwards the user's choice; the summary label (may be null) shows the size
// of the selected files. Lives as long as `list`.
class RemoteViewBinding : public QObject {
    Q_OBJECT

public:
    RemoteViewBinding(RemoteView& view, QTreeView* list, QComboBox* pathBox, QLabel* summary);

    RemoteItemModel* ItemModel() const { return model_; }

private:
    void FitNameColumn();
    void ShowPathBox();
    void TakeSelection();
    void ShowSummary();

    RemoteView& view_;
    QTreeView* list_;
    QComboBox* pathBox_;
    QLabel* summary_;
    RemoteItemModel* model_;
};

} // namespace remote
