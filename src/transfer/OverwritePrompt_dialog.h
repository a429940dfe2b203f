#pragma once

#include "prefs/Prompts.h"

#include <QDialog>
#include <functional>
#include <optional>
#include <string>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class Translator;

// "Rewrite Files Prompt": a transfer's destination exists; six buttons say
// what to do with it. "Save as" asks for another path first and leaves the
// window open when that question is cancelled.
class OverwritePromptDialog : public QDialog {
    Q_OBJECT

public:
    // Asks for the "Save as" path, prefilled; nothing when cancelled.
    using PathQuestion = std::function<std::optional<std::string>(const std::string&)>;

    OverwritePromptDialog(Translator& language, std::string path, PathQuestion askPath,
                          QWidget* parent = nullptr);

    // Cancel until a button is pressed; Escape also means Cancel.
    OverwriteAnswer Answer() const { return answer_; }
    // The existing path, or the one typed for "Save as".
    const std::string& Path() const { return path_; }
    QPushButton* Button(OverwriteAnswer answer) const;

private:
    void Choose(OverwriteAnswer answer);

    std::string path_;
    PathQuestion askPath_;
    OverwriteAnswer answer_ = OverwriteAnswer::Cancel;
    QPlainTextEdit* text_ = nullptr;
    QPushButton* buttons_[6] = {};
};
