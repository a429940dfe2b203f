#pragma once

#include "prefs/OptionsEdit.h"

#include <optional>
#include <string>

struct SiteForm;

// One question for a line of text.
struct InputRequest {
    std::string Caption; // the window title
    std::string Prompt;
    std::string Text;  // what the line holds at first
    bool Mask = false; // a password: "Mask password" shown and checked
};

// The icon of a message box.
enum class MessageIcon { Information, Warning, Stop };
// The title of the boxes that tell the user about a failure.
inline constexpr const char* AttentionCaption = "Attention";

// The answers of the overwrite question, in the order of its buttons.
enum class OverwriteAnswer { Resume, Overwrite, All, Skip, SaveAs, Cancel };

// A server's certificate that the trust store did not vouch for, or that
// differs from the one the user chose to trust always for the site.
struct CertificateQuestion {
    std::string Host; // as the site names it
    std::string Subject;
    std::string Issuer;
    std::string NotBefore; // "2026-12-08 02:30:00 UTC"
    std::string NotAfter;
    std::string Fingerprint;       // SHA-256, "AB:CD:..."
    std::string VerificationError; // why the trust store refused it; may be empty
    bool Changed = false;          // a different certificate was trusted before: a warning
};
enum class CertificateAnswer { TrustAlways, TrustOnce, Refuse };

// The questions the logic asks the user. The program answers them with its
// dialogs; tests answer them from a script. Every answer is a plain value.
class Prompts {
public:
    virtual ~Prompts() = default;

    // Asks for one line of text. On confirmation `text` takes the answer cut
    // to 255 and then to `maxLength` characters and the result is true;
    // otherwise `text` stays as it was.
    bool AskInput(const std::string& caption, const std::string& prompt, std::string& text,
                  bool mask, int maxLength);

    // The preferences window, filled with `values`. True when it was closed
    // with "&OK"; `values` then holds what it shows.
    virtual bool EditOptions(PreferencesValues& values) = 0;

    // A message box with one button to close it.
    virtual void ShowMessage(const std::string& caption, const std::string& text,
                             MessageIcon icon) = 0;

    // A question box with the buttons Yes and No; true for Yes.
    virtual bool AskYesNo(const std::string& caption, const std::string& text) = 0;

    // The site properties window, filled with `form`. True when it was closed
    // with "Save", which it allows only for a form without a SaveProblem;
    // `form` then holds what it shows. Its host types come back in `form`
    // either way, as they are kept when the window is cancelled.
    virtual bool EditSite(SiteForm& form) = 0;

    // "Rewrite Files Prompt": the transfer's destination `path` exists. For
    // SaveAs, `path` becomes the path the user typed.
    virtual OverwriteAnswer AskOverwrite(std::string& path) = 0;

    // The certificate window: trust it always (its fingerprint is stored with
    // the site), for this connection only, or not at all.
    virtual CertificateAnswer AskCertificate(const CertificateQuestion& question) = 0;

protected:
    // The line as typed, or nothing when cancelled.
    virtual std::optional<std::string> InputLine(const InputRequest& request) = 0;
};

// The longest answer AskInput gives, in characters.
inline constexpr int MaxInputLength = 255;
