#include "BenchSupport.h"
#include "remote/ListingParser.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <string>

namespace {

using namespace std::chrono_literals;

constexpr int kLines = 1'000'000;
constexpr std::chrono::year_month_day kStart{2024y, std::chrono::June, 15d};

// As vsftpd prints it: a folder in eight, a link in fifty, a year on old entries.
const std::string& UnixListing() {
    static const std::string text = bench::VsftpdListing(kLines);
    return text;
}

// As IIS prints it in its MS-DOS style: a folder in eight.
const std::string& IisListing() {
    static const std::string text = bench::MakeListing(kLines, [](int i, char* line,
                                                                  std::size_t size) {
        char when[32];
        std::snprintf(when, sizeof when, "%02d-%02d-%02d  %02d:%02d%s", 1 + i % 12, 1 + i % 28,
                      i % 100, 1 + i % 12, i % 60, i % 2 == 0 ? "AM" : "PM");
        if (i % 8 == 0)
            std::snprintf(line, size, "%s       <DIR>          %s", when, bench::NameOf(i).c_str());
        else
            std::snprintf(line, size, "%s %20lld %s", when, (i * 7919LL) % 5'000'000'000LL,
                          bench::NameOf(i).c_str());
    });
    return text;
}

// 131,072 links, each after the file it names. With `sharedPrefix` every
// name starts with the same 200 bytes, which a hostile server may choose to
// make look-ups of link targets compare long names: the parse must stay
// within a small factor of the ordinary case.
std::string LinkListing(bool sharedPrefix) {
    constexpr int kLinks = 131'072;
    const std::string prefix = sharedPrefix ? std::string(200, 'a') : std::string();
    std::string text;
    for (int i = 0; i < kLinks; ++i) {
        const std::string target = prefix + "t" + std::to_string(i);
        text += "-rw-r--r--    1 1000     1000            5 Jun 01 12:34 " + target + "\r\n";
        text += "lrwxrwxrwx    1 1000     1000            9 Jun 01 12:34 l" + std::to_string(i) +
                " -> " + target + "\r\n";
    }
    return text;
}

const std::string& OrdinaryLinks() {
    static const std::string text = LinkListing(false);
    return text;
}

const std::string& SharedPrefixLinks() {
    static const std::string text = LinkListing(true);
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
BENCHMARK_CAPTURE(BM_ParseListing, links_ordinary_code7, &OrdinaryLinks, "7")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseListing, links_shared_prefix_code7, &SharedPrefixLinks, "7")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseListing, iis_code6, &IisListing, "6")->Unit(benchmark::kMillisecond);

} // namespace
