#pragma once

#include "prefs/OptionsEdit.h"

#include <QDialog>
#include <QFont>
#include <functional>
#include <optional>

class Prompts;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;
class Translator;

// The choosers the preferences window opens; each gives nothing when the user
// cancels. Tests put their own in place.
struct PreferencesChoosers {
    std::function<std::optional<QString>(QWidget* parent, const QString& start)> LogFile;
    std::function<std::optional<QString>(QWidget* parent, const QString& start)> Directory;
    std::function<std::optional<QFont>(QWidget* parent, const QFont& start)> Font;
};
// The file, folder and font choosers of Qt.
PreferencesChoosers QtChoosers();

// "Program Options": a tree of pages on the left, the chosen page on the
// right, "&OK" and "&Cancel" below. It shows and gives back plain values; the
// rules of "&OK" are AcceptOptions'.
class PreferencesDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr int PageCount = 7;

    // `prompts` asks for the extensions and commands added to the lists.
    PreferencesDialog(Translator& language, Prompts& prompts, PreferencesChoosers choosers,
                      QWidget* parent = nullptr);

    void SetValues(const PreferencesValues& values);
    PreferencesValues Values() const;

    // The page shown: n for the n-th node of the tree, in tree order.
    int CurrentPage() const;
    QTreeWidgetItem* PageNode(int page) const;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* BuildConnectionPage();
    QWidget* BuildAsciiPage();
    QWidget* BuildLogPage();
    QWidget* BuildKeepAlivePage();
    QWidget* BuildProxyPage();
    QWidget* BuildDisplayPage();
    QWidget* BuildLanguagePage();
    void BuildPageTree(const QList<QWidget*>& pages);
    void ConnectControls();

    void ShowChosenPage();
    void UpdateLook();
    void AddAsciiExtension();
    void ModifyAsciiExtension();
    void RemoveAsciiExtension();
    void ChooseLogFile();
    void AddIdleCommand();
    void RemoveIdleCommand();
    void ChooseStartFolder();
    void ChooseFont();
    void PreviewChosenLanguage(int index);

    Translator& language_;
    Prompts& prompts_;
    PreferencesChoosers choosers_;
    PreferencesValues values_; // what setValues gave, for what the window does not show
    bool fontChosen_ = false;

    QTreeWidget* tvOptions = nullptr;
    QStackedWidget* pcOptions = nullptr;
    QList<QTreeWidgetItem*> pageNodes_;

    QCheckBox* cbMailAno = nullptr;
    QLineEdit* eAnonymous = nullptr;
    QSpinBox* seTimeOut = nullptr;
    QSpinBox* seRetry = nullptr;
    QCheckBox* cbPassive = nullptr;
    QCheckBox* cbSync = nullptr;

    QButtonGroup* rgTransferMode = nullptr;
    QListWidget* lbExt = nullptr;

    QCheckBox* cbLog = nullptr;
    QLineEdit* eLogFile = nullptr;
    QSpinBox* seLogSize = nullptr;

    QCheckBox* cbKeep = nullptr;
    QSpinBox* seStartKeep = nullptr;
    QSpinBox* seDurationKeep = nullptr;
    QListWidget* lbCmdKeep = nullptr;

    QButtonGroup* rgConnectionType = nullptr;
    QGroupBox* gbProxy = nullptr;
    QLineEdit* eProxyServer = nullptr;
    QLineEdit* eProxyPort = nullptr;
    QLineEdit* eProxyPsw = nullptr;
    QCheckBox* cbProxyPswMask = nullptr;
    QGroupBox* gbSocks = nullptr;
    QLineEdit* eSocksServer = nullptr;
    QLineEdit* eSocksPort = nullptr;
    QLineEdit* eSocksUC = nullptr;
    QLineEdit* eSocksPsw = nullptr;
    QCheckBox* cbSocksPswMask = nullptr;

    QLineEdit* eIniPath = nullptr;
    QPushButton* bFont = nullptr;
    QCheckBox* cbPromptDownLoad = nullptr;
    QCheckBox* cbPromptUpLoad = nullptr;
    QCheckBox* cbKeepFileTimes = nullptr;
    QButtonGroup* rgDefPrompt = nullptr;
    QButtonGroup* rgDateType = nullptr;

    QCheckBox* cbLangOn = nullptr;
    QLabel* lLangFile = nullptr;
    QComboBox* cbLangFile = nullptr;
    QCheckBox* cbLangInit = nullptr;
};
