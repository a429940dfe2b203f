#include "local/LocalPane_widgets.h"

#include "local/CarriageReturn_dialog.h"
#include "local/TextViewer_widgets.h"
#include "prefs/Prompts.h"
#include "remote/FileIcons_widgets.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QTreeView>
#include <QUrl>

namespace local {

namespace {

constexpr std::array<const char*, 4> Titles = {"Filename", "Size", "Date", "Time"};
// The text viewer shows this much of a file at most, so a large one opens at once.
constexpr std::size_t ViewLimit = 4 << 20;
constexpr int NameWidth = 24; // characters

QString Shown(const std::string& text) {
    return QString::fromStdString(text);
}

FileIconKind IconKindOf(LocalKind kind) {
    switch (kind) {
    case LocalKind::File:
        return FileIconKind::File;
    case LocalKind::Folder:
        return FileIconKind::Folder;
    case LocalKind::LinkToFile:
        return FileIconKind::LinkToFile;
    case LocalKind::LinkToFolder:
        return FileIconKind::LinkToFolder;
    }
    return FileIconKind::File;
}

} // namespace

LocalItemModel::LocalItemModel(const LocalPane& pane, QObject* parent)
    : QAbstractTableModel(parent), pane_(pane) {
    connect(&pane_, &LocalPane::ItemsAboutToBeReset, this, &LocalItemModel::beginResetModel);
    connect(&pane_, &LocalPane::ItemsReset, this, &LocalItemModel::endResetModel);
    connect(&pane_, &LocalPane::ItemChanged, this,
            [this](int row) { emit dataChanged(index(row, 0), index(row, columnCount() - 1)); });
}

int LocalItemModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(pane_.Items().size());
}

int LocalItemModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(Titles.size());
}

QVariant LocalItemModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const LocalItem& item = pane_.Items()[static_cast<std::size_t>(index.row())];
    if (role == Qt::DecorationRole && index.column() == 0)
        return FileTypeIcon(Shown(item.caption), IconKindOf(item.kind));
    if (role == Qt::TextAlignmentRole && index.column() == 1)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case 0:
        return Shown(item.caption);
    case 1:
        return Shown(item.sizeText);
    case 2:
        return Shown(item.date);
    case 3:
        return Shown(item.time);
    default:
        return {};
    }
}

QVariant LocalItemModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= columnCount())
        return {};
    return QString::fromLatin1(Titles[static_cast<std::size_t>(section)]);
}

void ShowSelection(QAbstractItemView* view, const std::vector<bool>& selected) {
    QAbstractItemModel* model = view->model();
    QItemSelection ranges;
    const int rows = std::min(model->rowCount(), static_cast<int>(selected.size()));
    for (int row = 0; row < rows;) {
        if (!selected[static_cast<std::size_t>(row)]) {
            ++row;
            continue;
        }
        const int first = row;
        while (row < rows && selected[static_cast<std::size_t>(row)])
            ++row;
        ranges.select(model->index(first, 0), model->index(row - 1, model->columnCount() - 1));
    }
    view->selectionModel()->select(ranges, QItemSelectionModel::ClearAndSelect);
}

