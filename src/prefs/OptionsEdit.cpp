#include "prefs/OptionsEdit.h"

#include "prefs/CommaText.h"
#include "prefs/Prompts.h"

namespace {

int FirstChoiceUnlessIn(int value, int last) {
    return value >= 0 && value <= last ? value : 0;
}

} // namespace

TOptionsValues ValuesForWindow(const TFTPOptions& options, const tLang& lang) {
    TOptionsValues shown{options, lang};
    TFTPOptions& o = shown.Options;
    o.TransferMode = FirstChoiceUnlessIn(o.TransferMode, 2);
    o.DateType = o.DateType == 1 ? 1 : 0;
    o.ConnectionType = static_cast<std::uint8_t>(FirstChoiceUnlessIn(o.ConnectionType, 4));
    ClampToRanges(o);
    return shown;
}

void AcceptOptions(const TOptionsValues& shown, TFTPOptions& options, tLang& lang) {
    // The window edits everything but the listing file and the firewall block.
    const TFTPOptions before = options;
    options = ValuesForWindow(shown.Options, shown.Lang).Options;
    options.ListingFile = before.ListingFile;
    options.fwHost = before.fwHost;
    options.fwPort = before.fwPort;
    options.fwID = before.fwID;
    options.fwPsw = before.fwPsw;
    options.fwSimbol = before.fwSimbol;
    options.fwType = FirstChoiceUnlessIn(before.fwType, MaxFirewallType);
    options.fwEnable = false;
    options.Keep = shown.Options.Keep && !SplitCommaText(shown.Options.CmdKeep).empty();

    lang = shown.Lang;
    if (lang.LangFile.empty())
        lang.LangFile = DefaultLanguage;
}

TOptionsLook OptionsLook(const TOptionsValues& shown) {
    const TFTPOptions& o = shown.Options;
    TOptionsLook look;
    look.AnonymousEnabled = o.MailAno;
    look.ExtWhite = o.TransferMode == 1;
    look.LogFileWhite = o.Log;
    look.KeepWhite = o.Keep;
    look.ProxyEnabled = o.ConnectionType == 1;
    look.SocksEnabled = o.ConnectionType >= 2 && o.ConnectionType <= 4;
    look.LanguageEnabled = shown.Lang.LangOn;
    return look;
}

TEditResult EditOptions(Prompts& prompts, const std::string& folder, TSettings& settings) {
    TOptionsValues values = ValuesForWindow(settings.Options, settings.Lang);
    if (!prompts.EditOptions(values))
        return TEditResult::Cancelled;
    AcceptOptions(values, settings.Options, settings.Lang);
    return SaveOptions(folder, settings) ? TEditResult::Saved : TEditResult::SaveFailed;
}
