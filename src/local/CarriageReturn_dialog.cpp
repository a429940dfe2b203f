#include "local/CarriageReturn_dialog.h"

#include "local/LineEndings.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace local {

namespace {

constexpr int MinimumWidth = 260; // the caption shows whole

struct Choice {
    const char* name;
    const char* caption;
    int code;
};
constexpr std::array<Choice, 7> ChoiceRows = {{
    {"rbNo", "Do not change", NoConversion},
    {"rbWin", "CR+LF -> CR", CrLfToCr},
    {"rbCr", "CR+LF -> LF", CrLfToLf},
    {"rbLf", "CR -> CR+LF", CrToCrLf},
    {"RadioButton1", "CR -> LF", CrToLf},
    {"RadioButton2", "LF -> CR", LfToCr},
    {"RadioButton3", "LF -> CR+LF", LfToCrLf},
}};

} // namespace

CarriageReturnDialog::CarriageReturnDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("T_Carrage"));
    setWindowTitle(QStringLiteral("Carriage Return"));
    auto* layout = new QVBoxLayout(this);
    for (std::size_t i = 0; i < ChoiceRows.size(); ++i) {
        Choices[i] = new QRadioButton(QString::fromLatin1(ChoiceRows[i].caption), this);
        Choices[i]->setObjectName(QString::fromLatin1(ChoiceRows[i].name));
        layout->addWidget(Choices[i]);
    }
    Choices[0]->setChecked(true);
    setMinimumWidth(MinimumWidth);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* apply = buttons->addButton(QStringLiteral("Apply"), QDialogButtonBox::AcceptRole);
    apply->setObjectName(QStringLiteral("SpeedButton1"));
    apply->setDefault(true);
    QPushButton* cancel =
        buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("SpeedButton2"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

int CarriageReturnDialog::Conversion() const {
    for (std::size_t i = 0; i < Choices.size(); ++i) {
        if (Choices[i]->isChecked())
            return ChoiceRows[i].code;
    }
    return NoConversion;
}

int CarriageReturnDialog::ChooseConversion(QWidget* parent) {
    CarriageReturnDialog dialog(parent);
    return dialog.exec() == QDialog::Accepted ? dialog.Conversion() : NoConversion;
}

} // namespace local
