// The transfer queue against Debian's vsftpd on 127.0.0.1, through the session
// controller and the engine as the program runs them:
//   1. 1,000 files of 4 KiB in one folder, down and up, beside lftp's mirror
//      and mirror -R (--parallel=1) on the same server: files per second;
//   2. one 1 GiB file down and up through the queue (a progress sink that only
//      counts) beside the engine's bare GetAsync / PutAsync;
//   3. a tree of 10,000 files in 100 folders down and up: peak resident memory
//      during the queue against the figure at rest.
// Prints figures; it never judges them.
//
//   transfer_queue_bench [--big-mib N] [--rounds N] [--small N] [--small-rounds N]
//                        [--tree-folders N] [--pauses 1]
// With --pauses 1 a 1 ms timer records the event loop's longest pause during
// each big-file transfer (it costs both sides the same few wake-ups).
#include "BenchSupport.h"
#include "FixedPrompts.h"
#include "prefs/Options.h"
#include "session/SessionController.h"
#include "session/SessionLog.h"
#include "transfer/TransferQueue.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <netinet/in.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// "VmRSS" or "VmHWM" of this process in KiB.
long StatusKiB(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(key))
            return std::atol(line.c_str() + std::strlen(key) + 1);
    }
    return -1;
}

std::uint16_t FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    std::uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

// vsftpd on loopback serving `root` to its anonymous account, with folders
// made by uploads allowed (the queue makes missing remote folders).
class Vsftpd {
public:
    bool Start(const std::string& runDir, const std::string& root) {
        if (!fs::exists("/usr/sbin/vsftpd")) {
            std::printf("vsftpd is not installed (Debian package vsftpd)\n");
            return false;
        }
        port_ = FreeLoopbackPort();
        fs::create_directories(runDir + "/empty");
        std::ofstream(runDir + "/vsftpd.conf")
            << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=" << port_
            << "\nbackground=NO\nrun_as_launching_user=YES\nanonymous_enable=YES\n"
               "local_enable=NO\nanon_root="
            << root
            << "\nftp_username=nobody\nnopriv_user=nobody\nwrite_enable=YES\n"
               "anon_upload_enable=YES\nanon_mkdir_write_enable=YES\n"
               "anon_other_write_enable=YES\nanon_umask=022\npasv_enable=YES\n"
               "pasv_address=127.0.0.1\nconnect_from_port_20=NO\nsecure_chroot_dir="
            << runDir
            << "/empty\nseccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
               "tcp_wrappers=NO\nxferlog_enable=NO\ndirmessage_enable=NO\n";
        process_.start("/usr/sbin/vsftpd", {QString::fromStdString(runDir + "/vsftpd.conf")});
        for (int i = 0; i < 100; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in addr{};
            addr.sin_family = AF_INET;
            addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            addr.sin_port = htons(port_);
            const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
            ::close(fd);
            if (up)
                return true;
            ::usleep(50000);
        }
        std::printf("vsftpd did not listen\n");
        return false;
    }
    ~Vsftpd() {
        process_.terminate();
        process_.waitForFinished(3000);
    }
    std::uint16_t Port() const { return port_; }

private:
    QProcess process_;
    std::uint16_t port_ = 0;
};

struct CountingSink : transfer::ProgressSink {
    std::int64_t updates = 0;
    Clock::time_point closed{}; // the window goes when the last file is in
    void Open() override {}
    void StartFile(const std::string&, std::int64_t, transfer::Direction) override {}
    void Update(std::int64_t) override { ++updates; }
    void EndFile() override {}
    void Close() override { closed = Clock::now(); }
};

