#pragma once

#include "session/SessionController.h"

#include <QFrame>

class QLabel;
class QPushButton;
class QToolButton;

// A strip above the right pane that tells, in plain words, why a connect or a
// login failed or a session was lost. It does not block: the user may read
// it, close it, or (after a refused typed password) type the password again.
class SessionNotice : public QFrame {
    Q_OBJECT

public:
    explicit SessionNotice(QWidget* parent = nullptr);

    // Shown when the session has just ended with a failure; hidden as soon as
    // another connect starts.
    void FollowSession(session::SessionState state, const session::EndReport& end);

    QString Text() const;
    QPushButton* RetryButton() const { return retry_; }
    QToolButton* CloseButton() const { return close_; }

signals:
    void PasswordRetryRequested();

private:
    QLabel* text_;
    QPushButton* retry_;
    QToolButton* close_;
    session::SessionState last_ = session::SessionState::Idle;
};
