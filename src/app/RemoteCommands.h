#pragma once

#include "transfer/CustomCommands.h"
#include "transfer/Permissions_dialog.h"

#include <QObject>
#include <string>
#include <vector>

class QAction;
class QComboBox;
class QMenu;
class QPushButton;
class QWidget;
class Prompts;
class Translator;
namespace session {
class SessionController;
}
namespace transfer {
class RemoteOperations;
struct SelectedEntry;
} // namespace transfer

// The commands that change the server's files while connected: make
// directory, rename, delete, change case, change directory, refresh, file
// attributes, and the "Custom Command" bar with its saved commands. They act
// on the remote pane's selection and follow the session's enablement:
// connected, nothing under way, and a selection where one is needed.
class RemoteCommands : public QObject {
    Q_OBJECT

public:
    RemoteCommands(session::SessionController& session, transfer::RemoteOperations& operations,
                   Translator& language, std::string programFolder, QWidget* window);

    // Adds the entries to the main menu's "&Remote" group or the pop-up.
    void FillMenu(QMenu* menu, bool popUp);
    // The hidden bar under the remote pane.
    QWidget* CommandBar() const { return bar_; }
    QComboBox* CommandBox() const { return box_; }
    const transfer::CommandLibrary& Library() const { return library_; }
    // "commands.txt" written now; false when it could not be.
    bool SaveCommands();

    // "MakeDir", "Rename" and "Delete" of the pane act on the server while
    // connected; on the site list they keep their own enablement.
    void TakeOverButtons(std::vector<QPushButton*> buttons) { buttons_ = std::move(buttons); }
    void MakeDirectory();
    void RenameSelected();
    void DeleteSelected();
    bool CanMakeDirectory() const;
    bool CanChangeSelection() const;

    void ShowCommandBar(bool shown);
    void SendCommand();
    void ChooseCommand();
    void UpdateCommands();

private:
    enum class Need { Connection, Selection };

    QAction* Add(QMenu* menu, const QString& text, const QString& name, Need need,
                 void (RemoteCommands::*run)());
    std::vector<transfer::SelectedEntry> Selection() const;
    void ChangeCase(int mode);
    void ChangeDirectory();
    void Refresh();
    void EditAttributes();

    session::SessionController& session_;
    transfer::RemoteOperations& operations_;
    Translator& language_;
    std::string programFolder_;
    QWidget* window_;
    DialogPermissionEditor permissionEditor_;
    transfer::CommandLibrary library_;
    std::vector<std::pair<QAction*, Need>> actions_;
    std::vector<QAction*> barToggles_;  // "Custom Command" in each menu
    std::vector<QPushButton*> buttons_; // MakeDir, Rename, Delete
    QWidget* bar_ = nullptr;
    QComboBox* box_ = nullptr;
};