LocalPaneBinding::LocalPaneBinding(LocalPane& pane, Prompts& prompts, ConversionLog log,
                                   const LocalPaneWidgets& widgets)
    : QObject(widgets.views), pane_(pane), prompts_(prompts), log_(std::move(log)),
      widgets_(widgets), model_(new LocalItemModel(pane, this)),
      folders_(new QFileSystemModel(this)) {
    QTreeView* list = widgets_.list;
    list->setModel(model_);
    list->setSortingEnabled(false); // the pane sorts
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->header()->setSectionsClickable(true);
    list->setColumnWidth(0, list->fontMetrics().horizontalAdvance(QLatin1Char('x')) * NameWidth);
    connect(list->header(), &QHeaderView::sectionClicked, this,
            [this](int section) { pane_.SortByColumn(section + 1); });
    connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &LocalPaneBinding::TakeSelection);
    connect(list->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &LocalPaneBinding::UpdateCommands);

    folders_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    folders_->setRootPath(QStringLiteral("/"));
    widgets_.folderTree->setModel(folders_);
    for (int column = 1; column < folders_->columnCount(); ++column)
        widgets_.folderTree->hideColumn(column);
    widgets_.folderTree->setHeaderHidden(true);
    // The tree fills in the background; the shown folder is found once it is there.
    connect(folders_, &QFileSystemModel::directoryLoaded, this, [this](const QString& loaded) {
        const QModelIndex shown = folders_->index(Shown(pane_.Folder()));
        if (Shown(pane_.Folder()).startsWith(loaded) && shown.isValid()) {
            widgets_.folderTree->setCurrentIndex(shown);
            widgets_.folderTree->scrollTo(shown);
        }
    });
    connect(widgets_.folderTree, &QTreeView::clicked, this,
            [this](const QModelIndex& index) { GoToFolder(folders_->filePath(index)); });
    connect(widgets_.folderTree, &QTreeView::activated, this,
            [this](const QModelIndex& index) { GoToFolder(folders_->filePath(index)); });

    QComboBox* box = widgets_.pathBox;
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItem(QStringLiteral("/"));
    box->addItem(QDir::homePath());
    connect(box, &QComboBox::activated, this,
            [this](int index) { GoToFolder(widgets_.pathBox->itemText(index)); });
    connect(box->lineEdit(), &QLineEdit::returnPressed, this,
            [this] { GoToFolder(widgets_.pathBox->currentText()); });

    connect(&pane_, &LocalPane::FolderChanged, this, &LocalPaneBinding::ShowFolder);
    connect(&pane_, &LocalPane::SelectionChanged, this, &LocalPaneBinding::ShowStrip);
    connect(&pane_, &LocalPane::SelectionReplaced, this, &LocalPaneBinding::ShowPaneSelection);
    connect(&pane_, &LocalPane::ItemsReset, this, &LocalPaneBinding::UpdateCommands);

    refresh_ = AddAction("Refresh1", tr("Refresh"), nullptr);
    connect(refresh_, &QAction::triggered, &pane_, &LocalPane::Refresh);
    refresh_->setShortcut(Qt::Key_F5);
    upOneLevel_ = AddAction("SpeedButton4", tr("Up One Level"), nullptr);
    connect(upOneLevel_, &QAction::triggered, &pane_, &LocalPane::GoUpOneLevel);
    upOneLevel_->setShortcut(Qt::Key_Backspace);
    open_ = AddAction("OpenEntry1", tr("Open"), &LocalPaneBinding::OpenCurrent);
    open_->setShortcuts({Qt::Key_Return, Qt::Key_Enter});
    makeDirectory_ =
        AddAction("MakeDirectory1", tr("Make Directory"), &LocalPaneBinding::MakeNewDirectory);
    rename_ = AddAction("Rename1", tr("Rename"), &LocalPaneBinding::RenameCurrent);
    rename_->setShortcut(Qt::Key_F2);
    deleteItem_ = AddAction("Delete1", tr("Delete"), &LocalPaneBinding::DeleteChosen);
    deleteSelection_ = AddAction("Delete2", tr("&Delete"), &LocalPaneBinding::DeleteChosen);
    deleteSelection_->setShortcut(QKeySequence::Delete);
    run_ = AddAction("RunApplication1", tr("Run Application"), &LocalPaneBinding::RunCurrent);
    view_ = AddAction("Viewfile2", tr("View as Text File"), &LocalPaneBinding::ViewCurrent);
    filter_ = AddAction("Filter1", tr("Filter"), &LocalPaneBinding::EditFilter);
    carriageReturn_ = AddAction("N9", tr("Carriage Return"), &LocalPaneBinding::ConvertLineEndings);
    const char* selectNames[] = {"All1", "Unselect1", "Mask1", "Invert1"};
    const QString selectTexts[] = {tr("Select All"), tr("Unselect"), tr("Mask"), tr("Invert")};
    for (std::size_t i = 0; i < select_.size(); ++i) {
        select_[i] = AddAction(selectNames[i], selectTexts[i], nullptr);
        const auto command = static_cast<SelectCommand>(i + 1);
        connect(select_[i], &QAction::triggered, this, [this, command] { Select(command); });
    }
    const char* sortNames[] = {"Byname4", "Bysize4", "Bydate4"};
    const QString sortTexts[] = {tr("By name"), tr("By size"), tr("By date")};
    for (std::size_t i = 0; i < sort_.size(); ++i) {
        sort_[i] = AddAction(sortNames[i], sortTexts[i], nullptr);
        const int column = static_cast<int>(i) + 1;
        connect(sort_[i], &QAction::triggered, this,
                [this, column] { pane_.SortByColumn(column); });
    }
    const char* caseNames[] = {"LargeCase1", "SmallCase1", "SentenceCase1"};
    const QString caseTexts[] = {tr("UPPER CASE"), tr("lower case"), tr("As sentence")};
    for (std::size_t i = 0; i < case_.size(); ++i) {
        case_[i] = AddAction(caseNames[i], caseTexts[i], nullptr);
        const auto mode = static_cast<CaseMode>(i);
        connect(case_[i], &QAction::triggered, this,
                [this, mode] { pane_.ChangeCaseOfSelected(mode); });
    }

    popUp_ = new QMenu(widgets_.views);
    popUp_->setObjectName(QStringLiteral("LocalPopUp"));
    FillMenu(popUp_, true);
    widgets_.views->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(widgets_.views, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { popUp_->popup(widgets_.views->mapToGlobal(at)); });

    ShowFolder();
    ShowStrip();
    UpdateCommands();
}

