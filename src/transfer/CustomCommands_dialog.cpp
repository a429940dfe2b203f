#include "transfer/CustomCommands_dialog.h"

#include "prefs/Translator_widgets.h"
#include "prefs/look_widgets.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

CommandsDialog::CommandsDialog(Translator& language, transfer::CommandEditor& editor,
                               QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      editor_(editor) {
    setObjectName(QStringLiteral("T_FCmd"));
    setWindowTitle(tr("Commands"));
    setModal(true);

    labels_ = new QListWidget(this);
    labels_->setObjectName(QStringLiteral("lbCmd"));
    labels_->installEventFilter(this);
    label_ = new QLineEdit(this);
    label_->setObjectName(QStringLiteral("eAl"));
    command_ = new QLineEdit(this);
    command_->setObjectName(QStringLiteral("eCmd"));
    for (QLineEdit* edit : {label_, command_}) {
        MarkAsUserData(edit);
        edit->installEventFilter(this);
    }
    auto* labelCaption = new QLabel(tr("Label"), this);
    labelCaption->setObjectName(QStringLiteral("Label1"));
    auto* commandCaption = new QLabel(tr("Command text"), this);
    commandCaption->setObjectName(QStringLiteral("Label2"));

    auto* buttons = new QHBoxLayout;
    const struct {
        const char* name;
        QString text;
        void (CommandsDialog::*run)();
    } kButtons[] = {
        {"SpeedButton1", tr("Add"), &CommandsDialog::Add},
        {"SpeedButton2", tr("Remove"), &CommandsDialog::Remove},
    };
    for (const auto& entry : kButtons) {
        auto* button = new QPushButton(entry.text, this);
        button->setObjectName(QString::fromLatin1(entry.name));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, entry.run);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    auto* close = new QPushButton(tr("Close"), this);
    close->setObjectName(QStringLiteral("SpeedButton4"));
    auto* select = new QPushButton(tr("Select"), this);
    select->setObjectName(QStringLiteral("SpeedButton3"));
    for (QPushButton* button : {close, select}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    connect(close, &QPushButton::clicked, this, [this] { Finish(false); });
    connect(select, &QPushButton::clicked, this, [this] { Finish(true); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(labels_, 1);
    layout->addWidget(labelCaption);
    layout->addWidget(label_);
    layout->addWidget(commandCaption);
    layout->addWidget(command_);
    layout->addLayout(buttons);

    connect(labels_, &QListWidget::currentRowChanged, this, [this](int row) {
        editor_.Select(row);
        ShowSelection();
    });
    connect(labels_, &QListWidget::itemDoubleClicked, this, [this] { Finish(true); });
    connect(label_, &QLineEdit::textEdited, this, [this](const QString& text) {
        editor_.SetLabel(text.toStdString());
        if (QListWidgetItem* item = labels_->item(editor_.Selected()))
            item->setText(text); // the list follows the typing
    });
    connect(command_, &QLineEdit::textEdited, this,
            [this](const QString& text) { editor_.SetCommand(text.toStdString()); });

    FillLabels();
    ApplyLanguage(language, *this);
    resize(360, 320);
}

QPushButton* CommandsDialog::Button(const char* objectName) const {
    return findChild<QPushButton*>(QString::fromLatin1(objectName));
}

std::string CommandsDialog::Chosen() const {
    return selected_ ? editor_.Chosen() : std::string();
}

void CommandsDialog::FillLabels(bool keepText) {
    const QSignalBlocker quiet(labels_);
    labels_->clear();
    for (const std::string& label : editor_.Library().Labels)
        labels_->addItem(QString::fromStdString(label));
    labels_->setCurrentRow(editor_.Selected());
    ShowSelection(keepText);
}

void CommandsDialog::ShowSelection(bool keepText) {
    if (!keepText) {
        label_->setText(QString::fromStdString(editor_.Label()));
        command_->setText(QString::fromStdString(editor_.Command()));
    }
    label_->setReadOnly(editor_.ReadOnly());
    command_->setReadOnly(editor_.ReadOnly());
}

void CommandsDialog::Add() {
    editor_.Add();
    FillLabels();
}

void CommandsDialog::Remove() {
    editor_.Remove();
    FillLabels(true); // the edits keep their text, read-only
}

void CommandsDialog::Finish(bool select) {
    selected_ = select;
    if (select)
        accept();
    else
        reject();
}

bool CommandsDialog::HandleKey(int key, bool inList) {
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Finish(!editor_.ReadOnly());
        return true;
    case Qt::Key_Escape:
        if (inList)
            Finish(false);
        return inList;
    case Qt::Key_Insert:
        if (inList) {
            Add();
            labels_->setFocus();
        }
        return inList;
    case Qt::Key_Delete:
        if (inList) {
            Remove();
            labels_->setFocus();
        }
        return inList;
    default:
        return false;
    }
}

bool CommandsDialog::eventFilter(QObject* watched, QEvent* event) {
    // The window sees the keys before its controls do.
    if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
        HandleKey(static_cast<QKeyEvent*>(event)->key(), watched == labels_))
        return true;
    return QDialog::eventFilter(watched, event);
}

void CommandsDialog::keyPressEvent(QKeyEvent* event) {
    if (!HandleKey(event->key(), labels_->hasFocus()))
        QDialog::keyPressEvent(event);
}
