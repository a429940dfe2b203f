#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <sys/types.h>

// The program-wide settings, kept in "options.ftp" in the program folder.
// Fields in the order of the file's description; the comment names the key
// where it differs from the field.
struct Options {
    // 0 direct, 1 FTP proxy, 2 SOCKS 4, 3 SOCKS 4A, 4 SOCKS 5.
    std::uint8_t ConnectionType = 0;
    // The preferences window's default transfer type: 0 auto, 1 ASCII, 2 binary.
    int TransferMode = 0;
    std::string ProxyServer; // [Proxy] Server
    std::string ProxyPort;   // [Proxy] Port
    std::string ProxyPsw;    // [Proxy] Psw, stored as typed
    bool ProxyPswMask = false;
    std::string SocksServer; // [Socks] Server
    std::string SocksPort;   // [Socks] Port
    std::string SocksPsw;    // [Socks] Psw, stored as typed
    std::string SocksUC;     // [Socks] UC, the user code
    bool SocksPswMask = false;
    bool PassiveTransfer = false;
    bool Sync = false;
    bool Log = false;
    std::string LogFile; // default: program folder + "corvane.log"
    int TimeOut = 15;    // seconds
    int retry = 0;       // reconnection attempts
    std::string Ext;     // comma text: extensions sent as ASCII in auto mode
    bool Keep = false;
    int StartKeep = 100;   // seconds idle before keep-alive starts
    int DurationKeep = 10; // minutes of keep-alive
    std::string CmdKeep;   // comma text: keep-alive commands
    bool MailAno = false;
    std::string Anonymous; // e-mail address for anonymous logins
    // The firewall block: read and written so the file keeps it, used nowhere.
    std::string fwHost;
    std::string fwPort = "21";
    std::string fwID;
    std::string fwPsw;
    std::string fwSimbol = "@"; // one character
    int fwType = 0;
    bool fwEnable = false;
    std::string ListingFile; // not stored: program folder + "FTPDIR<pid>.TXT"
    std::string IniPath;     // initial local folder; default: the program folder
    std::string FontName = "MS Sans Serif";
    int FontSize = 8;
    int FontColor = 0; // a colour as the file stores it: 0x00BBGGRR, or negative
    bool PromptDownLoad = true;
    bool PromptUpLoad = true;
    int DefPrompt = 0;         // overwrite prompt default: 0 skip, 1 overwrite, 2 resume
    bool KeepFileTimes = true; // a moved file keeps its modification time where the server allows
    int DateType = 0;          // 1 "mm.dd.yyyy", anything else "dd.mm.yyyy"
    int LogSize = 10000;       // bytes the log pane holds
    // Bytes the log file may reach before it rolls over to one ".1" file. Files
    // of older versions lack the key and get the default.
    int LogFileSize = 10 * 1024 * 1024;
};

// The language choice, section "Language".
struct LanguageSettings {
    bool LangOn = false;   // translate windows when they are created
    bool LangInit = false; // write each window's texts into the default language file first
    std::string LangFile = "language"; // stem of the language file; "language" is English
};

// The font of one pane's list, sections "Font Left" and "Font Right". Loading
// keeps a field whose key is absent, so the caller fills it from the list first.
struct StoredFont {
    std::string Name = "MS Sans Serif";
    int CharSet = 1;       // the default character set
    int Color = -16777208; // the window text colour of the system
    bool Bold = false;
    bool Italic = false;
    bool UnderLine = false;
    bool StrikeOut = false;
};

// Everything "options.ftp" holds.
// How the main window was left, section "Window" (older versions ignore it).
// Texts the window writes and reads back itself; empty: the defaults.
struct WindowLayout {
    std::string Geometry;      // position and size, as the toolkit stores them
    std::string Panes;         // the widths of the two panes: "450,450"
    std::string Log;           // the heights of the panes and the log
    std::string LocalColumns;  // the column widths of the local list
    std::string RemoteColumns; // the column widths of the remote list
    std::string LocalFolder;   // the folder the local pane showed last
};

struct Settings {
    ::Options Options;
    LanguageSettings Lang;
    StoredFont FontRight;
    StoredFont FontLeft;
    WindowLayout Layout;
};

inline constexpr const char* OptionsFileName = "options.ftp";
inline constexpr const char* DefaultLanguage = "language";

// The ranges the preferences window allows; loading brings a stored value
// into them, so no hand-edited file gives the engine a time-out of 0 or a log
// of -5 bytes.
struct ValueRange {
    int Min;
    int Max;
    int Clamp(int value) const { return value < Min ? Min : value > Max ? Max : value; }
};
inline constexpr ValueRange TimeOutRange{10, 32767};
inline constexpr ValueRange RetryRange{0, 32767};
inline constexpr ValueRange LogSizeRange{100, 32767};
// Below 64 KiB a rolled-over log would keep too few lines to be of use.
inline constexpr ValueRange LogFileSizeRange{64 * 1024, std::numeric_limits<int>::max()};
inline constexpr ValueRange StartKeepRange{1, 1000};
inline constexpr ValueRange DurationKeepRange{1, 100};
inline constexpr int MaxFirewallType = 6;

// Brings the spin values into their ranges and an unknown overwrite default
// to "skip": loading and the preferences window keep the same rules.
void ClampToRanges(Options& options);

// The built-in defaults of a running copy whose program folder is `folder`
// (ending in "/") and whose process id is `processId`.
Options DefaultOptions(const std::string& folder, pid_t processId);
// folder + "FTPDIR" + process id + ".TXT": one listing file per running copy.
std::string ListingFilePath(const std::string& folder, pid_t processId);
// The log file to open: a relative name is taken in the program folder.
std::string LogFilePath(const Options& options, const std::string& folder);

// Resets Options and Lang to the defaults, then reads every key of
// folder + "options.ftp"; the pane fonts keep what a key does not give.
void LoadOptions(const std::string& folder, Settings& settings);
// As above, for another process id (tests).
void LoadOptions(const std::string& folder, Settings& settings, pid_t processId);
// Writes every key in the file's order, leaving every other line alone; a
// new file is readable by its owner only. False when it could not be written.
bool SaveOptions(const std::string& folder, const Settings& settings);
