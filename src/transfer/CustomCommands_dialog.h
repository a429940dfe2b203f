#pragma once

#include "transfer/CustomCommands.h"

#include <QDialog>

class QLineEdit;
class QListWidget;
class QPushButton;
class Translator;

// "Commands": the saved custom commands, a list of labels with the label and
// command text of the selected one in two edits. Edits, additions and
// removals stay in the editor whichever button closes the window.
class CommandsDialog : public QDialog {
    Q_OBJECT

public:
    CommandsDialog(Translator& language, transfer::CommandEditor& editor,
                   QWidget* parent = nullptr);

    // "Select": the chosen command line (empty when none was chosen).
    std::string Chosen() const;

    QListWidget* Labels() const { return labels_; }
    QLineEdit* LabelEdit() const { return label_; }
    QLineEdit* CommandEdit() const { return command_; }
    QPushButton* Button(const char* objectName) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowSelection(bool keepText = false);
    void FillLabels(bool keepText = false);
    void Add();
    void Remove();
    void Finish(bool select);
    // Enter, Escape, Insert and Delete as the window sees them (`inList`: the
    // list has the focus); true when used.
    bool HandleKey(int key, bool inList);

    transfer::CommandEditor& editor_;
    QListWidget* labels_ = nullptr;
    QLineEdit* label_ = nullptr;
    QLineEdit* command_ = nullptr;
    bool selected_ = false; // closed by "Select"
};
