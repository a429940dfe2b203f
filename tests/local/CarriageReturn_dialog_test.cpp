#include "local/CarriageReturn_dialog.h"
#include "local/LineEndings.h"
#include "prefs/WidgetTestSupport.h"

#include <QRadioButton>

namespace {

using local::CarriageReturnDialog;

TEST(CarriageReturnDialogTest, ChoicesGiveTheirCodesAndOnlyApplyConverts) {
    struct Row {
        const char* name;
        const char* choice; // the radio button checked before the window closes
        const char* button; // "SpeedButton1" Apply, "SpeedButton2" Cancel
        int code;
    };
    const Row rows[] = {
        {"do-not-change", "rbNo", "SpeedButton1", local::NoConversion},
        {"crlf-to-cr", "rbWin", "SpeedButton1", local::CrLfToCr},
        {"crlf-to-lf", "rbCr", "SpeedButton1", local::CrLfToLf},
        {"cr-to-crlf", "rbLf", "SpeedButton1", local::CrToCrLf},
        {"cr-to-lf", "RadioButton1", "SpeedButton1", local::CrToLf},
        {"lf-to-cr", "RadioButton2", "SpeedButton1", local::LfToCr},
        {"lf-to-crlf", "RadioButton3", "SpeedButton1", local::LfToCrLf},
        {"cancel-converts-nothing", "RadioButton3", "SpeedButton2", local::NoConversion},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WhenModal<CarriageReturnDialog>([&](CarriageReturnDialog& dialog) {
            EXPECT_EQ(dialog.windowTitle(), "Carriage Return");
            EXPECT_TRUE(Child<QRadioButton>(dialog, "rbNo")->isChecked()) << "checked at start";
            Child<QRadioButton>(dialog, row.choice)->setChecked(true);
            Click(dialog, row.button);
        });
        EXPECT_EQ(CarriageReturnDialog::ChooseConversion(nullptr), row.code);
    }
}

} // namespace
