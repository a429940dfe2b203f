#pragma once

#include "local/LineEndings.h"
#include "local/LocalPane.h"

#include <QAbstractTableModel>
#include <QObject>
#include <array>
#include <vector>

class QAbstractItemView;
class QAction;
class QComboBox;
class QFileSystemModel;
class QLabel;
class QMenu;
class QPushButton;
class QTreeView;
class QWidget;
class Prompts;

namespace local {

// The local pane's items for Qt item views: "Filename", "Size", "Date", "Time".
class LocalItemModel : public QAbstractTableModel {
    Q_OBJECT

public:
    LocalItemModel(const LocalPane& pane, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const LocalPane& pane_;
};

// Selects exactly the rows whose flag is set, in a few ranges.
void ShowSelection(QAbstractItemView* view, const std::vector<bool>& selected);

// The widgets of the local pane around a LocalPane.
struct LocalPaneWidgets {
    QWidget* views = nullptr; // holds the list's views: the keys and the pop-up work there
    QTreeView* list = nullptr;
    QTreeView* folderTree = nullptr;
    QComboBox* pathBox = nullptr; // the drive selector: "/", the home folder, typed paths
    QLabel* strip = nullptr;      // the selection strip
};

// Connects the local pane's widgets to the pane, and holds its commands as
// actions (with the names language files know) for the menus, the pop-up and
// the buttons. Lives as long as the pane widget.
class LocalPaneBinding : public QObject {
    Q_OBJECT

public:
    LocalPaneBinding(LocalPane& pane, Prompts& prompts, ConversionLog log,
                     const LocalPaneWidgets& widgets);

    QAction* Refresh() const { return refresh_; }
    QAction* UpOneLevel() const { return upOneLevel_; }
    QAction* MakeDirectory() const { return makeDirectory_; }
    QAction* Rename() const { return rename_; }
    QAction* DeleteItem() const { return deleteItem_; }           // main menu "Delete"
    QAction* DeleteSelection() const { return deleteSelection_; } // pop-up, button, key
    QAction* Run() const { return run_; }
    QAction* View() const { return view_; }
    QAction* Filter() const { return filter_; }
    QAction* CarriageReturn() const { return carriageReturn_; }
    // "Select All", "Unselect", "Mask", "Invert"
    const std::array<QAction*, 4>& SelectActions() const { return select_; }
    // "By name", "By size", "By date"
    const std::array<QAction*, 3>& SortActions() const { return sort_; }
    // "UPPER CASE", "lower case", "As sentence"
    const std::array<QAction*, 3>& CaseActions() const { return case_; }

    // The "Select ..." and "Sorting" sub-menus and the rest of the commands.
    void FillMenu(QMenu* menu, bool popUp) const;
    // A button that triggers `action` and follows its enabled state.
    static QPushButton* MakeButton(QAction* action, const QString& text, const char* name,
                                   QWidget* parent);

    // The pane's pop-up menu, for the commands of other areas.
    QMenu* PopUp() const { return popUp_; }
    // The current row's entry, or -1.
    int CurrentRow() const;

private:
    QAction* AddAction(const char* name, const QString& text, void (LocalPaneBinding::*handler)());
    void ShowFolder();
    void GoToFolder(const QString& folder);
    void TakeSelection();
    void ShowPaneSelection();
    void ShowStrip();
    void UpdateCommands();
    void Select(SelectCommand command);
    void OpenCurrent();
    void MakeNewDirectory();
    void RenameCurrent();
    void DeleteChosen();
    void RunCurrent();
    void ViewCurrent();
    void EditFilter();
    void ConvertLineEndings();

    LocalPane& pane_;
    Prompts& prompts_;
    ConversionLog log_;
    LocalPaneWidgets widgets_;
    LocalItemModel* model_;
    QFileSystemModel* folders_;
    QMenu* popUp_ = nullptr;
    bool showing_ = false; // the pane's own selection is being shown

    QAction* refresh_ = nullptr;
    QAction* upOneLevel_ = nullptr;
    QAction* open_ = nullptr;
    QAction* makeDirectory_ = nullptr;
    QAction* rename_ = nullptr;
    QAction* deleteItem_ = nullptr;
    QAction* deleteSelection_ = nullptr;
    QAction* run_ = nullptr;
    QAction* view_ = nullptr;
    QAction* filter_ = nullptr;
    QAction* carriageReturn_ = nullptr;
    std::array<QAction*, 4> select_{};
    std::array<QAction*, 3> sort_{};
    std::array<QAction*, 3> case_{};
};

} // namespace local
