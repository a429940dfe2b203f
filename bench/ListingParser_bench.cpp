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
