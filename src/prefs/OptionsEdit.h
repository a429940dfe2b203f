#pragma once

#include "prefs/Options.h"

#include <string>

class Prompts;

// What the preferences window shows and gives back.
struct PreferencesValues {
    ::Options Options;
    LanguageSettings Lang;
};

// The values as the window shows them: the spin ranges applied, a transfer
// type or overwrite default out of range shown as the first choice, any date
// type but 1 shown as the European one.
PreferencesValues ValuesForWindow(const Options& options, const LanguageSettings& lang);

// The rules of "&OK": copies what the window shows into the records. "Keep"
// is set only with at least one command, the firewall is stored disabled with
// a type out of 0..6 as 0, and with no language chosen the default language
// stays.
void AcceptOptions(const PreferencesValues& shown, Options& options, LanguageSettings& lang);

// Which controls of the window are enabled and which are drawn white (the
// others grey), for what the window shows now.
struct PreferencesLook {
    bool AnonymousEnabled = false; // the e-mail edit: enabled and white
    bool ExtWhite = false;         // the extension list
    bool LogFileWhite = false;     // the log file edit
    bool KeepWhite = false;        // the keep-alive list and its two spins
    bool ProxyEnabled = false;     // the proxy panel: enabled and its edits white
    bool SocksEnabled = false;     // the SOCKS panel likewise
    bool LanguageEnabled = false;  // the language list and its label
};
PreferencesLook OptionsLook(const PreferencesValues& shown);

enum class EditResult {
    Cancelled,
    Saved,
    SaveFailed, // the settings changed but the file could not be written
};

// Shows the preferences window; on "&OK" copies it into `settings` and saves
// the options file. On any result but Cancelled the caller applies the
// settings again.
EditResult EditOptions(Prompts& prompts, const std::string& folder, Settings& settings);
