#pragma once

#include "sites/QuickConnect.h"

#include <QToolBar>

class QCheckBox;
class QLineEdit;
class QPushButton;

// The bar under the tool bar for a one-off session: host, user, password,
// port and "Connect", and "Save as site" to keep the entries as a site. The
// window decides what the requests do.
class QuickConnectBar : public QToolBar {
    Q_OBJECT

public:
    explicit QuickConnectBar(QWidget* parent = nullptr);

    QuickConnectEntries Entries() const;
    void SetEntries(const QuickConnectEntries& entries);
    // Connecting is offered while no session runs.
    void SetConnectEnabled(bool enabled);

    QLineEdit* Host() const { return host_; }
    QLineEdit* User() const { return user_; }
    QLineEdit* Password() const { return password_; }
    QLineEdit* Port() const { return port_; }
    QCheckBox* RememberPassword() const { return remember_; }
    QPushButton* ConnectButton() const { return connect_; }
    QPushButton* SaveButton() const { return save_; }

signals:
    void ConnectRequested();
    void SaveRequested();

private:
    QLineEdit* AddField(const QString& label, const char* name, int width);

    QLineEdit* host_;
    QLineEdit* user_;
    QLineEdit* password_;
    QLineEdit* port_;
    QCheckBox* remember_;
    QPushButton* connect_;
    QPushButton* save_;
};