QAction* LocalPaneBinding::AddAction(const char* name, const QString& text,
                                     void (LocalPaneBinding::*handler)()) {
    auto* action = new QAction(text, widgets_.views);
    action->setObjectName(QString::fromLatin1(name));
    // The keys act while the list has the focus, not while a path is typed.
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    widgets_.views->addAction(action);
    if (handler != nullptr)
        connect(action, &QAction::triggered, this, handler);
    return action;
}

void LocalPaneBinding::FillMenu(QMenu* menu, bool popUp) const {
    menu->addAction(refresh_);
    menu->addAction(filter_);
    QMenu* select = menu->addMenu(tr("Select ..."));
    for (QAction* action : select_)
        select->addAction(action);
    QMenu* sorting = menu->addMenu(tr("Sorting"));
    for (QAction* action : sort_)
        sorting->addAction(action);
    menu->addSeparator();
    menu->addAction(makeDirectory_);
    menu->addAction(rename_);
    menu->addAction(popUp ? deleteSelection_ : deleteItem_);
    QMenu* changeCase = menu->addMenu(tr("Change Case"));
    for (QAction* action : case_)
        changeCase->addAction(action);
    menu->addSeparator();
    menu->addAction(run_);
    menu->addAction(view_);
    // The main menu's twin of "Carriage Return" is hidden.
    if (popUp)
        menu->addAction(carriageReturn_);
}

