#include "remote/ListingParser.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <string>

namespace {

using namespace std::chrono_literals;

constexpr int kLines = 1'000'000;
constexpr std::chrono::year_month_day kStart{2024y, std::chrono::June, 15d};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Names of mixed length, some beyond the small-string buffer.
std::string NameOf(int i) {
    switch (i % 4) {
    case 0:
        return "f" + std::to_string(i) + ".txt";
    case 1:
        return "report-2024-" + std::to_string(i) + ".pdf";
    case 2:
        return "My Photo " + std::to_string(i) + ".jpg";
    default:
        return "src_" + std::to_string(i);
    }
}

// kLines lines, line i written into a buffer by `write(i, buffer, size)`.
template <typename Write>
std::string MakeListing(Write write) {
    std::string listing;
    listing.reserve(std::size_t{kLines} * 80);
    char line[256];
    for (int i = 0; i < kLines; ++i) {
        write(i, line, sizeof line);
        listing += line;
        listing += "\r\n";
    }
    return listing;
}

// As vsftpd prints it: a folder in eight, a link in fifty, a year on old entries.
const std::string& UnixListing() {
    static const std::string text = MakeListing([](int i, char* line, std::size_t size) {
        const bool folder = i % 8 == 0;
        const bool link = i % 50 == 7;
        const char* attributes = folder ? "drwxr-xr-x" : (link ? "lrwxrwxrwx" : "-rw-r--r--");
        const long long bytes = folder ? 4096 : (i * 7919LL) % 5'000'000'000LL;
        const std::string when = i % 3 == 0 ? " 2019" : "12:34";
        const std::string name = NameOf(i) + (link ? " -> " + NameOf(i - 1) : "");
        std::snprintf(line, size, "%s    1 1000     1000     %10lld %s %2d %s %s", attributes,
                      bytes, kMonths[i % 12], 1 + i % 28, when.c_str(), name.c_str());
    });
    return text;
}

// As IIS prints it in its MS-DOS style: a folder in eight.
const std::string& IisListing() {
    static const std::string text = MakeListing([](int i, char* line, std::size_t size) {
        char when[32];
        std::snprintf(when, sizeof when, "%02d-%02d-%02d  %02d:%02d%s", 1 + i % 12, 1 + i % 28,
                      i % 100, 1 + i % 12, i % 60, i % 2 == 0 ? "AM" : "PM");
        if (i % 8 == 0)
            std::snprintf(line, size, "%s       <DIR>          %s", when, NameOf(i).c_str());
        else
            std::snprintf(line, size, "%s %20lld %s", when, (i * 7919LL) % 5'000'000'000LL,
                          NameOf(i).c_str());
    });
    return text;
}

void BM_ParseListing(benchmark::State& state, const std::string& (*listing)(), const char* answer) {
    const std::vector<std::string_view> lines = remote::SplitListingLines(listing());
    const remote::ListingStyle style = remote::ListingStyleFromAnswer(answer);
    std::size_t entries = 0;
    for (auto _ : state) {
        const remote::ParsedListing parsed = remote::ParseListing(lines, style, kStart);
        entries = parsed.entries.size();
        benchmark::DoNotOptimize(parsed.entries.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * lines.size()));
    state.counters["lines/s"] = benchmark::Counter(static_cast<double>(lines.size()),
                                                   benchmark::Counter::kIsIterationInvariantRate);
    state.counters["entries"] = static_cast<double>(entries);
}

BENCHMARK_CAPTURE(BM_ParseListing, unix_default_code0, &UnixListing, "0")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseListing, unix_ls_code7, &UnixListing, "7")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseListing, iis_code6, &IisListing, "6")->Unit(benchmark::kMillisecond);

} // namespace
