// The remote pane filled from a 100,000-entry vsftpd listing: the whole
// ShowListing (read, parse, items, sort), a header click alone and a refill
// after a filter change.
#include "remote/RemoteView.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

using namespace std::chrono_literals;

constexpr int kLines = 100'000;
constexpr std::chrono::year_month_day kStart{2024y, std::chrono::June, 15d};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
// New sites use the default host type; "UNIX,BSD,WU-FTP server" keeps its columns.
constexpr const char* kDefaultCode = "0957681";
constexpr const char* kUnixCode = "7957681";

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

// As vsftpd prints it: a folder in eight, a link in fifty, a year on old entries.
const std::string& UnixListing() {
    static const std::string text = [] {
        std::string listing;
        listing.reserve(std::size_t{kLines} * 80);
        char line[256];
        for (int i = 0; i < kLines; ++i) {
            const bool folder = i % 8 == 0;
            const bool link = i % 50 == 7;
            const char* attributes = folder ? "drwxr-xr-x" : (link ? "lrwxrwxrwx" : "-rw-r--r--");
            const long long bytes = folder ? 4096 : (i * 7919LL) % 5'000'000'000LL;
            const std::string when = i % 3 == 0 ? " 2019" : "12:34";
            const std::string name = NameOf(i) + (link ? " -> " + NameOf(i - 1) : "");
            std::snprintf(line, sizeof line, "%s    1 1000     1000     %10lld %s %2d %s %s",
                          attributes, bytes, kMonths[i % 12], 1 + i % 28, when.c_str(),
                          name.c_str());
            listing += line;
            listing += "\r\n";
        }
        return listing;
    }();
    return text;
}

// Keeps the last log line: a listing that could not be read must not pass for a fast fill.
class BenchSession : public remote::TRemoteSession {
public:
    std::string lastLog;

    TFtpState State() const override { return TFtpState::ftpReady; }
    std::string HostName() const override { return "127.0.0.1"; }
    std::string HostDirName() const override { return dir_; }
    void SetHostDirName(const std::string& path) override { dir_ = path; }
    void CwdAsync() override {}
    void CDupAsync() override {}
    void PwdAsync() override {}
    void Disconnect() override {}
    bool TransferBusy() const override { return busy_; }
    void SetTransferBusy(bool busy) override { busy_ = busy; }
    void RefreshCommands() override {}
    void AddLog(std::string_view text) override { lastLog = text; }

private:
    std::string dir_ = "/pub/mirror";
    bool busy_ = false;
};

// A pane with the listing shown once, for the benches that start from a full pane.
struct FilledPane {
    explicit FilledPane(const char* answer) {
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
    BenchSession session;
    remote::TRemoteView view{session, kStart, [] { return 2024; }};
};

void SetCounters(benchmark::State& state, const remote::TRemoteView& view) {
    state.counters["entries"] = static_cast<double>(view.Entries().size());
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
        pane.view.FTPViewColumnClick(static_cast<int>(column));
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
