#include "prefs/look_widgets.h"

#include <QLineEdit>
#include <QPalette>
#include <QWidget>

void PaintWhite(QWidget* control, bool white) {
    QPalette palette = control->palette();
    const QColor grey = control->window()->palette().color(QPalette::Window);
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Base, white ? QColor(Qt::white) : grey);
    control->setPalette(palette);
}

void SetPasswordMask(QLineEdit* edit, bool masked) {
    // The style sheet gives "*" instead of the style's bullet.
    edit->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    edit->setEchoMode(masked ? QLineEdit::Password : QLineEdit::Normal);
}

QColor ColorFromStored(int stored, const QColor& systemText) {
    if (stored < 0)
        return systemText;
    const auto value = static_cast<unsigned>(stored);
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

QFont FontFromStored(const std::string& name, int pointSize) {
    QFont font(QString::fromStdString(name));
    if (pointSize > 0)
        font.setPointSize(pointSize);
    return font;
}

QString ShownText(const std::string& stored) {
    return QString::fromUtf8(stored.data(), qsizetype(stored.size()));
}

std::string StoredText(const std::string& before, const QString& shown) {
    return ShownText(before) == shown ? before : shown.toStdString();
}
