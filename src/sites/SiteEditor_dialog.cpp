#include "sites/SiteEditor_dialog.h"

#include "prefs/Prompts.h"
#include "prefs/TextFile.h"
#include "prefs/Translator_widgets.h"
#include "prefs/look_widgets.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <type_traits>

namespace {

constexpr int MinimumWidth = 560;
constexpr int ColumnBoxWidth = 36;
constexpr int DescHeight = 60;

// A control named for the window's translations, with its caption.
template <class W>
W* Control(QWidget* parent, const char* name, const char* caption = nullptr) {
    auto* control = new W(parent);
    control->setObjectName(QLatin1String(name));
    if constexpr (std::is_base_of_v<QAbstractButton, W> || std::is_base_of_v<QLabel, W>) {
        if (caption)
            control->setText(QString::fromUtf8(caption));
    }
    if constexpr (std::is_same_v<W, QPushButton>)
        control->setAutoDefault(false);
    if constexpr (std::is_same_v<W, QLineEdit> || std::is_same_v<W, QPlainTextEdit> ||
                  std::is_same_v<W, QComboBox>)
        MarkAsUserData(control);
    return control;
}

// The label of a control, named like it with "l" for its first letter.
QLabel* BuddyLabel(QWidget* parent, QWidget* buddy, const char* caption) {
    const std::string name = "l" + buddy->objectName().mid(1).toStdString();
    auto* label = Control<QLabel>(parent, name.c_str(), caption);
    label->setBuddy(buddy);
    return label;
}

QLineEdit* LabelledEdit(QWidget* parent, QFormLayout* form, const char* name, const char* caption) {
    auto* edit = Control<QLineEdit>(parent, name);
    form->addRow(BuddyLabel(parent, edit, caption), edit);
    return edit;
}

// Site texts from older installations are in their 8-bit code page: shown as
// such, and given back byte for byte while unchanged.
QString Shown(const std::string& stored) {
    return ShownText(ToUtf8(stored));
}

std::string Stored(const std::string& before, const QString& shown) {
    return Shown(before) == shown ? before : shown.toStdString();
}

std::string StoredLines(const std::vector<std::string>& before, const QString& shown) {
    std::string joined;
    for (std::size_t i = 0; i < before.size(); ++i)
        joined += (i > 0 ? "\n" : "") + before[i];
    return Stored(joined, shown);
}

} // namespace

SiteEditor::SiteEditor(Translator& language, Prompts& prompts, DirectoryChooser chooser,
                       std::string folder, QWidget* parent)
    : QDialog(parent), prompts_(prompts), chooser_(std::move(chooser)), folder_(std::move(folder)) {
    setObjectName(QStringLiteral("TFFtpBase"));
    setWindowTitle(QStringLiteral("Server Properties"));
    setModal(true);
    setMinimumWidth(MinimumWidth);

    auto* layout = new QVBoxLayout(this);
    BuildLogin(layout);
    BuildDirectories(layout);
    BuildCertificate(layout);
    BuildHostType(layout);

    mDesc = Control<QPlainTextEdit>(this, "mDesc");
    mDesc->setFixedHeight(DescHeight);
    layout->addWidget(BuddyLabel(this, mDesc, "Description"));
    layout->addWidget(mDesc);

    auto* bbSave = Control<QPushButton>(this, "bbSave", "Save");
    auto* bbCancel = Control<QPushButton>(this, "bbCancel", "Cancel");
    bbSave->setDefault(true);
    connect(bbSave, &QPushButton::clicked, this, &SiteEditor::SaveSite);
    connect(bbCancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(bbSave);
    buttons->addWidget(bbCancel);
    layout->addLayout(buttons);

    ConnectControls();
    ApplyLanguage(language, *this);
}

void SiteEditor::BuildLogin(QBoxLayout* into) {
    auto* grid = new QGridLayout;
    auto* left = new QFormLayout;
    eName = LabelledEdit(this, left, "eName", "Name");
    eServer = LabelledEdit(this, left, "eServer", "FTP Server");
    ePort = LabelledEdit(this, left, "ePort", "FTP Port");
    cbEncryption = Control<QComboBox>(this, "cbEncryption");
    for (const EncryptionChoice& choice : EncryptionChoices)
        cbEncryption->addItem(QString::fromUtf8(choice.Text));
    left->addRow(BuddyLabel(this, cbEncryption, "Encryption"), cbEncryption);
    AnonymousCB = Control<QCheckBox>(this, "AnonymousCB", "Anonymous Login");
    left->addRow(AnonymousCB);
    eUser = LabelledEdit(this, left, "eUser", "User ID");
    ePassword = LabelledEdit(this, left, "ePassword", "Password");
    eAccount = LabelledEdit(this, left, "eAccount", "Account");
    eEMail = LabelledEdit(this, left, "eEMail", "E-Mail");
    grid->addLayout(left, 0, 0);

    auto* flags = new QVBoxLayout;
    cbSavePassword = Control<QCheckBox>(this, "cbSavePassword", "Save Password");
    cbMaskPassword = Control<QCheckBox>(this, "cbMaskPassword", "Mask Password");
    cbPasv = Control<QCheckBox>(this, "cbPasv", "Passive Mode");
    cbVHost = Control<QCheckBox>(this, "cbVHost", "Shared virtual host");
    cbMlsd = Control<QCheckBox>(this, "cbMlsd", "Use MLSD when offered");
    for (QCheckBox* box : {cbSavePassword, cbMaskPassword, cbPasv, cbVHost, cbMlsd})
        flags->addWidget(box);
    flags->addStretch();
    grid->addLayout(flags, 0, 1);
    grid->setColumnStretch(0, 1);
    into->addLayout(grid);
}

void SiteEditor::BuildDirectories(QBoxLayout* into) {
    auto* grid = new QGridLayout;
    eInitialDir = Control<QLineEdit>(this, "eInitialDir");
    cbSlash = Control<QCheckBox>(this, "cbSlash", "Add \"/\"");
    eLocalDir = Control<QLineEdit>(this, "eLocalDir");
    auto* bBrowse = Control<QPushButton>(this, "bBrowse", "Browse");
    connect(bBrowse, &QPushButton::clicked, this, &SiteEditor::BrowseLocalFolder);

    grid->addWidget(BuddyLabel(this, eInitialDir, "Initial Directory on FTP Server"), 0, 0, 1, 2);
    grid->addWidget(eInitialDir, 1, 0);
    grid->addWidget(cbSlash, 1, 1);
    grid->addWidget(BuddyLabel(this, eLocalDir, "Initial Directory on Local Machine"), 2, 0, 1, 2);
    grid->addWidget(eLocalDir, 3, 0);
    grid->addWidget(bBrowse, 3, 1);
    grid->setColumnStretch(0, 1);
    into->addLayout(grid);
}

void SiteEditor::BuildCertificate(QBoxLayout* into) {
    pCertificate = Control<QWidget>(this, "pCertificate");
    eFingerprint = Control<QLineEdit>(pCertificate, "eFingerprint");
    eFingerprint->setReadOnly(true);
    auto* bForget = Control<QPushButton>(pCertificate, "bForget", "Forget");
    connect(bForget, &QPushButton::clicked, this, &SiteEditor::ForgetCertificate);
    auto* row = new QHBoxLayout(pCertificate);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(BuddyLabel(pCertificate, eFingerprint, "Trusted certificate (SHA-256)"));
    row->addWidget(eFingerprint, 1);
    row->addWidget(bForget);
    into->addWidget(pCertificate);
}

void SiteEditor::BuildHostType(QBoxLayout* into) {
    auto* type = new QHBoxLayout;
    auto* lHostType = Control<QLabel>(this, "lHostType", "Response Type");
    cbHostType = Control<QComboBox>(this, "cbHostType");
    for (const char* name : HostTypeNames)
        cbHostType->addItem(QString::fromUtf8(name));
    lHostType->setBuddy(cbHostType);
    type->addWidget(lHostType);
    type->addWidget(cbHostType, 1);
    into->addLayout(type);

    gbCustom = Control<QGroupBox>(this, "gbCustom");
    gbCustom->setTitle(QStringLiteral("Custom"));
    lbCustom = Control<QListWidget>(gbCustom, "lbCustom");
    MarkAsUserData(lbCustom);
    auto* bAdd = Control<QPushButton>(gbCustom, "bAdd", "add");
    auto* bEdit = Control<QPushButton>(gbCustom, "bEdit", "edit");
    auto* bDelete = Control<QPushButton>(gbCustom, "bDelete", "delete");
    connect(bAdd, &QPushButton::clicked, this, &SiteEditor::AddHostType);
    connect(bEdit, &QPushButton::clicked, this, &SiteEditor::EditHostType);
    connect(bDelete, &QPushButton::clicked, this, &SiteEditor::DeleteHostType);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* button : {bAdd, bEdit, bDelete})
        buttons->addWidget(button);
    buttons->addStretch();

    constexpr std::array<std::pair<const char*, const char*>, ColumnCount> columns = {{
        {"eColName", "Name"},
        {"eColSize", "Size"},
        {"eColMonth", "Month"},
        {"eColDay", "Day"},
        {"eColTime", "Time"},
        {"eColAttribute", "Attribute"},
    }};
    auto* boxes = new QGridLayout;
    const auto* digits =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,2}")), gbCustom);
    for (std::size_t i = 0; i < ColumnCount; ++i) {
        QLineEdit* box = Control<QLineEdit>(gbCustom, columns[i].first);
        box->setValidator(digits);
        box->setMaxLength(2);
        box->setFixedWidth(ColumnBoxWidth);
        const int column = static_cast<int>(i);
        boxes->addWidget(BuddyLabel(gbCustom, box, columns[i].second), 0, column);
        boxes->addWidget(box, 1, column);
        eColumns[i] = box;
    }
    boxes->setRowStretch(2, 1);

    auto* panel = new QHBoxLayout(gbCustom);
    panel->addWidget(lbCustom, 1);
    panel->addLayout(buttons);
    panel->addLayout(boxes);
    into->addWidget(gbCustom);
}

void SiteEditor::ConnectControls() {
    connect(AnonymousCB, &QCheckBox::clicked, this, &SiteEditor::UpdateLook);
    connect(cbMaskPassword, &QCheckBox::toggled, this,
            [this](bool masked) { SetPasswordMask(ePassword, masked); });
    connect(cbSlash, &QCheckBox::clicked, this, &SiteEditor::ApplyTrailingSlash);
    connect(cbEncryption, &QComboBox::currentIndexChanged, this, &SiteEditor::ApplyEncryption);
    connect(cbHostType, &QComboBox::currentIndexChanged, this, &SiteEditor::UpdateLook);
    connect(lbCustom, &QListWidget::currentRowChanged, this, &SiteEditor::ShowHostType);
}

void SiteEditor::SetValues(const SiteForm& form) {
    form_ = form;
    eName->setText(Shown(form.Name));
    eServer->setText(Shown(form.Server));
    ePort->setText(Shown(form.Port));
    AnonymousCB->setChecked(form.Anonymous);
    eUser->setText(Shown(form.User));
    ePassword->setText(Shown(form.Password));
    eAccount->setText(Shown(form.Account));
    eInitialDir->setText(Shown(form.InitialDir));
    cbSlash->setChecked(form.Slash);
    eLocalDir->setText(Shown(form.LocalDir));
    eEMail->setText(Shown(form.EMail));
    cbSavePassword->setChecked(form.SavePassword);
    cbPasv->setChecked(form.Pasv);
    cbMaskPassword->setChecked(form.MaskPassword);
    SetPasswordMask(ePassword, form.MaskPassword);
    cbVHost->setChecked(form.VirtualHost);
    cbMlsd->setChecked(form.UseMlsd);
    encryption_ = form.Encryption;
    {
        const QSignalBlocker blocker(cbEncryption);
        cbEncryption->setCurrentIndex(EncryptionChoiceIndex(form.Encryption));
    }
    eFingerprint->setText(QString::fromStdString(form.TlsFingerprint));
    eFingerprint->setCursorPosition(0);
    eFingerprint->setToolTip(eFingerprint->text());
    pCertificate->setVisible(!form.TlsFingerprint.empty());
    {
        const QSignalBlocker blocker(cbHostType);
        cbHostType->setCurrentIndex(form.HostType);
    }
    QStringList lines;
    for (const std::string& line : form.DescLines)
        lines.append(Shown(line));
    mDesc->setPlainText(lines.join(u'\n'));
    ShowCustom(form);
}

SiteForm SiteEditor::Values() const {
    SiteForm form = form_;
    form.Name = Stored(form_.Name, eName->text());
    form.Server = Stored(form_.Server, eServer->text());
    form.Port = Stored(form_.Port, ePort->text());
    form.Anonymous = AnonymousCB->isChecked();
    form.User = Stored(form_.User, eUser->text());
    form.Password = Stored(form_.Password, ePassword->text());
    form.Account = Stored(form_.Account, eAccount->text());
    form.InitialDir = Stored(form_.InitialDir, eInitialDir->text());
    form.Slash = cbSlash->isChecked();
    form.LocalDir = Stored(form_.LocalDir, eLocalDir->text());
    form.EMail = Stored(form_.EMail, eEMail->text());
    form.SavePassword = cbSavePassword->isChecked();
    form.Pasv = cbPasv->isChecked();
    form.MaskPassword = cbMaskPassword->isChecked();
    form.VirtualHost = cbVHost->isChecked();
    form.UseMlsd = cbMlsd->isChecked();
    form.Encryption = encryption_;
    form.TlsFingerprint = eFingerprint->text().toStdString();
    form.HostType = cbHostType->currentIndex();
    for (std::size_t i = 0; i < ColumnCount; ++i)
        form.Columns[i] = eColumns[i]->text().toStdString();
    form.DescLines = TextLines(StoredLines(form_.DescLines, mDesc->toPlainText()), '\n');
    return form;
}

void SiteEditor::ShowCustom(const SiteForm& form) {
    form_.CustomTypes = form.CustomTypes;
    form_.CustomType = form.CustomType;
    {
        const QSignalBlocker blocker(lbCustom);
        lbCustom->clear();
        for (const HostType& type : form.CustomTypes)
            lbCustom->addItem(Shown(type.Name));
        lbCustom->setCurrentRow(form.CustomType);
    }
    for (std::size_t i = 0; i < ColumnCount; ++i)
        eColumns[i]->setText(QString::fromStdString(form.Columns[i]));
    UpdateLook();
}

void SiteEditor::UpdateLook() {
    const SiteEditorLook look = SiteLook(Values());
    eEMail->setEnabled(look.EMailEnabled);
    for (QLineEdit* edit : {eUser, ePassword, eAccount})
        edit->setEnabled(look.LoginEnabled);
    gbCustom->setVisible(look.CustomPanelVisible);
    for (QLineEdit* box : eColumns)
        box->setEnabled(look.ColumnsEnabled);
}

void SiteEditor::ApplyEncryption(int choice) {
    if (choice < 0 || choice >= static_cast<int>(EncryptionChoices.size()))
        return;
    SiteForm form = Values();
    ChooseEncryption(form, EncryptionChoices[static_cast<std::size_t>(choice)].Encryption);
    encryption_ = form.Encryption;
    ePort->setText(Shown(form.Port));
}

void SiteEditor::ForgetCertificate() {
    eFingerprint->clear();
    pCertificate->hide();
}

void SiteEditor::ApplyTrailingSlash(bool checked) {
    const std::string dir = Stored(form_.InitialDir, eInitialDir->text());
    eInitialDir->setText(Shown(SlashedDir(dir, checked)));
}

void SiteEditor::BrowseLocalFolder() {
    if (!chooser_)
        return;
    const std::string start = BrowseStart(Stored(form_.LocalDir, eLocalDir->text()), folder_);
    if (const std::optional<QString> chosen = chooser_(this, Shown(start)))
        eLocalDir->setText(*chosen);
}

void SiteEditor::ShowHostType(int row) {
    SiteForm form = Values();
    SelectCustomType(form, row);
    ShowCustom(form);
}

void SiteEditor::AddHostType() {
    SiteForm form = Values();
    AddCustomType(prompts_, form);
    ShowCustom(form);
}

void SiteEditor::EditHostType() {
    SiteForm form = Values();
    EditCustomType(prompts_, form);
    ShowCustom(form);
}

void SiteEditor::DeleteHostType() {
    SiteForm form = Values();
    DeleteCustomType(form);
    ShowCustom(form);
}

void SiteEditor::SaveSite() {
    if (const std::optional<std::string> problem = SaveProblem(Values())) {
        prompts_.ShowMessage(AttentionCaption, *problem, MessageIcon::Stop);
        return;
    }
    accept();
}
