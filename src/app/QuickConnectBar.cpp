#include "app/QuickConnectBar.h"

#include "app/CommandIcon.h"

#include <QCheckBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QString Shown(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

QuickConnectBar::QuickConnectBar(QWidget* parent) : QToolBar(tr("Quick connect"), parent) {
    setObjectName(QStringLiteral("QuickConnectBar"));
    setMovable(false);
    host_ = AddField(tr("Host:"), "QuickHost", 150);
    user_ = AddField(tr("User:"), "QuickUser", 90);
    password_ = AddField(tr("Password:"), "QuickPassword", 90);
    password_->setEchoMode(QLineEdit::Password);
    port_ = AddField(tr("Port:"), "QuickPort", 50);
    port_->setValidator(new QIntValidator(1, 65535, port_));
    port_->setPlaceholderText(QStringLiteral("21"));
    user_->setPlaceholderText(tr("anonymous"));
    host_->setToolTip(tr("A host name or address (\"::1\", \"[::1]:2121\"), or an address "
                         "such as ftp://user@host/folder; ftps:// connects with implicit TLS "
                         "(port 990), ftpes:// requires explicit TLS"));
    // The port taken while the box is empty follows the typed address.
    connect(host_, &QLineEdit::textChanged, this, [this](const QString& host) {
        port_->setPlaceholderText(Shown(QuickConnectDefaultPort(host.toStdString())));
    });
    remember_ = new QCheckBox(tr("Remember password"), this);
    remember_->setObjectName(QStringLiteral("QuickRememberPassword"));
    addWidget(remember_);
    connect_ = new QPushButton(CommandIcon("network-connect", QStyle::SP_DriveNetIcon),
                               tr("Connect"), this);
    connect_->setObjectName(QStringLiteral("QuickConnect"));
    addWidget(connect_);
    save_ = new QPushButton(tr("Save as site"), this);
    save_->setObjectName(QStringLiteral("QuickSaveSite"));
    addWidget(save_);

    connect(connect_, &QPushButton::clicked, this, &QuickConnectBar::ConnectRequested);
    connect(save_, &QPushButton::clicked, this, &QuickConnectBar::SaveRequested);
    // Enter in any field connects, as the button does.
    for (QLineEdit* field : {host_, user_, password_, port_})
        connect(field, &QLineEdit::returnPressed, this, [this] {
            if (connect_->isEnabled())
                emit ConnectRequested();
        });
}

QLineEdit* QuickConnectBar::AddField(const QString& label, const char* name, int width) {
    auto* caption = new QLabel(label, this);
    caption->setContentsMargins(6, 0, 2, 0);
    addWidget(caption);
    auto* field = new QLineEdit(this);
    field->setObjectName(QString::fromLatin1(name));
    field->setFixedWidth(width);
    caption->setBuddy(field);
    addWidget(field);
    return field;
}

QuickConnectEntries QuickConnectBar::Entries() const {
    return {host_->text().toStdString(), user_->text().toStdString(),
            password_->text().toStdString(), port_->text().toStdString(), remember_->isChecked()};
}

void QuickConnectBar::SetEntries(const QuickConnectEntries& entries) {
    host_->setText(Shown(entries.Host));
    user_->setText(Shown(entries.User));
    password_->setText(Shown(entries.Password));
    port_->setText(Shown(entries.Port));
    remember_->setChecked(entries.RememberPassword);
}

void QuickConnectBar::SetConnectEnabled(bool enabled) {
    connect_->setEnabled(enabled);
}
