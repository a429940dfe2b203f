// The local pane's costs: listing 100,000 files into the pane, comparing
// 100,000 local with 100,000 remote entries, converting the line endings of a
// 1 GiB file (speed and the process's peak memory while it runs).
#include "compare/DirectoryCompare.h"
#include "local/LineEndings.h"
#include "local/LocalPane.h"

#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

constexpr int Entries = 100000;

// A field of /proc/self/status in KiB: "VmHWM:" is the peak since the last
// ResetPeak, "VmRSS:" the memory in use now.
long StatusKiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(field))
            return std::stol(line.substr(field.size()));
    }
    return -1;
}

void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// A folder of 100,000 empty files, made once.
const std::string& FullFolder() {
    static QTemporaryDir dir;
    static const std::string root = []() -> std::string {
        if (!dir.isValid())
            return {};
        const std::string path = dir.path().toStdString();
        for (int i = 0; i < Entries; ++i) {
            const std::string file = path + "/file" + std::to_string(i * 7919 % Entries) + ".txt";
            close(open(file.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
        }
        return path;
    }();
    return root;
}

// The file system's share: reading the folder and each entry's attributes.
void BM_ListFolderOnly(benchmark::State& state) {
    const std::string& root = FullFolder();
    std::vector<local::LocalEntry> entries;
    for (auto _ : state) {
        if (!local::ListFolder(root, entries).empty())
            state.SkipWithError("the folder cannot be listed");
        benchmark::DoNotOptimize(entries.data());
    }
    state.counters["entries"] = static_cast<double>(entries.size());
}
BENCHMARK(BM_ListFolderOnly)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ListFolderIntoPane(benchmark::State& state) {
    const std::string& root = FullFolder();
    if (root.empty()) {
        state.SkipWithError("no temporary folder");
        return;
    }
    local::LocalPane pane([](const std::string&) {});
    for (auto _ : state) {
        pane.SetFolder("/");
        pane.SetFolder(root);
        benchmark::DoNotOptimize(pane.Items().data());
    }
    state.counters["entries"] = static_cast<double>(pane.Items().size());
}
BENCHMARK(BM_ListFolderIntoPane)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_CompareDirectories(benchmark::State& state) {
    std::vector<std::string> names;
    std::vector<std::string> sizes;
    for (int i = 0; i < Entries + Entries / 10; ++i) {
        names.push_back("file" + std::to_string(i) + ".dat");
        sizes.push_back(std::to_string(i * 37));
    }
    // Nine in ten on both sides; one in ten only remote, one in ten only local.
    std::vector<compare::CompareEntry> local;
    std::vector<compare::CompareEntry> remote;
    for (int i = 0; i < Entries; ++i) {
        local.push_back({names[static_cast<std::size_t>(i)], sizes[static_cast<std::size_t>(i)]});
        const auto r = static_cast<std::size_t>(i + Entries / 10);
        remote.push_back({names[r], sizes[r]});
    }
    std::size_t selected = 0;
    for (auto _ : state) {
        const compare::CompareResult result = compare::CompareDirectories(local, remote);
        selected = static_cast<std::size_t>(
            std::count(result.localSelected.begin(), result.localSelected.end(), true));
        benchmark::DoNotOptimize(result.remoteSelected.size());
    }
    state.counters["local_selected"] = static_cast<double>(selected);
}
BENCHMARK(BM_CompareDirectories)->Unit(benchmark::kMillisecond);

void BM_ConvertOneGiB(benchmark::State& state) {
    constexpr std::size_t GiB = std::size_t{1} << 30;
    // On disk: /tmp may be memory.
    QTemporaryDir dir(QStringLiteral("/var/tmp/corvane-bench-XXXXXX"));
    if (!dir.isValid()) {
        state.SkipWithError("no temporary folder in /var/tmp");
        return;
    }
    const std::string path = dir.path().toStdString() + "/big.txt";
    {
        std::string block;
        while (block.size() < (1 << 20))
            block += "a line of text that ends the unix way, sixty-four bytes long...\n";
        block.resize(1 << 20);
        std::ofstream out(path, std::ios::binary);
        for (std::size_t written = 0; written < GiB; written += block.size())
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    const local::ConversionLog log{[](std::string_view) { return std::size_t{0}; },
                                   [](std::size_t, std::string_view) {}};
    long peak = 0;
    long added = 0;
    double seconds = 0;
    int code = local::LfToCrLf;
    for (auto _ : state) {
        ResetPeak();
        const long before = StatusKiB("VmRSS:");
        const auto start = std::chrono::steady_clock::now();
        const auto result = local::ConvertFile(path, code / 16, code % 16, log);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (result != local::ConversionResult::Ok)
            state.SkipWithError("the conversion failed");
        peak = std::max(peak, StatusKiB("VmHWM:"));
        added = std::max(added, StatusKiB("VmHWM:") - before);
        code = code == local::LfToCrLf ? local::CrLfToLf : local::LfToCrLf;
    }
    state.counters["MB_per_s"] =
        static_cast<double>(GiB) * static_cast<double>(state.iterations()) / seconds / 1e6;
    state.counters["peak_MB"] = static_cast<double>(peak) / 1024.0;
    state.counters["added_MB"] = static_cast<double>(added) / 1024.0;
}
BENCHMARK(BM_ConvertOneGiB)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace
