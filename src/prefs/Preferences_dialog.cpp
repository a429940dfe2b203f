#include "prefs/Preferences_dialog.h"

#include "prefs/CommaText.h"
#include "prefs/Prompts.h"
#include "prefs/Translator_widgets.h"
#include "prefs/look_widgets.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QFontDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int TreeWidth = 200;
constexpr int PageWidth = 430;
constexpr int PageHeight = 330;

template <class W>
W* Named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QString Text(const char* text) {
    return QString::fromUtf8(text);
}

QWidget* NewPage(QWidget* parent, const char* name, const char* title) {
    QWidget* page = Named(new QWidget(parent), name);
    page->setWindowTitle(Text(title));
    return page;
}

QLabel* NewLabel(QWidget* parent, const char* name, const char* text) {
    return Named(new QLabel(Text(text), parent), name);
}

QCheckBox* NewCheck(QWidget* parent, const char* name, const char* text) {
    return Named(new QCheckBox(Text(text), parent), name);
}

QPushButton* NewButton(QWidget* parent, const char* name, const char* text) {
    auto* button = Named(new QPushButton(Text(text), parent), name);
    button->setAutoDefault(false);
    return button;
}

QLineEdit* NewEdit(QWidget* parent, const char* name) {
    QLineEdit* edit = Named(new QLineEdit(parent), name);
    MarkAsUserData(edit);
    return edit;
}

QSpinBox* NewSpin(QWidget* parent, const char* name, ValueRange range) {
    QSpinBox* spin = Named(new QSpinBox(parent), name);
    spin->setRange(range.Min, range.Max);
    return spin;
}

struct RadioItem {
    const char* name;
    const char* text;
};

// A titled box of radio buttons whose ids count from 0 in the order given.
QButtonGroup* NewRadioGroup(QWidget* parent, QLayout* into, const char* name, const char* title,
                            std::initializer_list<RadioItem> items) {
    QGroupBox* box = Named(new QGroupBox(Text(title), parent), name);
    auto* group = new QButtonGroup(box);
    auto* layout = new QVBoxLayout(box);
    int id = 0;
    for (const RadioItem& item : items) {
        QRadioButton* button = Named(new QRadioButton(Text(item.text), box), item.name);
        group->addButton(button, id++);
        layout->addWidget(button);
    }
    into->addWidget(box);
    return group;
}

// `lead`, then `field` over the rest of the line.
QHBoxLayout* NewLine(QWidget* lead, QWidget* field) {
    auto* line = new QHBoxLayout;
    line->addWidget(lead);
    line->addWidget(field, 1);
    return line;
}

// A list with its buttons stacked on its right.
QHBoxLayout* NewListWithButtons(QListWidget* list, std::initializer_list<QPushButton*> buttons) {
    auto* column = new QVBoxLayout;
    for (QPushButton* button : buttons)
        column->addWidget(button);
    column->addStretch();
    auto* line = new QHBoxLayout;
    line->addWidget(list, 1);
    line->addLayout(column);
    return line;
}

void CheckId(QButtonGroup* group, int id) {
    QAbstractButton* button = group->button(id);
    (button ? button : group->button(0))->setChecked(true);
}

// A list of the settings kept as comma text: the items, one a line, and back;
// an unchanged list gives back the text as stored.
void SetItems(QListWidget* list, const std::string& commaText) {
    list->clear();
    for (const std::string& item : SplitCommaText(commaText))
        list->addItem(ShownText(item));
}

std::string ItemsText(const std::string& before, const QListWidget* list) {
    std::vector<std::string> items;
    for (int i = 0; i < list->count(); ++i)
        items.push_back(list->item(i)->text().toStdString());
    return SplitCommaText(before) == items ? before : JoinCommaText(items);
}

QListWidgetItem* SelectedItem(const QListWidget* list) {
    return list->selectedItems().value(0);
}

// Puts what a chooser gives, starting from the edit's text, into the edit.
void ChooseInto(const std::function<std::optional<QString>(QWidget*, const QString&)>& chooser,
                QLineEdit* edit) {
    if (!chooser)
        return;
    if (const std::optional<QString> chosen = chooser(edit->window(), edit->text()))
        edit->setText(*chosen);
}

// Appends the line that `prompts` is given for `caption`.
void AddAsked(Prompts& prompts, QListWidget* list, const char* caption, const char* prompt) {
    std::string line;
    if (prompts.AskInput(caption, prompt, line, false, MaxInputLength))
        list->addItem(ShownText(line));
}

} // namespace

PreferencesChoosers QtChoosers() {
    PreferencesChoosers choosers;
    choosers.LogFile = [](QWidget* parent, const QString& start) -> std::optional<QString> {
        QFileDialog dialog(parent, QStringLiteral("Choose Log file"), start);
        dialog.setFileMode(QFileDialog::AnyFile);
        // "*" is what "*.*" means on the system the filter names come from.
        dialog.setNameFilters({QStringLiteral("Log Files (*.log)"),
                               QStringLiteral("Text Files (*.Txt)"),
                               QStringLiteral("All Files (*)")});
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().constFirst();
    };
    choosers.Directory = [](QWidget* parent, const QString& start) -> std::optional<QString> {
        const QString folder =
            QFileDialog::getExistingDirectory(parent, QStringLiteral("Choice Directory"), start);
        return folder.isEmpty() ? std::nullopt : std::optional<QString>(folder);
    };
    choosers.Font = [](QWidget* parent, const QFont& start) -> std::optional<QFont> {
        bool ok = false;
        const QFont font = QFontDialog::getFont(&ok, start, parent);
        return ok ? std::optional<QFont>(font) : std::nullopt;
    };
    return choosers;
}

