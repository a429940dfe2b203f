#include "FixedPrompts.h"
#include "prefs/Options.h"
#include "sites/SiteFolder.h"
#include "sites/SiteListController.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <fstream>

namespace {

constexpr int kSites = 1000;
constexpr int kFolders = 100;

// A program folder whose root list holds kFolders folders and kSites sites
// with every field filled, in no particular order.
class SiteListFixture {
public:
    SiteListFixture() {
        std::ofstream out(Folder() + SiteListFileName, std::ios::binary);
        for (int i = 0; i < kSites + kFolders; ++i) {
            const int n = (i * 7919) % (kSites + kFolders);
            if (n < kFolders) {
                out << "DIR=Folder " << n << "\r\n";
                continue;
            }
            Site site;
            site.Name = "Site number " + std::to_string(n);
            site.Server = "ftp" + std::to_string(n) + ".example.org";
            site.Password = "password-" + std::to_string(n);
            site.User = "user" + std::to_string(n);
            site.Description = "mirror of the project's releases";
            site.InitialDir = "/pub/releases/";
            site.LocalDir = "/home/user/downloads";
            site.EMail = "user@example.org";
            site.Desc = "first line`second line";
            site.Answer = "7957681";
            site.AnswerName = "UNIX,BSD,WU-FTP server";
            out << FormatSiteLine(site) << "\r\n";
        }
    }
    std::string Folder() const { return dir_.path().toStdString() + '/'; }

private:
    QTemporaryDir dir_;
};

void BM_LoadSiteFolder(benchmark::State& state) {
    SiteListFixture fixture;
    FixedPrompts prompts{false, OverwriteAnswer::Cancel};
    Options options;
    SiteListController controller(fixture.Folder(), prompts, options);
    for (auto _ : state) {
        controller.LoadSiteFolder("");
        benchmark::DoNotOptimize(controller.Model().Count());
    }
    state.counters["entries"] = controller.Model().Count();
}
BENCHMARK(BM_LoadSiteFolder)->Unit(benchmark::kMillisecond);

void BM_SaveSiteFolder(benchmark::State& state) {
    SiteListFixture fixture;
    FixedPrompts prompts{false, OverwriteAnswer::Cancel};
    Options options;
    SiteListController controller(fixture.Folder(), prompts, options);
    controller.LoadSiteFolder("");
    for (auto _ : state)
        benchmark::DoNotOptimize(controller.SaveSiteFolder());
}
BENCHMARK(BM_SaveSiteFolder)->Unit(benchmark::kMillisecond);

} // namespace
