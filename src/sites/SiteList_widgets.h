#pragma once

#include <QAbstractListModel>
#include <QIcon>
#include <QKeySequence>
#include <QWidget>
#include <vector>

class QComboBox;
class QListView;
class QMenu;
class SiteListController;
class SiteListModel;

// The site list model as Qt's views see it: one row an entry, its caption
// and the icon of its kind. A site entry can be dragged onto a folder entry,
// which moves it there through the controller.
class SiteListItemModel : public QAbstractListModel {
    Q_OBJECT

public:
    static constexpr const char* MimeType = "application/x-corvane-site-rows";

    // `controller` must outlive this model.
    explicit SiteListItemModel(SiteListController& controller, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

private:
    // The site rows a drag of this model carries.
    std::vector<int> DraggedSites(const QMimeData* data) const;

    SiteListController& controller_;
    const SiteListModel& model_;
    QIcon lockedSiteIcon_; // a site that requires TLS
};

// The right pane in server-list mode: the path list ("SERVER LIST ..." and
// the open folder's names) above the entries of the open folder. A double
// click opens an entry (or makes a new site on empty space), choosing a
// path-list entry opens that folder, and a site dragged onto a folder moves
// there. Its pop-up menu holds the site list's operations. The main window
// hosts it and calls the controller for its buttons and menus.
class SiteListView : public QWidget {
    Q_OBJECT

public:
    // `controller` must outlive the view.
    explicit SiteListView(SiteListController& controller, QWidget* parent = nullptr);

    QComboBox* PathList() const { return cbSitePath; }
    QListView* ListView() const { return lvSites; }
    SiteListItemModel* ItemModel() const { return itemModel_; }
    QMenu* PopupMenu() const { return pmSites; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillPathList();
    void SelectionFromModel();
    void SelectionToModel();
    void AddAction(const char* name, const char* caption, void (SiteListController::*)(),
                   const QList<QKeySequence>& keys = {});

    SiteListController& controller_;
    SiteListModel& model_;
    SiteListItemModel* itemModel_ = nullptr;
    QComboBox* cbSitePath = nullptr;
    QListView* lvSites = nullptr;
    QMenu* pmSites = nullptr;
    bool syncing_ = false; // a selection is being copied between view and model
};