// Sleeps in the event loop between events, as the program does: a loop that
// polls would take the processor from the server on a small machine.
bool RunUntil(const std::function<bool()>& done, double limitSeconds) {
    const Clock::time_point start = Clock::now();
    QTimer wake; // the limit is checked even when nothing happens
    wake.start(50);
    while (!done()) {
        if (SecondsSince(start) > limitSeconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void WriteFile(const fs::path& path, std::size_t size, char fill) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << std::string(size, fill);
}

int CountFiles(const fs::path& root) {
    int n = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        n += entry.is_regular_file() ? 1 : 0;
    return n;
}

// A session logged in to the server, its queue and the local folder.
struct Client {
    Client(const std::string& folder, std::uint16_t port) {
        options = DefaultOptions(folder, ::getpid());
        options.PromptDownLoad = options.PromptUpLoad = false;
        options.DefPrompt = 1;
        controller.SetTransferQueue(&queue);
        queue.SetProgressSink(&sink);
        queue.SetTransferType(transfer::TransferType::Binary);
        Site site;
        site.Server = "127.0.0.1";
        site.Port = std::to_string(port);
        site.Anonymous = 1;
        site.EMail = "bench@localhost";
        site.Pasv = 1;
        controller.ConnectToSite(site);
        loggedIn = Idle(30);
    }
    bool Idle(double limit) {
        return RunUntil(
            [&] {
                return !queue.Running() &&
                       controller.SessionState() == session::SessionState::Browsing;
            },
            limit);
    }
    // Selects the pane's rows named `names` and downloads them into `local`.
    bool Download(const std::vector<std::string>& names, const std::string& local) {
        std::vector<int> rows;
        const auto& items = controller.RemoteView().Items();
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (std::find(names.begin(), names.end(), items[i].caption) != names.end())
                rows.push_back(static_cast<int>(i));
        }
        controller.RemoteView().SetSelection(rows);
        return controller.DownloadSelected(local);
    }
    std::string LastLine() const { return log.Pane().Line(log.Pane().Count() - 1); }

    Options options;
    session::SessionLog log{std::string(QDir::tempPath().toStdString() + "/")};
    FixedPrompts prompts{false, OverwriteAnswer::All};
    FtpClient ftp;
    session::SessionController controller{ftp, log, prompts, options, session::Today()};
    transfer::TransferQueue queue{ftp,     controller, controller.Chain(),
                                  prompts, options,    session::Today()};
    CountingSink sink;
    bool loggedIn = false;
};

// Seconds lftp takes for `command` on the server, or a negative number.
double Lftp(std::uint16_t port, const std::string& command) {
    QProcess lftp;
    const Clock::time_point start = Clock::now();
    lftp.start("lftp", {"-u", "anonymous,bench", "-p", QString::number(port), "-e",
                        QString::fromStdString("set net:max-retries 1; set ftp:passive-mode on; " +
                                               command + "; bye"),
                        "127.0.0.1"});
    if (!lftp.waitForStarted(5000)) {
        std::printf("  lftp: not installed (Debian package lftp)\n");
        return -1;
    }
    lftp.waitForFinished(600000);
    if (lftp.exitCode() != 0) {
        std::printf("  lftp failed: %s\n", lftp.readAllStandardError().trimmed().constData());
        return -1;
    }
    return SecondsSince(start);
}

// What this process used over a stretch: user and system seconds, blocks
// read from the disk, and how often it slept (voluntary) or was preempted.
struct Usage {
    double user = 0, sys = 0;
    long inBlocks = 0, waits = 0, preempted = 0;
    double Cpu() const { return user + sys; }
    Usage operator-(const Usage& o) const {
        return {user - o.user, sys - o.sys, inBlocks - o.inBlocks, waits - o.waits,
                preempted - o.preempted};
    }
};

Usage Used() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& tv) {
        return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
    };
    return {seconds(usage.ru_utime), seconds(usage.ru_stime), usage.ru_inblock, usage.ru_nvcsw,
            usage.ru_nivcsw};
}

// Times one queue, sampling the resident memory every 10 ms meanwhile.
struct QueueRun {
    double seconds = -1;
    double cpu = -1; // user+sys seconds of this process
    long peakKiB = -1;
    Usage used;
    double pauseMs = -1; // the event loop's longest pause, when measured
    // Until the last file was in; an upload then lists the folder again, which
    // waits while the server is still closing a large file (vsftpd: ~0.6 s a GiB).
    double arrived = -1;
};

double Ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

QueueRun TimeQueue(Client& client, const std::function<bool()>& start, bool sample = false,
                   bench::GapMeter* gaps = nullptr) {
    ::sync(); // the last run's dirty pages must not slow this one's writes
    QueueRun run;
    long peak = StatusKiB("VmRSS");
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout,
                     [&] { peak = std::max(peak, StatusKiB("VmRSS")); });
    if (sample)
        sampler.start(10);
    if (gaps != nullptr)
        gaps->Start();
    const Clock::time_point begin = Clock::now();
    const Usage used0 = Used();
    if (!start()) {
        std::printf("  the queue did not start\n");
        return run;
    }
    if (!client.Idle(900)) {
        std::printf("  the queue did not end within 900 s\n");
        return run;
    }
    run.seconds = SecondsSince(begin);
    if (client.sink.closed > begin)
        run.arrived = std::chrono::duration<double>(client.sink.closed - begin).count();
    run.used = Used() - used0;
    run.cpu = run.used.Cpu();
    if (gaps != nullptr)
        run.pauseMs = Ms(gaps->Stop());
    run.peakKiB = std::max(peak, StatusKiB("VmRSS"));
    return run;
}