QPushButton* LocalPaneBinding::MakeButton(QAction* action, const QString& text, const char* name,
                                          QWidget* parent) {
    auto* button = new QPushButton(action->icon(), text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setEnabled(action->isEnabled());
    connect(button, &QPushButton::clicked, action, &QAction::trigger);
    connect(action, &QAction::enabledChanged, button, &QPushButton::setEnabled);
    return button;
}

int LocalPaneBinding::CurrentRow() const {
    const QModelIndex current = widgets_.list->selectionModel()->currentIndex();
    return current.isValid() && current.row() < model_->rowCount() ? current.row() : -1;
}

void LocalPaneBinding::ShowFolder() {
    const QString folder = Shown(pane_.Folder());
    widgets_.pathBox->setEditText(folder);
    const QModelIndex index = folders_->index(folder);
    widgets_.folderTree->setCurrentIndex(index);
    widgets_.folderTree->scrollTo(index);
}

void LocalPaneBinding::GoToFolder(const QString& folder) {
    // A typed relative path starts at the folder shown.
    const std::string path =
        QDir::cleanPath(QDir(Shown(pane_.Folder())).absoluteFilePath(folder)).toStdString();
    if (path != pane_.Folder())
        pane_.SetFolder(path);
    ShowFolder();
}

void LocalPaneBinding::TakeSelection() {
    if (showing_)
        return;
    std::vector<int> rows;
    for (const QModelIndex& index : widgets_.list->selectionModel()->selectedRows())
        rows.push_back(index.row());
    pane_.SetSelection(rows);
    UpdateCommands();
}

void LocalPaneBinding::ShowPaneSelection() {
    std::vector<bool> selected;
    selected.reserve(pane_.Items().size());
    for (const LocalItem& item : pane_.Items())
        selected.push_back(item.selected);
    showing_ = true;
    ShowSelection(widgets_.list, selected);
    showing_ = false;
    UpdateCommands();
}

void LocalPaneBinding::ShowStrip() {
    const LocalSummary summary = pane_.Summary();
    const QString point = QLocale().decimalPoint();
    widgets_.strip->setVisible(summary.Visible());
    widgets_.strip->setText(Shown(summary.Text(point.size() == 1 ? point[0].toLatin1() : '.')));
}

void LocalPaneBinding::UpdateCommands() {
    const int row = CurrentRow();
    const LocalItem* entry = row >= 0 ? &pane_.Items()[static_cast<std::size_t>(row)] : nullptr;
    const LocalCommands commands =
        UpdateLocalCommands(entry, pane_.AnySelected(), pane_.Folder() != "/");
    for (QAction* action : {view_, rename_, deleteItem_, run_})
        action->setEnabled(commands.fileCommands);
    deleteSelection_->setEnabled(commands.deleteCommands);
}

void LocalPaneBinding::Select(SelectCommand command) {
    std::string filter = pane_.Filter();
    if (NeedsMask(command) && !AskSelectMask(prompts_, true, filter))
        return;
    pane_.Select(command, filter);
    pane_.SetFilter(filter);
    widgets_.list->setFocus();
}

void LocalPaneBinding::OpenCurrent() {
    pane_.OpenEntry(CurrentRow());
}

void LocalPaneBinding::MakeNewDirectory() {
    pane_.MakeDirectory(prompts_);
}

void LocalPaneBinding::RenameCurrent() {
    if (CurrentRow() >= 0)
        pane_.Rename(prompts_, CurrentRow());
}

void LocalPaneBinding::DeleteChosen() {
    pane_.Delete(prompts_, pane_.Folder());
}

void LocalPaneBinding::RunCurrent() {
    if (CurrentRow() >= 0)
        QDesktopServices::openUrl(QUrl::fromLocalFile(Shown(pane_.PathOf(CurrentRow()))));
}

void LocalPaneBinding::ViewCurrent() {
    if (CurrentRow() >= 0)
        ShowTextFile(pane_.PathOf(CurrentRow()), ViewLimit, widgets_.views->window());
}

void LocalPaneBinding::EditFilter() {
    std::string filter = pane_.Filter();
    if (!prompts_.AskInput(LocalFilterCaption, MaskPrompt, filter, false, MaxInputLength))
        return;
    pane_.SetFilter(filter);
    pane_.Refresh();
}

void LocalPaneBinding::ConvertLineEndings() {
    const std::vector<std::string> paths = pane_.SelectedFilePaths();
    if (paths.empty())
        return;
    const int code = CarriageReturnDialog::ChooseConversion(widgets_.views->window());
    if (code == NoConversion)
        return;
    for (const std::string& path : paths)
        ConvertFile(path, code / 16, code % 16, log_);
    pane_.Refresh();
}

} // namespace local
