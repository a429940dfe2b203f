#include "prefs/OptionsEdit.h"

#include "prefs/CommaText.h"
#include "prefs/Prompts.h"

namespace {

int FirstChoiceUnlessIn(int value, int last) {
    return value >= 0 && value <= last ? value : 0;
}

} // namespace

PreferencesValues ValuesForWindow(const Options& options, const LanguageSettings& lang) {
    PreferencesValues shown{options, lang};
    Options& o = shown.Options;
    o.TransferMode = FirstChoiceUnlessIn(o.TransferMode, 2);
    o.DateType = o.DateType == 1 ? 1 : 0;
    o.ConnectionType = static_cast<std::uint8_t>(FirstChoiceUnlessIn(o.ConnectionType, 4));
    ClampToRanges(o);
    return shown;
}

void AcceptOptions(const PreferencesValues& shown, Options& options, LanguageSettings& lang) {
    // The window edits everything but the listing file and the firewall block.
    const Options before = options;
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

PreferencesLook OptionsLook(const PreferencesValues& shown) {
    const Options& o = shown.Options;
    PreferencesLook look;
    look.AnonymousEnabled = o.MailAno;
    look.ExtWhite = o.TransferMode == 1;
    look.LogFileWhite = o.Log;
    look.KeepWhite = o.Keep;
    look.ProxyEnabled = o.ConnectionType == 1;
    look.SocksEnabled = o.ConnectionType >= 2 && o.ConnectionType <= 4;
    look.LanguageEnabled = shown.Lang.LangOn;
    return look;
}

EditResult EditOptions(Prompts& prompts, const std::string& folder, Settings& settings) {
    PreferencesValues values = ValuesForWindow(settings.Options, settings.Lang);
    if (!prompts.EditOptions(values))
        return EditResult::Cancelled;
    AcceptOptions(values, settings.Options, settings.Lang);
    return SaveOptions(folder, settings) ? EditResult::Saved : EditResult::SaveFailed;
}
