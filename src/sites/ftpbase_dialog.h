#pragma once

#include "sites/ftpbase.h"

#include <QDialog>
#include <array>
#include <functional>
#include <optional>

class Prompts;
class QBoxLayout;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class TzelLanguage;

// Opens a directory chooser; nothing when the user cancels.
using TDirectoryChooser =
    std::function<std::optional<QString>(QWidget* parent, const QString& start)>;

// "Server Properties": edits one site: connection and login data, the host
// type that tells the listing parser how the server lists, with the custom
// types and their six column boxes, the initial directories and the
// description. It shows and gives back a TSiteForm; the rules are ftpbase's.
class TFFtpBase : public QDialog {
    Q_OBJECT

public:
    // `prompts` asks for host type names and shows the message of "Save";
    // "Browse" starts in `folder` when the local directory does not exist.
    TFFtpBase(TzelLanguage& language, Prompts& prompts, TDirectoryChooser chooser,
              std::string folder, QWidget* parent = nullptr);

    void setValues(const TSiteForm& form);
    TSiteForm values() const;

private:
    void buildLogin(QBoxLayout* into);
    void buildDirectories(QBoxLayout* into);
    void buildHostType(QBoxLayout* into);
    void connectControls();
    // The custom list, its selection and the column boxes from `form`.
    void showCustom(const TSiteForm& form);
    void UpdateLook();

    void cbSlashClick(bool checked);
    void bBrowseClick();
    void lbCustomClick(int row);
    void bAddClick();
    void bEditClick();
    void bDeleteClick();
    void bbSaveClick();

    Prompts& prompts_;
    TDirectoryChooser chooser_;
    std::string folder_;
    TSiteForm form_; // what setValues gave, and the custom types since

    QLineEdit* eName = nullptr;
    QLineEdit* eServer = nullptr;
    QLineEdit* ePort = nullptr;
    QCheckBox* AnonymousCB = nullptr;
    QLineEdit* eUser = nullptr;
    QLineEdit* ePassword = nullptr;
    QLineEdit* eAccount = nullptr;
    QLineEdit* eEMail = nullptr;
    QCheckBox* cbSavePassword = nullptr;
    QCheckBox* cbPasv = nullptr;
    QCheckBox* cbMaskPassword = nullptr;
    QCheckBox* cbVHost = nullptr;
    QLineEdit* eInitialDir = nullptr;
    QCheckBox* cbSlash = nullptr;
    QLineEdit* eLocalDir = nullptr;
    QComboBox* cbHostType = nullptr;
    QGroupBox* gbCustom = nullptr;
    QListWidget* lbCustom = nullptr;
    std::array<QLineEdit*, ColumnCount> eColumns{};
    QPlainTextEdit* mDesc = nullptr;
};
