#include "app/SessionNotice.h"

#include "app/CommandIcon.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

SessionNotice::SessionNotice(QWidget* parent)
    : QFrame(parent), text_(new QLabel(this)),
      retry_(new QPushButton(tr("Type the password again"), this)), close_(new QToolButton(this)) {
    setObjectName(QStringLiteral("SessionNotice"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    // A warning's colours from the palette, so dark themes stay readable.
    QPalette colours = palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::ToolTipBase));
    colours.setColor(QPalette::WindowText, colours.color(QPalette::ToolTipText));
    setPalette(colours);

    auto* icon = new QLabel(this);
    icon->setPixmap(CommandIcon("dialog-warning", QStyle::SP_MessageBoxWarning).pixmap(22, 22));
    text_->setObjectName(QStringLiteral("NoticeText"));
    text_->setWordWrap(true);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    retry_->setObjectName(QStringLiteral("RetryPassword"));
    close_->setObjectName(QStringLiteral("CloseNotice"));
    close_->setIcon(CommandIcon("window-close", QStyle::SP_TitleBarCloseButton));
    close_->setAutoRaise(true);
    close_->setToolTip(tr("Close"));

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 4, 4, 4);
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addWidget(text_, 1);
    row->addWidget(retry_, 0, Qt::AlignVCenter);
    row->addWidget(close_, 0, Qt::AlignTop);

    retry_->hide();
    connect(close_, &QToolButton::clicked, this, &QWidget::hide);
    connect(retry_, &QPushButton::clicked, this, [this] {
        hide();
        emit PasswordRetryRequested();
    });
    hide();
}

void SessionNotice::FollowSession(session::SessionState state, const session::EndReport& end) {
    const session::SessionState before = std::exchange(last_, state);
    if (state == session::SessionState::Connecting) {
        hide();
        return;
    }
    // Once, when the session has just ended: a closed notice stays closed.
    if (state != session::SessionState::Idle || before == session::SessionState::Idle)
        return;
    const std::optional<session::FailureNotice> notice = session::NoticeFor(end);
    if (!notice)
        return;
    text_->setText(QString::fromStdString(notice->Text));
    retry_->setVisible(notice->OfferPassword);
    show();
}

QString SessionNotice::Text() const {
    return text_->text();
}