double Median(std::vector<double> values) {
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int Flag(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return std::max(1, std::atoi(argv[i + 1]));
    }
    return fallback;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // figures show as they come
    const int small = Flag(argc, argv, "--small", 1000);
    const int bigMiB = Flag(argc, argv, "--big-mib", 1024);
    const int treeFolders = Flag(argc, argv, "--tree-folders", 100);
    const bool pauses = Flag(argc, argv, "--pauses", 0) != 0;
    const int rounds = Flag(argc, argv, "--rounds", 5);
    const int smallRounds = Flag(argc, argv, "--small-rounds", 5);

    QTemporaryDir tmp;
    const fs::path base = tmp.path().toStdString();
    const fs::path root = base / "root", local = base / "local";
    fs::create_directories(root);
    fs::create_directories(local);
    Vsftpd server;
    if (!server.Start((base / "run").string(), root.string()))
        return 2;
    fs::create_directories(base / "client");
    Client client((base / "client").string() + "/", server.Port());
    if (!client.loggedIn) {
        std::printf("no login: %s\n", client.LastLine().c_str());
        return 2;
    }
    const std::string remoteHome = client.ftp.HostDirName;
    std::printf("server: vsftpd %s on 127.0.0.1:%u, passive, binary\n", "(Debian)", server.Port());

    // 1. Many small files, in interleaved rounds: each round runs the queue and
    // lftp both ways, the side that goes first alternating, into fresh folders.
    std::printf("\n%d files of 4 KiB in one folder, %d interleaved rounds, files/s\n", small,
                smallRounds);
    for (int i = 0; i < small; ++i)
        WriteFile(root / "small" / ("f" + std::to_string(i) + ".bin"), 4096, 'a');
    fs::create_directories(base / "upsource");
    for (int i = 0; i < small; ++i)
        WriteFile(base / "upsource" / ("f" + std::to_string(i) + ".bin"), 4096, 'u');
    std::vector<double> queueDown, queueUp, lftpDown, lftpUp;
    const auto rate = [&](int arrived, double seconds) {
        return arrived == small && seconds > 0 ? arrived / seconds : -1.0;
    };
    for (int round = 1; round <= smallRounds; ++round) {
        const std::string tag = std::to_string(round);
        const auto ourDown = [&] {
            client.controller.CwdAsync();
            client.Idle(30);
            const fs::path into = local / ("down" + tag);
            fs::create_directories(into);
            const QueueRun run =
                TimeQueue(client, [&] { return client.Download({"small"}, into.string()); });
            queueDown.push_back(rate(CountFiles(into / "small"), run.seconds));
            fs::remove_all(into);
        };
        const auto ourUp = [&] {
            const fs::path folder = local / ("qup" + tag);
            fs::create_directories(local);
            fs::copy(base / "upsource", folder);
            const QueueRun run = TimeQueue(client, [&] {
                return client.controller.UploadSelected({{"qup" + tag, true, ""}}, local.string());
            });
            queueUp.push_back(rate(CountFiles(root / ("qup" + tag)), run.seconds));
            fs::remove_all(folder);
            fs::remove_all(root / ("qup" + tag));
        };
        const auto theirDown = [&] {
            const fs::path into = base / ("lftpdown" + tag);
            const double s = Lftp(server.Port(), "mirror --parallel=1 small " + into.string());
            lftpDown.push_back(s > 0 ? rate(CountFiles(into), s) : -1);
            fs::remove_all(into);
        };
        const auto theirUp = [&] {
            const double s = Lftp(server.Port(), "mirror -R --parallel=1 " +
                                                     (base / "upsource").string() + " lup" + tag);
            lftpUp.push_back(s > 0 ? rate(CountFiles(root / ("lup" + tag)), s) : -1);
            fs::remove_all(root / ("lup" + tag));
        };
        ::sync();
        if (round % 2 == 1) {
            ourDown(), theirDown(), ourUp(), theirUp();
        } else {
            theirDown(), ourDown(), theirUp(), ourUp();
        }
        std::printf(
            "  round %d: queue down %6.0f, lftp down %6.0f, queue up %6.0f, lftp up %6.0f\n", round,
            queueDown.back(), lftpDown.back(), queueUp.back(), lftpUp.back());
    }
    std::printf("  median:  queue down %6.0f, lftp down %6.0f (%.2fx), queue up %6.0f, lftp up "
                "%6.0f (%.2fx)   (-1: files missing or a failure)\n",
                Median(queueDown), Median(lftpDown), Median(queueDown) / Median(lftpDown),
                Median(queueUp), Median(lftpUp), Median(queueUp) / Median(lftpUp));

    // 2. One big file, in turns, so neither side gets the warmer disk.
    std::printf("\none file of %d MiB, %d rounds\n", bigMiB, rounds);
    const std::int64_t bigBytes = std::int64_t{bigMiB} << 20;
    const auto mibs = [&](double s) { return static_cast<double>(bigBytes) / (1 << 20) / s; };
    WriteFile(root / "big.bin", 1 << 20, 'b');
    fs::resize_file(root / "big.bin", static_cast<std::uintmax_t>(bigBytes));
    {
        // The first read of a sparse file fills the page cache; no side should pay it.
        std::ifstream warm(root / "big.bin", std::ios::binary);
        std::vector<char> block(1 << 20);
        while (warm.read(block.data(), static_cast<std::streamsize>(block.size()))) {
        }
    }
    FtpClient bare; // the bare engine on a connection of its own
    bench::RequestWaiter wait(bare);
    bare.HostName = "127.0.0.1";
    bare.Port = std::to_string(server.Port());
    bare.UserName = "anonymous";
    bare.PassWord = "bench";
    bare.SetPassive(true);
    bare.OnProgress = [](FtpClient*, std::int64_t, bool&) {};
    std::string failed =
        wait.Run("connect", std::chrono::seconds(10), [&] { bare.ConnectAsync(); });
    bare.HostDirName = remoteHome;
    if (failed.empty())
        failed = wait.Run("cwd", std::chrono::seconds(10), [&] { bare.CwdAsync(); });
    bare.Binary = true;
    if (failed.empty())
        failed = wait.Run("type", std::chrono::seconds(10), [&] { bare.TypeSetAsync(); });
    std::vector<double> downRatio, upRatio, upArrivedRatio;
    // The same ratios split by which side went first: on these machines the
    // second transfer of a round often costs more, whichever side it is.
    std::vector<double> downQueueFirst, downBareFirst, upQueueFirst, upBareFirst;
    bench::GapMeter gaps;
    // Processor seconds per GiB of each side: far steadier than wall time on a
    // loaded machine, and where a difference between the paths shows.
    std::vector<double> cpuDown, cpuGet, cpuUp, cpuPut;
    for (int round = 1; round <= rounds && failed.empty(); ++round) {
        client.controller.CwdAsync();
        client.Idle(30);
        // Each side goes first in every other round, so neither always follows
        // the other's writes.
        const bool queueFirst = round % 2 == 0;
        const auto queueDown = [&] {
            client.sink.updates = 0;
            return TimeQueue(
                client, [&] { return client.Download({"big.bin"}, local.string()); }, false,
                pauses ? &gaps : nullptr);
        };
        const auto bareRun = [&](const char* what, void (FtpClient::*request)()) {
            ::sync();
            QueueRun run;
            if (pauses)
                gaps.Start();
            const Clock::time_point start = Clock::now();
            const Usage used0 = Used();
            if (failed.empty())
                failed = wait.Run(what, std::chrono::seconds(600), [&] { (bare.*request)(); });
            run.seconds = SecondsSince(start);
            run.used = Used() - used0;
            run.cpu = run.used.Cpu();
            if (pauses)
                run.pauseMs = Ms(gaps.Stop());
            return run;
        };
        bare.HostFileName = "big.bin";
        bare.LocalFileName = (base / "bare.bin").string();
        QueueRun down, get;
        if (queueFirst) {
            down = queueDown();
            get = bareRun("get", &FtpClient::GetAsync);
        } else {
            get = bareRun("get", &FtpClient::GetAsync);
            down = queueDown();
        }
        fs::remove(root / "big.bin");
        bare.HostFileName = "bare-up.bin";
        const auto queueUp = [&] {
            return TimeQueue(
                client,
                [&] {
                    return client.controller.UploadSelected(
                        {{"big.bin", false, std::to_string(bigBytes)}}, local.string());
                },
                false, pauses ? &gaps : nullptr);
        };
        QueueRun up, put;
        if (queueFirst) {
            up = queueUp();
            put = bareRun("put", &FtpClient::PutAsync);
        } else {
            put = bareRun("put", &FtpClient::PutAsync);
            up = queueUp();
        }
        std::printf("  round %d, %s first\n", round, queueFirst ? "queue" : "bare");
        std::printf("  round %d download: queue %5.2f s %5.0f MiB/s %4.2f cpu s (%lld reports), "
                    "bare %5.2f s %5.0f MiB/s %4.2f cpu s, queue/bare speed %.2f\n",
                    round, down.seconds, mibs(down.seconds), down.cpu,
                    static_cast<long long>(client.sink.updates), get.seconds, mibs(get.seconds),
                    get.cpu, get.seconds / down.seconds);
        std::printf("  round %d upload:   queue %5.2f s %5.0f MiB/s %4.2f cpu s, bare %5.2f s "
                    "%5.0f MiB/s %4.2f cpu s, queue/bare speed %.2f (%.2f to the file's end, "
                    "%.2f s)\n",
                    round, up.seconds, mibs(up.seconds), up.cpu, put.seconds, mibs(put.seconds),
                    put.cpu, put.seconds / up.seconds, put.seconds / up.arrived, up.arrived);
        const auto detail = [](const char* what, const QueueRun& run) {
            std::printf("    %-11s user %4.2f s, sys %4.2f s, %ld blocks read, %ld waits, %ld "
                        "preempted",
                        what, run.used.user, run.used.sys, run.used.inBlocks, run.used.waits,
                        run.used.preempted);
            if (run.pauseMs >= 0)
                std::printf(", longest pause %.1f ms", run.pauseMs);
            std::printf("\n");
        };
        detail("queue down", down);
        detail("bare get", get);
        detail("queue up", up);
        detail("bare put", put);
        const double gib = static_cast<double>(bigBytes) / (1 << 30);
        cpuDown.push_back(down.cpu / gib);
        cpuGet.push_back(get.cpu / gib);
        cpuUp.push_back(up.cpu / gib);
        cpuPut.push_back(put.cpu / gib);
        downRatio.push_back(get.seconds / down.seconds);
        upRatio.push_back(put.seconds / up.seconds);
        upArrivedRatio.push_back(put.seconds / up.arrived);
        (queueFirst ? downQueueFirst : downBareFirst).push_back(downRatio.back());
        (queueFirst ? upQueueFirst : upBareFirst).push_back(upRatio.back());
        fs::remove(local / "big.bin");
        fs::remove(base / "bare.bin");
        fs::remove(root / "bare-up.bin");
    }
    if (!failed.empty())
        std::printf("  bare engine: %s\n", failed.c_str());
    else
        std::printf("  median queue/bare speed: download %.2f, upload %.2f (%.2f to the file's "
                    "end)\n"
                    "  median cpu s per GiB: download queue %.2f, bare %.2f; upload queue %.2f, "
                    "bare %.2f\n",
                    Median(downRatio), Median(upRatio), Median(upArrivedRatio), Median(cpuDown),
                    Median(cpuGet), Median(cpuUp), Median(cpuPut));
    std::printf("  median queue/bare speed, queue first: download %.2f, upload %.2f; bare "
                "first: download %.2f, upload %.2f   (-1: no such round)\n",
                Median(downQueueFirst), Median(upQueueFirst), Median(downBareFirst),
                Median(upBareFirst));
    fs::remove(root / "big.bin");

    // 3. Memory over a large tree.
    const int files = treeFolders * 100;
    std::printf("\na tree of %d files in %d folders\n", files, treeFolders);
    for (int d = 0; d < treeFolders; ++d) {
        for (int f = 0; f < 100; ++f)
            WriteFile(root / "tree" / ("folder " + std::to_string(d)) /
                          ("file " + std::to_string(f) + ".dat"),
                      100, 't');
    }
    client.controller.CwdAsync();
    client.Idle(30);
    const long rest = StatusKiB("VmRSS");
    QueueRun treeDown = TimeQueue(
        client, [&] { return client.Download({"tree"}, local.string()); }, true);
    std::printf("  at rest %ld KiB; download peak %ld KiB (+%ld KiB), %.1f s, %d files arrived\n",
                rest, treeDown.peakKiB, treeDown.peakKiB - rest, treeDown.seconds,
                CountFiles(local / "tree"));
    fs::rename(local / "tree", local / "treeup");
    const long rest2 = StatusKiB("VmRSS");
    QueueRun treeUp = TimeQueue(
        client,
        [&] {
            return client.controller.UploadSelected({{"treeup", true, ""}}, local.string());
        },
        true);
    std::printf("  at rest %ld KiB; upload peak %ld KiB (+%ld KiB), %.1f s, %d files arrived\n",
                rest2, treeUp.peakKiB, treeUp.peakKiB - rest2, treeUp.seconds,
                CountFiles(root / "treeup"));
    std::printf("  peak of the whole run (VmHWM): %ld KiB\n", StatusKiB("VmHWM"));
    std::printf("  log lines kept: %zu; last: %s\n", client.log.Pane().Count(),
                client.LastLine().c_str());
    return 0;
}
