#include "transfer/OverwritePrompt_dialog.h"

#include "prefs/Translator_widgets.h"
#include "prefs/look_widgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// In the order of their tags: the answer is the button's position.
constexpr AnswerButton<OverwriteAnswer> kButtons[] = {
    {OverwriteAnswer::Resume, "BitBtn1", QT_TRANSLATE_NOOP("OverwritePromptDialog", "Resume")},
    {OverwriteAnswer::Overwrite, "BitBtn2",
     QT_TRANSLATE_NOOP("OverwritePromptDialog", "Overwrite")},
    {OverwriteAnswer::All, "BitBtn3", QT_TRANSLATE_NOOP("OverwritePromptDialog", "All")},
    {OverwriteAnswer::Skip, "BitBtn4", QT_TRANSLATE_NOOP("OverwritePromptDialog", "Skip")},
    {OverwriteAnswer::SaveAs, "BitBtn5", QT_TRANSLATE_NOOP("OverwritePromptDialog", "Save as")},
    {OverwriteAnswer::Cancel, "BitBtn6", QT_TRANSLATE_NOOP("OverwritePromptDialog", "Cancel")},
};

} // namespace

OverwritePromptDialog::OverwritePromptDialog(Translator& language, std::string path,
                                             PathQuestion askPath, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      path_(std::move(path)), askPath_(std::move(askPath)) {
    setObjectName(QStringLiteral("TFReWrite"));
    setWindowTitle(tr("Rewrite Files Prompt"));
    setModal(true);

    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("re1"));
    text_->setReadOnly(true);
    text_->setPlainText(tr("File already exists !") + QLatin1Char('\n') + ShownText(path_));
    MarkAsUserData(text_);
    text_->setMaximumHeight(text_->fontMetrics().lineSpacing() * 4);
    auto* question = new QLabel(tr("Overwrite the file ?"), this);
    question->setObjectName(QStringLiteral("Label1"));

    QHBoxLayout* row =
        AddAnswerRow(*this, kButtons, buttons_, [this](OverwriteAnswer answer) { Choose(answer); });
    Button(OverwriteAnswer::Overwrite)->setDefault(true);
    Button(OverwriteAnswer::Overwrite)->setFocus();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    layout->addWidget(question);
    layout->addLayout(row);

    ApplyLanguage(language, *this);
    // Behind a busy main window the question would go unseen.
    QTimer::singleShot(0, this, [this] {
        raise();
        activateWindow();
    });
}

QPushButton* OverwritePromptDialog::Button(OverwriteAnswer answer) const {
    return buttons_[static_cast<int>(answer)];
}

void OverwritePromptDialog::Choose(OverwriteAnswer answer) {
    if (answer == OverwriteAnswer::SaveAs) {
        std::optional<std::string> typed = askPath_ ? askPath_(path_) : std::nullopt;
        if (!typed)
            return; // the question stays: another button may be pressed
        path_ = std::move(*typed);
    }
    answer_ = answer;
    accept();
}
