#include "app/RemoteCommands.h"

#include "session/SessionController.h"
#include "text/TextFields.h"
#include "transfer/CustomCommands_dialog.h"
#include "transfer/RemoteOperations.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <algorithm>

RemoteCommands::RemoteCommands(session::SessionController& session,
                               transfer::RemoteOperations& operations, Translator& language,
                               std::string programFolder, QWidget* window)
    : QObject(window), session_(session), operations_(operations), language_(language),
      programFolder_(std::move(programFolder)), window_(window),
      permissionEditor_(language, window), library_(transfer::LoadCommands(programFolder_)) {
    bar_ = new QWidget(window);
    bar_->setObjectName(QStringLiteral("pnlCmd"));
    auto* row = new QHBoxLayout(bar_);
    row->setContentsMargins(0, 0, 0, 0);
    box_ = new QComboBox(bar_);
    box_->setObjectName(QStringLiteral("cbCmd"));
    box_->setEditable(true);
    box_->setInsertPolicy(QComboBox::NoInsert); // "Do It" decides what is kept
    auto* doIt = new QPushButton(tr("Do It"), bar_);
    doIt->setObjectName(QStringLiteral("SpeedButton5"));
    auto* commands = new QPushButton(tr("Commands"), bar_);
    commands->setObjectName(QStringLiteral("SpeedButton6"));
    row->addWidget(box_, 1);
    row->addWidget(doIt);
    row->addWidget(commands);
    bar_->hide();
    connect(doIt, &QPushButton::clicked, this, &RemoteCommands::SendCommand);
    connect(box_->lineEdit(), &QLineEdit::returnPressed, this, &RemoteCommands::SendCommand);
    connect(commands, &QPushButton::clicked, this, &RemoteCommands::ChooseCommand);

    connect(&session_, &session::SessionController::CommandsChanged, this,
            &RemoteCommands::UpdateCommands);
    connect(&session_.RemoteView(), &remote::RemoteView::SelectionChanged, this,
            &RemoteCommands::UpdateCommands);
    connect(&session_.RemoteView(), &remote::RemoteView::ItemsReset, this,
            &RemoteCommands::UpdateCommands);
    // A chain's last listing ends its busy state after the items are in.
    connect(&session_.RemoteView(), &remote::RemoteView::ListingShown, this,
            &RemoteCommands::UpdateCommands);
    connect(&operations_, &transfer::RemoteOperations::BusyChanged, this,
            &RemoteCommands::UpdateCommands);
}

QAction* RemoteCommands::Add(QMenu* menu, const QString& text, const QString& name, Need need,
                             void (RemoteCommands::*run)()) {
    QAction* action = menu->addAction(text);
    action->setObjectName(name);
    connect(action, &QAction::triggered, this, run);
    actions_.emplace_back(action, need);
    return action;
}

void RemoteCommands::FillMenu(QMenu* menu, bool popUp) {
    const QString suffix = popUp ? QStringLiteral("3") : QStringLiteral("2");
    menu->addSeparator();
    Add(menu, popUp ? tr("Make Directory") : tr("Make directory"),
        QStringLiteral("MakeDirectory") + suffix, Need::Connection, &RemoteCommands::MakeDirectory);
    Add(menu, tr("Rename"), QStringLiteral("Rename") + suffix, Need::Selection,
        &RemoteCommands::RenameSelected);
    Add(menu, popUp ? tr("&Delete Server/Dir/File") : tr("Delete Server/Dir/File"),
        QStringLiteral("DeleteServerDirFile") + suffix, Need::Selection,
        &RemoteCommands::DeleteSelected);
    QMenu* cases = menu->addMenu(tr("Change Case"));
    cases->setObjectName(QStringLiteral("ChangeCase") + suffix);
    actions_.emplace_back(cases->menuAction(), Need::Selection);
    const QString caseTexts[] = {tr("UPPER CASE"), tr("lower case"), tr("As sentence")};
    const char* caseNames[] = {"LARGECASE", "lowercase", "Assentence"};
    for (int mode = 0; mode < 3; ++mode) {
        QAction* item = cases->addAction(caseTexts[mode]);
        item->setObjectName(QString::fromLatin1(caseNames[mode]) + suffix);
        connect(item, &QAction::triggered, this, [this, mode] { ChangeCase(mode); });
    }
    Add(menu, tr("Change Directory"), QStringLiteral("ChandDirect") + suffix, Need::Connection,
        &RemoteCommands::ChangeDirectory);
    Add(menu, tr("Refresh"), QStringLiteral("Refresh") + suffix, Need::Connection,
        &RemoteCommands::Refresh);
    menu->addSeparator();
    Add(menu, tr("File Attributes"), QStringLiteral("FileAttributes") + suffix, Need::Selection,
        &RemoteCommands::EditAttributes);
    QAction* toggle = menu->addAction(tr("Custom Command"));
    toggle->setObjectName(QStringLiteral("CustomCommand") + suffix);
    toggle->setCheckable(true);
    connect(toggle, &QAction::triggered, this, &RemoteCommands::ShowCommandBar);
    barToggles_.push_back(toggle);
    UpdateCommands();
}

