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
        bool apply;         // "SpeedButton1" Apply, else "SpeedButton2" Cancel
        int code;
    };
    const Row rows[] = {
        {"crlf-to-lf", "rbCr", true, local::CrLfToLf},
        {"lf-to-crlf", "RadioButton3", true, local::LfToCrLf},
        {"cancel-converts-nothing", "RadioButton3", false, local::NoConversion},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WhenModal<CarriageReturnDialog>([&](CarriageReturnDialog& dialog) {
            EXPECT_TRUE(Child<QRadioButton>(dialog, "rbNo")->isChecked()) << "checked at start";
            Child<QRadioButton>(dialog, row.choice)->setChecked(true);
            Click(dialog, row.apply ? "SpeedButton1" : "SpeedButton2");
        });
        EXPECT_EQ(CarriageReturnDialog::ChooseConversion(nullptr), row.code);
    }
}

} // namespace
