#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Turns the lines of a server's directory listing into entries, by one of ten
// layouts the user picks per site (servers agree on no format).
namespace remote {

// The numbers are those of the entry's text form: 0 is the directory.
enum class EntryKind : unsigned char { Directory = 0, File = 1 };

struct RemoteEntry {
    EntryKind kind = EntryKind::File;
    std::string name;       // as the layout cuts it; never trimmed again by readers
    std::string size;       // as the server printed it; empty for links taken to be directories
    std::string date;       // DD.MM.YY or the server's own words
    std::string time;       // as printed; empty when the listing gave a year
    std::string attributes; // permission string or protection text
    std::string linkTarget; // text after " -> " of a symbolic link

    // A link keeps its own size; its kind is that of the target's entry when
    // the listing holds one, else Directory, so that opening it tries CWD.
    bool IsLink() const { return attributes.starts_with('l'); }

    bool operator==(const RemoteEntry&) const = default;
};

// The site editor's "Response Type", the first digit of a site's Answer code.
enum class ListingLayout : unsigned char {
    Default, // generic scan of a UNIX-like line
    Text,    // the whole line is the name
    MsFtp4,  // four space-separated fields
    Mac,
    Custom, // space-separated fields picked by column numbers
    Vms,
    MsFtp5, // fixed columns
    Unix,   // ls -l, three fields skipped
    Win2000,
    WuFtp2, // ls -l, five fields skipped
};

// Field numbers (1 to 9) of the custom layout; 0 where the layout has no such column.
struct CustomColumns {
    int name = 0;
    int size = 0;
    int month = 0;
    int day = 0;
    int time = 0;
    int attributes = 0;

    bool operator==(const CustomColumns&) const = default;
};

struct ListingStyle {
    ListingLayout layout = ListingLayout::Default;
    CustomColumns columns; // read for ListingLayout::Custom only
    // MLSD lines, the same on every server: the layout is not used.
    bool machine = false;

    // Each line is a name (the "Text" layout).
    bool WholeLineNames() const { return !machine && layout == ListingLayout::Text; }
    // The size column counts bytes: VMS counts blocks, and a custom layout may
    // point at any column.
    bool SizesInBytes() const {
        return machine || layout == ListingLayout::Default || layout == ListingLayout::Unix ||
               layout == ListingLayout::WuFtp2 || layout == ListingLayout::MsFtp4 ||
               layout == ListingLayout::MsFtp5 || layout == ListingLayout::Win2000;
    }
};

// The characters of the column numbers 0 to 15 in an Answer code.
inline constexpr std::string_view AnswerColumnDigits = "0123456789abcdef";

// Layout from the first character of an Answer code (Default unless it is 1
// to 9); for the custom layout the next six characters are the columns of
// name, size, month, day, time and attributes, each looked up in
// AnswerColumnDigits.
ListingStyle ListingStyleFromAnswer(std::string_view answer);

struct ParsedListing {
    std::vector<RemoteEntry> entries; // in listing order, "." and ".." left out
    std::string path;                 // from a VMS header line; empty otherwise
    // Lines the layout could not read, left out rather than shown under a
    // wrong name; the pane or the log reports them.
    std::size_t linesNotUnderstood = 0;
};

// The UNIX-like, VMS and fixed-column layouts skip and count a line they
// cannot read; the others take whatever fields they can cut. `startDate` is
// the day the program started; a listing that shows a time instead of a year
// is dated relative to it.
ParsedListing ParseListing(std::span<const std::string_view> lines, const ListingStyle& style,
                           std::chrono::year_month_day startDate);

// Reads a listing as its bytes arrive, cut anywhere, and hands each entry to
// a sink in listing order, so no copy of the whole text is ever needed. The
// kind of a link is settled only once the whole listing is known: the owner
// of the entries runs ResolveLinks after Finish.
class ListingReader {
public:
    // The entry may be moved from; the reader clears it before the next line.
    using EntrySink = std::function<void(RemoteEntry& entry)>;

    ListingReader(const ListingStyle& style, std::chrono::year_month_day startDate, EntrySink sink);
    ~ListingReader();
    ListingReader(const ListingReader&) = delete;
    ListingReader& operator=(const ListingReader&) = delete;

    // Bytes of the listing; CR LF, LF and a lone CR end a line, wherever the
    // chunks are cut.
    void Feed(std::string_view bytes);
    // One whole line, without its end.
    void FeedLine(std::string_view line);
    // The listing is complete: a last line without an end still counts.
    void Finish();

    std::uint64_t BytesFed() const;
    const std::string& Path() const;
    std::size_t LinesNotUnderstood() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// A whole listing through a reader that `feed` fills (lines or chunks), its
// links resolved as ParseListing resolves them.
ParsedListing ReadListing(const ListingStyle& style, std::chrono::year_month_day startDate,
                          const std::function<void(ListingReader&)>& feed,
                          std::size_t expectedEntries = 0);

// What ResolveLinks reads of entry i.
struct LinkFacts {
    std::string_view name;
    std::string_view linkTarget; // empty unless a link named one
    bool link = false;           // RemoteEntry::IsLink
    bool file = false;
};

// A link takes the kind of the first plain entry named like its target (ASCII
// letters folded), wherever it stands: `makeFile(i)` for each of the `links`
// (entries that name a target) whose target is a file; to an entry the
// listing lacks it stays a directory.
void ResolveLinks(std::size_t count, const std::vector<std::size_t>& links,
                  const std::function<LinkFacts(std::size_t)>& factsOf,
                  const std::function<void(std::size_t)>& makeFile);

// Lines of a listing file as views into `text`; CR LF, LF and a lone CR each
// end a line, and a last line without an end still counts.
std::vector<std::string_view> SplitListingLines(std::string_view text);

} // namespace remote