std::vector<transfer::SelectedEntry> RemoteCommands::Selection() const {
    std::vector<transfer::SelectedEntry> selection;
    for (const remote::RemoteItem& item : session_.RemoteView().Items()) {
        if (item.selected && item.caption != "..")
            selection.push_back({item.caption, item.icon == remote::PaneIcon::Folder, item.size});
    }
    return selection;
}

bool RemoteCommands::CanMakeDirectory() const {
    return session_.ConnectedCommands() && operations_.CanStart();
}

bool RemoteCommands::CanChangeSelection() const {
    if (!CanMakeDirectory())
        return false;
    const std::vector<remote::RemoteItem>& items = session_.RemoteView().Items();
    return std::any_of(items.begin(), items.end(),
                       [](const auto& item) { return item.selected && item.caption != ".."; });
}

void RemoteCommands::UpdateCommands() {
    const bool free = CanMakeDirectory();
    const bool selection = CanChangeSelection();
    for (const auto& [action, need] : actions_)
        action->setEnabled(need == Need::Connection ? free : selection);
    for (QAction* toggle : barToggles_)
        toggle->setEnabled(session_.ConnectedCommands());
    const bool connected = session_.ConnectedCommands();
    for (std::size_t i = 0; i < buttons_.size(); ++i)
        buttons_[i]->setEnabled(!connected || (i == 0 ? free : selection));
}

void RemoteCommands::MakeDirectory() {
    if (CanMakeDirectory())
        operations_.MakeDirectory();
}

void RemoteCommands::RenameSelected() {
    const std::vector<transfer::SelectedEntry> selection = Selection();
    if (CanMakeDirectory() && !selection.empty())
        operations_.Rename(selection.front());
}

void RemoteCommands::DeleteSelected() {
    if (CanMakeDirectory())
        operations_.Delete(Selection());
}

void RemoteCommands::ChangeCase(int mode) {
    if (CanMakeDirectory())
        operations_.ChangeCase(Selection(), static_cast<local::CaseMode>(mode));
}

void RemoteCommands::ChangeDirectory() {
    if (!CanMakeDirectory())
        return;
    const remote::PathBox& path = session_.RemoteView().PathBox();
    operations_.ChangeDirectory(path.selected >= 2 ? session_.HostDirName() : std::string());
}

void RemoteCommands::Refresh() {
    if (CanMakeDirectory())
        operations_.Refresh();
}

void RemoteCommands::EditAttributes() {
    if (!CanMakeDirectory())
        return;
    std::vector<std::pair<std::string, std::string>> entries;
    for (const remote::RemoteItem& item : session_.RemoteView().Items()) {
        if (item.selected)
            entries.emplace_back(item.caption, item.attributes);
    }
    operations_.EditPermissions(entries, permissionEditor_);
}

// --- custom commands ------------------------------------------------------------------

void RemoteCommands::ShowCommandBar(bool shown) {
    for (QAction* toggle : barToggles_)
        toggle->setChecked(shown);
    bar_->setVisible(shown);
}

void RemoteCommands::SendCommand() {
    const std::string text = box_->currentText().toStdString();
    if (text.empty() || !session_.EngineReady() || !session_.ConnectedCommands())
        return;
    transfer::CommandBox state;
    for (int i = 0; i < box_->count(); ++i)
        state.Items.push_back(box_->itemText(i).toStdString());
    state.Selected = box_->currentIndex();
    if (box_->currentIndex() >= 0 && box_->itemText(box_->currentIndex()) != box_->currentText())
        state.Selected = -1; // typed over: the box shows no item
    const std::optional<std::string> line = transfer::TakeCommand(state, text);
    if (static_cast<int>(state.Items.size()) > box_->count())
        box_->addItem(QString::fromStdString(state.Items.back()));
    box_->setCurrentIndex(state.Selected);
    if (line)
        operations_.SendCommand(*line);
}

void RemoteCommands::ChooseCommand() {
    transfer::CommandEditor editor(library_);
    CommandsDialog dialog(language_, editor, window_);
    dialog.exec();
    library_ = editor.Library(); // kept whichever button closed the window
    if (!SaveCommands())
        session_.AddLog("Error " + programFolder_ + transfer::CommandsFileName + ": not saved");
    const std::string chosen = dialog.Chosen();
    if (text::TrimBlanks(chosen).empty())
        return;
    box_->addItem(QString::fromStdString(chosen));
    box_->setCurrentIndex(box_->count() - 1);
}

bool RemoteCommands::SaveCommands() {
    return transfer::SaveCommands(programFolder_, library_);
}