PreferencesDialog::PreferencesDialog(Translator& language, Prompts& prompts,
                                     PreferencesChoosers choosers, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      language_(language), prompts_(prompts), choosers_(std::move(choosers)) {
    setObjectName(QStringLiteral("T_Options"));
    setWindowTitle(QStringLiteral("Program Options"));
    setModal(true);

    tvOptions = Named(new QTreeWidget(this), "tvOptions");
    tvOptions->setHeaderHidden(true);
    tvOptions->setFixedWidth(TreeWidth);
    pcOptions = Named(new QStackedWidget(this), "pcOptions");
    pcOptions->setMinimumSize(PageWidth, PageHeight);
    const QList<QWidget*> pages = {BuildConnectionPage(), BuildAsciiPage(), BuildLogPage(),
                                   BuildKeepAlivePage(),  BuildProxyPage(), BuildDisplayPage(),
                                   BuildLanguagePage()};
    for (QWidget* page : pages)
        pcOptions->addWidget(page);
    BuildPageTree(pages);

    QPushButton* bbOK = NewButton(this, "bbOK", "&OK");
    QPushButton* bbCancel = NewButton(this, "bbCancel", "&Cancel");
    bbOK->setDefault(true);
    connect(bbOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(bbCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* body = new QHBoxLayout;
    body->addWidget(tvOptions);
    body->addWidget(pcOptions, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(bbOK);
    buttons->addWidget(bbCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addLayout(buttons);

    ConnectControls();
    ApplyLanguage(language_, *this);
}

QWidget* PreferencesDialog::BuildConnectionPage() {
    QWidget* page = NewPage(pcOptions, "tsConnection", "Connection");
    cbMailAno = NewCheck(page, "cbMailAno", "E-mail Address for anonymous connection");
    eAnonymous = NewEdit(page, "eAnonymous");
    seTimeOut = NewSpin(page, "seTimeOut", TimeOutRange);
    seRetry = NewSpin(page, "seRetry", RetryRange);
    cbPassive = NewCheck(page, "cbPassive", "Passive transfer");
    cbSync = NewCheck(page, "cbSync", "Synchronous commands");
    cbPassive->hide();
    cbSync->hide();

    auto* numbers = new QFormLayout;
    numbers->addRow(NewLabel(page, "lTimeOut", "Default Time Out"), seTimeOut);
    numbers->addRow(NewLabel(page, "lRetry", "Connections Retry"), seRetry);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(cbMailAno);
    layout->addWidget(eAnonymous);
    layout->addSpacing(12);
    layout->addLayout(numbers);
    layout->addWidget(cbPassive);
    layout->addWidget(cbSync);
    layout->addStretch();
    return page;
}

QWidget* PreferencesDialog::BuildAsciiPage() {
    QWidget* page = NewPage(pcOptions, "tsAsciiBinary", "ASCII/Binary");
    auto* layout = new QVBoxLayout(page);
    rgTransferMode = NewRadioGroup(
        page, layout, "rgTransferMode", "Default transfer type",
        {{"rbAutoDetect", "Auto-detect"}, {"rbAscii", "Ascii"}, {"rbBinary", "Binary"}});
    layout->addWidget(NewLabel(page, "lExt", "Text Files Extension"));
    lbExt = Named(new QListWidget(page), "lbExt");
    QPushButton* bAddExt = NewButton(page, "bAddExt", "Add");
    QPushButton* bModifyExt = NewButton(page, "bModifyExt", "Modify");
    QPushButton* bRemoveExt = NewButton(page, "bRemoveExt", "Remove");
    connect(bAddExt, &QPushButton::clicked, this, &PreferencesDialog::AddAsciiExtension);
    connect(bModifyExt, &QPushButton::clicked, this, &PreferencesDialog::ModifyAsciiExtension);
    connect(bRemoveExt, &QPushButton::clicked, this, &PreferencesDialog::RemoveAsciiExtension);
    layout->addLayout(NewListWithButtons(lbExt, {bAddExt, bModifyExt, bRemoveExt}), 1);
    return page;
}

QWidget* PreferencesDialog::BuildLogPage() {
    QWidget* page = NewPage(pcOptions, "tsLog", "Log");
    cbLog = NewCheck(page, "cbLog", "Enable Log");
    QPushButton* bLogFile = NewButton(page, "bLogFile", "Log File Name");
    eLogFile = NewEdit(page, "eLogFile");
    seLogSize = NewSpin(page, "seLogSize", LogSizeRange);
    seLogSize->hide(); // still copied both ways
    connect(bLogFile, &QPushButton::clicked, this, &PreferencesDialog::ChooseLogFile);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(cbLog);
    layout->addLayout(NewLine(bLogFile, eLogFile));
    layout->addWidget(seLogSize);
    layout->addStretch();
    return page;
}

QWidget* PreferencesDialog::BuildKeepAlivePage() {
    QWidget* page = NewPage(pcOptions, "tsKeepAlive", "Connection Keep Alive");
    cbKeep = NewCheck(page, "cbKeep", "Keep connection");
    seStartKeep = NewSpin(page, "seStartKeep", StartKeepRange);
    seDurationKeep = NewSpin(page, "seDurationKeep", DurationKeepRange);
    lbCmdKeep = Named(new QListWidget(page), "lbCmdKeep");
    QPushButton* bAddCmd = NewButton(page, "bAddCmd", "Add");
    QPushButton* bDelCmd = NewButton(page, "bDelCmd", "Delete");
    connect(bAddCmd, &QPushButton::clicked, this, &PreferencesDialog::AddIdleCommand);
    connect(bDelCmd, &QPushButton::clicked, this, &PreferencesDialog::RemoveIdleCommand);

    auto* numbers = new QFormLayout;
    numbers->addRow(NewLabel(page, "lStartKeep", "Start after last command (seconds)"),
                    seStartKeep);
    numbers->addRow(NewLabel(page, "lDurationKeep", "Duration (minutes)"), seDurationKeep);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(cbKeep);
    layout->addLayout(numbers);
    layout->addLayout(NewListWithButtons(lbCmdKeep, {bAddCmd, bDelCmd}), 1);
    return page;
}

QWidget* PreferencesDialog::BuildProxyPage() {
    QWidget* page = NewPage(pcOptions, "tsProxy", "Proxy / Firewall ");
    auto* layout = new QGridLayout(page);
    auto* types = new QVBoxLayout;
    rgConnectionType = NewRadioGroup(page, types, "rgConnectionType", "Connection type",
                                     {{"rbDirect", "Direct connection"},
                                      {"rbProxy", "Proxy"},
                                      {"rbSocks4", "Sockets 4"},
                                      {"rbSocks4A", "Sockets 4 A"},
                                      {"rbSocks5", "Sockets 5"}});
    types->addStretch();
    layout->addLayout(types, 0, 0, 2, 1);

    gbProxy = Named(new QGroupBox(QStringLiteral("Proxy"), page), "gbProxy");
    eProxyServer = NewEdit(gbProxy, "eProxyServer");
    eProxyPort = NewEdit(gbProxy, "eProxyPort");
    eProxyPsw = NewEdit(gbProxy, "eProxyPsw");
    cbProxyPswMask = NewCheck(gbProxy, "cbProxyPswMask", "Masked Password");
    auto* proxy = new QFormLayout(gbProxy);
    proxy->addRow(NewLabel(gbProxy, "lProxyServer", "Server"), eProxyServer);
    proxy->addRow(NewLabel(gbProxy, "lProxyPort", "Port"), eProxyPort);
    proxy->addRow(NewLabel(gbProxy, "lProxyPsw", "Password"), eProxyPsw);
    proxy->addRow(cbProxyPswMask);
    layout->addWidget(gbProxy, 0, 1);

    gbSocks = Named(new QGroupBox(QStringLiteral("SOCKS"), page), "gbSocks");
    eSocksServer = NewEdit(gbSocks, "eSocksServer");
    eSocksPort = NewEdit(gbSocks, "eSocksPort");
    eSocksUC = NewEdit(gbSocks, "eSocksUC");
    eSocksPsw = NewEdit(gbSocks, "eSocksPsw");
    cbSocksPswMask = NewCheck(gbSocks, "cbSocksPswMask", "Masked Password");
    auto* socks = new QFormLayout(gbSocks);
    socks->addRow(NewLabel(gbSocks, "lSocksServer", "Server"), eSocksServer);
    socks->addRow(NewLabel(gbSocks, "lSocksPort", "Port"), eSocksPort);
    socks->addRow(NewLabel(gbSocks, "lSocksUC", "User code"), eSocksUC);
    socks->addRow(NewLabel(gbSocks, "lSocksPsw", "Password"), eSocksPsw);
    socks->addRow(cbSocksPswMask);
    layout->addWidget(gbSocks, 1, 1);
    layout->setRowStretch(2, 1);
    return page;
}

QWidget* PreferencesDialog::BuildDisplayPage() {
    QWidget* page = NewPage(pcOptions, "tsDisplay", "Display / Prompts");
    QPushButton* bIniPath = NewButton(page, "bIniPath", "Initial Directory");
    eIniPath = NewEdit(page, "eIniPath");
    bFont = NewButton(page, "bFont", "Font");
    cbPromptDownLoad = NewCheck(page, "cbPromptDownLoad", "Overwrite confirmation (download)");
    cbPromptUpLoad = NewCheck(page, "cbPromptUpLoad", "Overwrite confirmation (upload)");
    cbKeepFileTimes = NewCheck(page, "cbKeepFileTimes", "Keep file times");
    cbKeepFileTimes->setToolTip(tr("A moved file gets the modification time of its source where "
                                   "the server can tell or set it"));
    connect(bIniPath, &QPushButton::clicked, this, &PreferencesDialog::ChooseStartFolder);
    connect(bFont, &QPushButton::clicked, this, &PreferencesDialog::ChooseFont);

    auto* font = new QHBoxLayout;
    font->addWidget(bFont);
    font->addStretch();
    auto* choices = new QHBoxLayout;
    rgDefPrompt =
        NewRadioGroup(page, choices, "rgDefPrompt", "Default Action :",
                      {{"rbSkip", "Skip"}, {"rbOverwrite", "Overwrite"}, {"rbResume", "Resume"}});
    rgDateType = NewRadioGroup(page, choices, "rgDateType", "Date Format",
                               {{"rbEurope", "Default (Europe)"}, {"rbUSA", "USA"}});
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(NewLine(bIniPath, eIniPath));
    layout->addLayout(font);
    layout->addWidget(cbPromptDownLoad);
    layout->addWidget(cbPromptUpLoad);
    layout->addWidget(cbKeepFileTimes);
    layout->addLayout(choices);
    layout->addStretch();
    return page;
}

QWidget* PreferencesDialog::BuildLanguagePage() {
    QWidget* page = NewPage(pcOptions, "tsLanguage", "Language");
    cbLangOn = NewCheck(page, "cbLangOn", "Use localization");
    lLangFile = NewLabel(page, "lLangFile", "Language");
    cbLangFile = Named(new QComboBox(page), "cbLangFile");
    MarkAsUserData(cbLangFile);
    lLangFile->setBuddy(cbLangFile);
    cbLangInit = NewCheck(page, "cbLangInit", "Recreate default language file");
    cbLangInit->hide();

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(cbLangOn);
    layout->addLayout(NewLine(lLangFile, cbLangFile));
    layout->addWidget(cbLangInit);
    layout->addStretch();
    return page;
}

// "Connection" holds the next four pages; the tree shows each page's title.
void PreferencesDialog::BuildPageTree(const QList<QWidget*>& pages) {
    for (int i = 0; i < pages.size(); ++i) {
        QTreeWidgetItem* parent = i >= 1 && i <= 4 ? pageNodes_.constFirst() : nullptr;
        auto* node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tvOptions);
        node->setText(0, pages.at(i)->windowTitle());
        pageNodes_.append(node);
        pages.at(i)->installEventFilter(this);
    }
    tvOptions->expandAll();
    tvOptions->setCurrentItem(pageNodes_.constFirst());
}

void PreferencesDialog::ConnectControls() {
    connect(tvOptions, &QTreeWidget::currentItemChanged, this, &PreferencesDialog::ShowChosenPage);
    for (QCheckBox* box : {cbMailAno, cbLog, cbKeep, cbLangOn})
        connect(box, &QCheckBox::toggled, this, &PreferencesDialog::UpdateLook);
    for (QButtonGroup* group : {rgTransferMode, rgConnectionType})
        connect(group, &QButtonGroup::idToggled, this, &PreferencesDialog::UpdateLook);
    connect(cbProxyPswMask, &QCheckBox::toggled, this,
            [this](bool masked) { SetPasswordMask(eProxyPsw, masked); });
    connect(cbSocksPswMask, &QCheckBox::toggled, this,
            [this](bool masked) { SetPasswordMask(eSocksPsw, masked); });
    connect(cbLangFile, &QComboBox::activated, this, &PreferencesDialog::PreviewChosenLanguage);
}

void PreferencesDialog::SetValues(const PreferencesValues& values) {
    values_ = values;
    const Options& o = values.Options;
    cbMailAno->setChecked(o.MailAno);
    eAnonymous->setText(ShownText(o.Anonymous));
    seTimeOut->setValue(o.TimeOut);
    seRetry->setValue(o.retry);
    cbPassive->setChecked(o.PassiveTransfer);
    cbSync->setChecked(o.Sync);

    CheckId(rgTransferMode, o.TransferMode);
    SetItems(lbExt, o.Ext);

    cbLog->setChecked(o.Log);
    eLogFile->setText(ShownText(o.LogFile));
    seLogSize->setValue(o.LogSize);

    cbKeep->setChecked(o.Keep);
    seStartKeep->setValue(o.StartKeep);
    seDurationKeep->setValue(o.DurationKeep);
    SetItems(lbCmdKeep, o.CmdKeep);

    CheckId(rgConnectionType, o.ConnectionType);
    eProxyServer->setText(ShownText(o.ProxyServer));
    eProxyPort->setText(ShownText(o.ProxyPort));
    eProxyPsw->setText(ShownText(o.ProxyPsw));
    cbProxyPswMask->setChecked(o.ProxyPswMask);
    SetPasswordMask(eProxyPsw, o.ProxyPswMask);
    eSocksServer->setText(ShownText(o.SocksServer));
    eSocksPort->setText(ShownText(o.SocksPort));
    eSocksUC->setText(ShownText(o.SocksUC));
    eSocksPsw->setText(ShownText(o.SocksPsw));
    cbSocksPswMask->setChecked(o.SocksPswMask);
    SetPasswordMask(eSocksPsw, o.SocksPswMask);

    eIniPath->setText(ShownText(o.IniPath));
    fontChosen_ = false;
    bFont->setFont(FontFromStored(o.FontName, o.FontSize));
    QPalette palette = bFont->palette();
    palette.setColor(QPalette::ButtonText,
                     ColorFromStored(o.FontColor, palette.color(QPalette::ButtonText)));
    bFont->setPalette(palette);
    cbPromptDownLoad->setChecked(o.PromptDownLoad);
    cbPromptUpLoad->setChecked(o.PromptUpLoad);
    cbKeepFileTimes->setChecked(o.KeepFileTimes);
    CheckId(rgDefPrompt, o.DefPrompt);
    CheckId(rgDateType, o.DateType);

    cbLangOn->setChecked(values.Lang.LangOn);
    cbLangFile->clear();
    for (const std::string& name : language_.ListLanguages())
        cbLangFile->addItem(ShownText(name));
    cbLangFile->setCurrentIndex(
        cbLangFile->findText(ShownText(values.Lang.LangFile), Qt::MatchFixedString));
    cbLangInit->setChecked(values.Lang.LangInit);
    UpdateLook();
}

PreferencesValues PreferencesDialog::Values() const {
    PreferencesValues values = values_;
    Options& o = values.Options;
    const Options& before = values_.Options;
    o.MailAno = cbMailAno->isChecked();
    o.Anonymous = StoredText(before.Anonymous, eAnonymous->text());
    o.TimeOut = seTimeOut->value();
    o.retry = seRetry->value();
    o.PassiveTransfer = cbPassive->isChecked();
    o.Sync = cbSync->isChecked();

    o.TransferMode = rgTransferMode->checkedId();
    o.Ext = ItemsText(before.Ext, lbExt);

    o.Log = cbLog->isChecked();
    o.LogFile = StoredText(before.LogFile, eLogFile->text());
    o.LogSize = seLogSize->value();

    o.Keep = cbKeep->isChecked();
    o.StartKeep = seStartKeep->value();
    o.DurationKeep = seDurationKeep->value();
    o.CmdKeep = ItemsText(before.CmdKeep, lbCmdKeep);

    o.ConnectionType = static_cast<std::uint8_t>(rgConnectionType->checkedId());
    o.ProxyServer = StoredText(before.ProxyServer, eProxyServer->text());
    o.ProxyPort = StoredText(before.ProxyPort, eProxyPort->text());
    o.ProxyPsw = StoredText(before.ProxyPsw, eProxyPsw->text());
    o.ProxyPswMask = cbProxyPswMask->isChecked();
    o.SocksServer = StoredText(before.SocksServer, eSocksServer->text());
    o.SocksPort = StoredText(before.SocksPort, eSocksPort->text());
    o.SocksUC = StoredText(before.SocksUC, eSocksUC->text());
    o.SocksPsw = StoredText(before.SocksPsw, eSocksPsw->text());
    o.SocksPswMask = cbSocksPswMask->isChecked();

    o.IniPath = StoredText(before.IniPath, eIniPath->text());
    if (fontChosen_) {
        o.FontName = bFont->font().family().toStdString();
        o.FontSize = bFont->font().pointSize();
    }
    o.PromptDownLoad = cbPromptDownLoad->isChecked();
    o.PromptUpLoad = cbPromptUpLoad->isChecked();
    o.KeepFileTimes = cbKeepFileTimes->isChecked();
    o.DefPrompt = rgDefPrompt->checkedId();
    o.DateType = rgDateType->checkedId();

    values.Lang.LangOn = cbLangOn->isChecked();
    values.Lang.LangFile = StoredText(values_.Lang.LangFile, cbLangFile->currentText());
    values.Lang.LangInit = cbLangInit->isChecked();
    return values;
}

int PreferencesDialog::CurrentPage() const {
    return pcOptions->currentIndex();
}

QTreeWidgetItem* PreferencesDialog::PageNode(int page) const {
    return pageNodes_.value(page);
}

void PreferencesDialog::showEvent(QShowEvent* event) {
    ApplyLanguage(language_, *this);
    QDialog::showEvent(event);
}

bool PreferencesDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::WindowTitleChange) {
        const int page = pcOptions->indexOf(qobject_cast<QWidget*>(watched));
        if (QTreeWidgetItem* node = pageNodes_.value(page))
            node->setText(0, pcOptions->widget(page)->windowTitle());
    }
    return QDialog::eventFilter(watched, event);
}

void PreferencesDialog::ShowChosenPage() {
    const int page = static_cast<int>(pageNodes_.indexOf(tvOptions->currentItem()));
    if (page >= 0)
        pcOptions->setCurrentIndex(page);
}

void PreferencesDialog::UpdateLook() {
    const PreferencesLook look = OptionsLook(Values());
    eAnonymous->setEnabled(look.AnonymousEnabled);
    PaintWhite(eAnonymous, look.AnonymousEnabled);
    PaintWhite(lbExt, look.ExtWhite);
    PaintWhite(eLogFile, look.LogFileWhite);
    for (QWidget* control : std::initializer_list<QWidget*>{lbCmdKeep, seStartKeep, seDurationKeep})
        PaintWhite(control, look.KeepWhite);
    gbProxy->setEnabled(look.ProxyEnabled);
    for (QLineEdit* edit : {eProxyServer, eProxyPort, eProxyPsw})
        PaintWhite(edit, look.ProxyEnabled);
    gbSocks->setEnabled(look.SocksEnabled);
    for (QLineEdit* edit : {eSocksServer, eSocksPort, eSocksUC, eSocksPsw})
        PaintWhite(edit, look.SocksEnabled);
    lLangFile->setEnabled(look.LanguageEnabled);
    cbLangFile->setEnabled(look.LanguageEnabled);
}

void PreferencesDialog::AddAsciiExtension() {
    AddAsked(prompts_, lbExt, "Add extention", "Enter");
}

void PreferencesDialog::ModifyAsciiExtension() {
    QListWidgetItem* item = SelectedItem(lbExt);
    if (!item) {
        AddAsciiExtension();
        return;
    }
    std::string extension = item->text().toStdString();
    if (prompts_.AskInput("Edit extention", "Enter", extension, false, MaxInputLength))
        item->setText(ShownText(extension));
}

void PreferencesDialog::RemoveAsciiExtension() {
    delete SelectedItem(lbExt);
}

void PreferencesDialog::ChooseLogFile() {
    ChooseInto(choosers_.LogFile, eLogFile);
}

void PreferencesDialog::AddIdleCommand() {
    AddAsked(prompts_, lbCmdKeep, "Add Command", "Enter command");
}

void PreferencesDialog::RemoveIdleCommand() {
    delete SelectedItem(lbCmdKeep);
}

void PreferencesDialog::ChooseStartFolder() {
    ChooseInto(choosers_.Directory, eIniPath);
}

void PreferencesDialog::ChooseFont() {
    if (!choosers_.Font)
        return;
    if (const std::optional<QFont> font = choosers_.Font(this, bFont->font())) {
        bFont->setFont(*font);
        fontChosen_ = true;
    }
}

void PreferencesDialog::PreviewChosenLanguage(int index) {
    if (cbLangOn->isChecked() && index >= 0)
        PreviewLanguage(language_, *this, cbLangFile->itemText(index).toStdString());
}
