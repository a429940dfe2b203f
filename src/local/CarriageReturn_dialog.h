#pragma once

#include <QDialog>
#include <array>

class QRadioButton;

namespace local {

// "Carriage Return": the line-ending conversion to apply to the selected files.
class CarriageReturnDialog : public QDialog {
    Q_OBJECT

public:
    explicit CarriageReturnDialog(QWidget* parent = nullptr);

    // The conversion code of the checked choice (0 for "Do not change").
    int Conversion() const;
    // Shows the window with "Do not change" checked: the chosen code after
    // "Apply", 0 after "Cancel".
    static int ChooseConversion(QWidget* parent);

    // In the window's order, named as language files know them.
    std::array<QRadioButton*, 7> Choices;
};

} // namespace local
