#pragma once

#include "sites/SiteForm.h"

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
class Translator;

// Opens a directory chooser; nothing when the user cancels.
using DirectoryChooser =
    std::function<std::optional<QString>(QWidget* parent, const QString& start)>;

// "Server Properties": edits one site: connection and login data, the host
// type that tells the listing parser how the server lists, with the custom
// types and their six column boxes, the initial directories and the
// description. It shows and gives back a SiteForm; the rules are in SiteForm.h.
class SiteEditor : public QDialog {
    Q_OBJECT

public:
    // `prompts` asks for host type names and shows the message of "Save";
    // "Browse" starts in `folder` when the local directory does not exist.
    SiteEditor(Translator& language, Prompts& prompts, DirectoryChooser chooser, std::string folder,
               QWidget* parent = nullptr);

    void SetValues(const SiteForm& form);
    SiteForm Values() const;

private:
    void BuildLogin(QBoxLayout* into);
    void BuildDirectories(QBoxLayout* into);
    void BuildHostType(QBoxLayout* into);
    void BuildCertificate(QBoxLayout* into);
    void ConnectControls();
    // The custom list, its selection and the column boxes from `form`.
    void ShowCustom(const SiteForm& form);
    void UpdateLook();

    void ApplyEncryption(int choice);
    void ForgetCertificate();
    void ApplyTrailingSlash(bool checked);
    void BrowseLocalFolder();
    void ShowHostType(int row);
    void AddHostType();
    void EditHostType();
    void DeleteHostType();
    void SaveSite();

    Prompts& prompts_;
    DirectoryChooser chooser_;
    std::string folder_;
    SiteForm form_; // what setValues gave, and the custom types since

    QLineEdit* eName = nullptr;
    QLineEdit* eServer = nullptr;
    QLineEdit* ePort = nullptr;
    QComboBox* cbEncryption = nullptr;
    SiteEncryption encryption_ = SiteEncryption::Plain; // the choice shown before a change
    QCheckBox* AnonymousCB = nullptr;
    QLineEdit* eUser = nullptr;
    QLineEdit* ePassword = nullptr;
    QLineEdit* eAccount = nullptr;
    QLineEdit* eEMail = nullptr;
    QCheckBox* cbSavePassword = nullptr;
    QCheckBox* cbPasv = nullptr;
    QCheckBox* cbMaskPassword = nullptr;
    QCheckBox* cbVHost = nullptr;
    QCheckBox* cbMlsd = nullptr;
    QWidget* pCertificate = nullptr;
    QLineEdit* eFingerprint = nullptr;
    QLineEdit* eInitialDir = nullptr;
    QCheckBox* cbSlash = nullptr;
    QLineEdit* eLocalDir = nullptr;
    QComboBox* cbHostType = nullptr;
    QGroupBox* gbCustom = nullptr;
    QListWidget* lbCustom = nullptr;
    std::array<QLineEdit*, ColumnCount> eColumns{};
    QPlainTextEdit* mDesc = nullptr;
};
