// The remote pane filled from a 100,000-entry vsftpd listing: the whole
// ShowListing (read, parse, items, sort), a header click alone and a refill
// after a filter change.
#include "BenchSupport.h"
#include "remote/RemoteView.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <fstream>
#include <string>

namespace {

using namespace std::chrono_literals;

constexpr int kLines = 100'000;
constexpr std::chrono::year_month_day kStart{2024y, std::chrono::June, 15d};
// New sites use the default host type; "UNIX,BSD,WU-FTP server" keeps its columns.
constexpr const char* kDefaultCode = "0957681";
constexpr const char* kUnixCode = "7957681";

// As vsftpd prints it: a folder in eight, a link in fifty, a year on old entries.
const std::string& UnixListing() {
    static const std::string text = bench::VsftpdListing(kLines);
    return text;
}

// A pane with the listing shown once, for the benches that start from a full pane.
struct FilledPane {
    explicit FilledPane(const char* answer) {
        // The work of showing, all of it here: no worker thread, no event loop.
        view.SetBackgroundBytes(SIZE_MAX);
        view.SetSite({answer, false});
        WriteListing();
        view.ShowListing(file);
    }
    // ShowListing deletes the file it reads.
    void WriteListing() const { std::ofstream(file, std::ios::binary) << UnixListing(); }
    // False, and the bench skipped, when the listing could not be read.
    bool Check(benchmark::State& state) const {
        if (!session.lastLog.empty())
            state.SkipWithError(session.lastLog.c_str());
        return session.lastLog.empty();
    }

    QTemporaryDir folder;
    std::string file = folder.filePath(QStringLiteral("FTPDIR.TXT")).toStdString();
    bench::BenchSession session{"/pub/mirror"};
    remote::RemoteView view{session, kStart, [] { return 2024; }};
};

void SetCounters(benchmark::State& state, const remote::RemoteView& view) {
    state.counters["entries"] = static_cast<double>(view.EntryCount());
    state.counters["items"] = static_cast<double>(view.Items().size());
}

void BM_ShowListing(benchmark::State& state, const char* answer) {
    FilledPane pane(answer);
    for (auto _ : state) {
        state.PauseTiming();
        pane.WriteListing();
        state.ResumeTiming();
        pane.view.ShowListing(pane.file);
    }
    if (pane.Check(state))
        SetCounters(state, pane.view);
}

// Each click flips the direction, so every iteration reorders all items.
void BM_ColumnClick(benchmark::State& state, remote::PaneColumn column) {
    FilledPane pane(kDefaultCode);
    if (!pane.Check(state))
        return;
    for (auto _ : state)
        pane.view.SortByColumn(static_cast<int>(column));
    SetCounters(state, pane.view);
}

void BM_FillRemoteView(benchmark::State& state, const char* mask) {
    FilledPane pane(kDefaultCode);
    if (!pane.Check(state))
        return;
    pane.view.SetFilter(mask);
    for (auto _ : state)
        pane.view.FillRemoteView();
    SetCounters(state, pane.view);
}

BENCHMARK_CAPTURE(BM_ShowListing, default_code, kDefaultCode)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ShowListing, unix_code, kUnixCode)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ColumnClick, size, remote::PaneColumn::Size)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ColumnClick, filename, remote::PaneColumn::Filename)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FillRemoteView, mask_txt, "*.txt")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FillRemoteView, mask_all, "*.*")->Unit(benchmark::kMillisecond);

} // namespace
