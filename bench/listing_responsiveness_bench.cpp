// How responsive the event loop stays while a 100,000-line listing arrives:
// the engine (FtpClient, passive) lists from a small FTP peer on 127.0.0.1
// while a 1 ms timer records the longest gap between its ticks. Each run
// fetches the listing three ways, interleaved: alone (the bare fetch), with
// the remote pane parsing it as it arrives and then showing it, and alone
// followed by the pane showing it from the file; then the same entries through
// MLSD, streamed into the pane, where the server offers it. The process's peak
// memory over each is measured against the listing's size.
// With "real", the same runs list a folder of 100,000 empty files served by
// vsftpd and pyftpdlib on 127.0.0.1 instead, beside curl fetching the same
// listing in the same run (curl's fetch is then what "x bare" compares with).
// Prints figures; it never judges them.
//
//   listing_responsiveness_bench [RUNS [streamed|file|mlsd|all [real]]]   (default 5, all)
#include "BenchSupport.h"
#include "ftp/FtpClient.h"
#include "net/UniqueFd.h"
#include "remote/RemoteView.h"
#include "support/RealFtpServer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kLines = 100'000;
constexpr std::chrono::year_month_day kStart{2024y, std::chrono::June, 15d};

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// A listening socket on an ephemeral loopback port.
UniqueFd Listen() {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd.get() < 0 || ::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd.get(), 1) != 0)
        return UniqueFd{};
    return fd;
}

std::uint16_t PortOf(const UniqueFd& fd) {
    sockaddr_in addr{};
    socklen_t size = sizeof addr;
    ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&addr), &size);
    return ntohs(addr.sin_port);
}

// The entries of VsftpdListing as MLSD lines.
std::string MachineListing(int lines) {
    return bench::MakeListing(lines, [](int i, char* line, std::size_t size) {
        const bool folder = i % 8 == 0;
        const bool link = i % 50 == 7;
        const long long bytes = folder ? 4096 : (i * 7919LL) % 5'000'000'000LL;
        const char* type = folder ? "dir" : (link ? "OS.unix=symlink" : "file");
        std::snprintf(line, size, "type=%s;size=%lld;modify=2019%02d%02d123400;UNIX.mode=%s; %s",
                      type, bytes, 1 + i % 12, 1 + i % 28, folder || link ? "0755" : "0644",
                      bench::NameOf(i).c_str());
    });
}

// Just enough of a server for login, FEAT, PASV, LIST and MLSD, one client at a time.
// The thread polls in short slices so that the destructor can stop it even
// when the engine went away without QUIT.
class FtpPeer {
public:
    FtpPeer(std::string listing, std::string machineListing)
        : listing_(std::move(listing)), machineListing_(std::move(machineListing)),
          control_(Listen()), thread_([this] { Serve(); }) {}
    ~FtpPeer() {
        stop_ = true;
        thread_.join();
    }
    FtpPeer(const FtpPeer&) = delete;
    FtpPeer& operator=(const FtpPeer&) = delete;

    std::uint16_t Port() const { return PortOf(control_); }

private:
    bool Readable(int fd) {
        pollfd p{fd, POLLIN, 0};
        while (!stop_) {
            if (::poll(&p, 1, 50) > 0)
                return true;
        }
        return false;
    }
    UniqueFd Accept(const UniqueFd& listener) {
        return Readable(listener.get())
                   ? UniqueFd(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC))
                   : UniqueFd{};
    }
    static bool Send(const UniqueFd& fd, std::string_view text) {
        while (!text.empty()) {
            const ssize_t n = ::send(fd.get(), text.data(), text.size(), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            text.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    void Serve() {
        const UniqueFd client = Accept(control_);
        if (client.get() < 0 || !Send(client, "220 ready\r\n"))
            return;
        std::string pending;
        UniqueFd passive;
        char buffer[4096];
        while (Readable(client.get())) {
            const ssize_t n = ::recv(client.get(), buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            pending.append(buffer, static_cast<std::size_t>(n));
            for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
                const std::string verb =
                    pending.substr(0, std::min(pending.find_first_of(" \r\n"), end));
                pending.erase(0, end + 1);
                if (!Answer(client, verb, passive))
                    return;
            }
        }
    }

    bool Answer(const UniqueFd& client, const std::string& verb, UniqueFd& passive) {
        if (verb == "USER")
            return Send(client, "331 Please specify the password.\r\n");
        if (verb == "PASS")
            return Send(client, "230 Login successful.\r\n");
        if (verb == "TYPE")
            return Send(client, "200 Switching to Binary mode.\r\n");
        if (verb == "PASV") {
            passive = Listen();
            const std::uint16_t port = PortOf(passive);
            return Send(client, "227 Entering Passive Mode (127,0,0,1," +
                                    std::to_string(port >> 8) + "," + std::to_string(port & 0xff) +
                                    ").\r\n");
        }
        if (verb == "FEAT")
            return Send(client, "211-Features:\r\n MLST type*;size*;modify*;UNIX.mode*;\r\n"
                                "211 End\r\n");
        if (verb == "LIST" || verb == "MLSD") {
            if (!Send(client, "150 Here comes the directory listing.\r\n"))
                return false;
            {
                const UniqueFd data = Accept(passive);
                if (data.get() < 0 || !Send(data, verb == "LIST" ? listing_ : machineListing_))
                    return false;
            }
            passive = UniqueFd{};
            return Send(client, "226 Directory send OK.\r\n");
        }
        if (verb == "QUIT") {
            Send(client, "221 Goodbye.\r\n");
            return false;
        }
        return Send(client, "502 Command not implemented.\r\n");
    }

    const std::string listing_;
    const std::string machineListing_;
    const UniqueFd control_;
    std::atomic<bool> stop_ = false;
    std::thread thread_; // last: it starts serving once the rest is built
};

// Resets the process's peak resident size to what it holds now (Linux), and
// returns that size in bytes; 0 where /proc cannot tell.
std::int64_t ResetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:"))
            return std::atoll(line.c_str() + 6) * 1024;
    }
    return 0;
}

std::int64_t PeakMemory() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmHWM:"))
            return std::atoll(line.c_str() + 6) * 1024;
    }
    return 0;
}

// Where the listing comes from: the in-process peer or a real server.
struct Source {
    std::string name;
    std::string port;
    std::string user;
    std::string password;
    std::string dir;         // listed after CWD; empty: the login folder
    std::int64_t bytes = -1; // the listing's exact size, when known
    std::string curlUrl;     // empty: no curl row
};

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Wall time of curl fetching the listing to /dev/null; negative when it failed.
double CurlFetchMs(const std::string& url) {
    QProcess curl;
    const Clock::time_point start = Clock::now();
    curl.start(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-o"),
                                        QStringLiteral("/dev/null"), QString::fromStdString(url)});
    if (!curl.waitForStarted(5000) || !curl.waitForFinished(60000) || curl.exitCode() != 0)
        return -1;
    return Ms(Clock::now() - start);
}

// Runs the rows against one source; the number of failed rows.
int RunSource(const Source& source, int runs, const std::string& modes, bench::GapMeter& gaps) {
    QTemporaryDir folder;
    FtpClient ftp;
    ftp.HostName = "127.0.0.1";
    ftp.Port = source.port;
    ftp.UserName = source.user;
    ftp.PassWord = source.password;
    ftp.SetPassive(true);
    bench::RequestWaiter waiter(ftp);
    if (const std::string error = waiter.Run("login", 30s, [&] { ftp.ConnectAsync(); });
        !error.empty()) {
        std::fprintf(stderr, "%s: %s\n", source.name.c_str(), error.c_str());
        return 1;
    }
    if (!source.dir.empty()) {
        ftp.HostDirName = source.dir;
        if (const std::string error = waiter.Run("CWD", 30s, [&] { ftp.CwdAsync(); });
            !error.empty()) {
            std::fprintf(stderr, "%s: %s\n", source.name.c_str(), error.c_str());
            return 1;
        }
    }
    bench::BenchSession session;
    remote::RemoteView view(session, kStart, [] { return 2024; });
    view.SetSite({"0957681", false});

    std::printf("%s\n", source.name.c_str());
    std::printf("%-4s %-8s %9s %9s %9s %7s %9s %9s %7s %7s %7s\n", "run", "mode", "fetch ms",
                "show ms", "total ms", "x bare", "cpu ms", "gap ms", "peak", "x size", "items");
    int failed = 0;
    std::int64_t listingBytes = source.bytes;
    for (int run = 1; run <= runs; ++run) {
        double bare = 0;
        if (!source.curlUrl.empty()) {
            bare = CurlFetchMs(source.curlUrl);
            if (bare < 0) {
                std::fprintf(stderr, "run %d curl failed\n", run);
                ++failed;
            } else {
                std::printf("%-4d %-8s %9.1f\n", run, "curl", bare);
            }
        }
        for (const char* mode : {"bare", "streamed", "file", "mlsd"}) {
            const std::string_view m = mode;
            if (m != "bare" && !modes.empty() && modes != m)
                continue;
            if (m == "mlsd" && !ftp.Features().machineListing)
                continue;
            ftp.LocalFileName = folder.filePath(QStringLiteral("FTPDIR.TXT")).toStdString();
            ftp.OnListingData = nullptr;
            // The same entries either way; MLSD only where asked for.
            ftp.MachineListings = m == "mlsd";
            view.SetSite({"0957681", false, m == "mlsd"});
            if (m == "streamed" || m == "mlsd") {
                ftp.OnListingData = [&](FtpClient*, std::string_view bytes, bool first) {
                    view.TakeListingData(bytes, first);
                };
            }
            const std::int64_t before = ResetPeakMemory();
            const double cpu = ThreadCpuMs();
            gaps.Start();
            const Clock::time_point start = Clock::now();
            const std::string error = waiter.Run(mode, 30s, [&] { ftp.DirAsync(); });
            const Clock::duration fetch = Clock::now() - start;
            if (listingBytes < 0 && error.empty())
                listingBytes = ftp.ByteCount;
            if (!error.empty() || (m != "mlsd" && ftp.ByteCount != listingBytes)) {
                std::fprintf(stderr, "run %d %s: %s (%lld bytes)\n", run, mode, error.c_str(),
                             static_cast<long long>(ftp.ByteCount));
                ++failed;
                continue;
            }
            Clock::duration show{};
            if (m != "bare") {
                // Shown once the pane says so, whether before ShowListing
                // returns or later from the event loop.
                bool reset = false;
                const QMetaObject::Connection watch = QObject::connect(
                    &view, &remote::RemoteView::ListingShown, [&] { reset = true; });
                const Clock::time_point shown = Clock::now();
                view.ShowListing(ftp.LocalFileName);
                while (!reset)
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
                show = Clock::now() - shown;
                QObject::disconnect(watch);
            } else {
                std::remove(ftp.LocalFileName.c_str());
            }
            const Clock::duration total = Clock::now() - start;
            const double usedCpu = ThreadCpuMs() - cpu;
            const Clock::duration gap = gaps.Stop();
            const double peak = static_cast<double>(PeakMemory() - before) / (1024.0 * 1024.0);
            if (m == "bare" && source.curlUrl.empty())
                bare = Ms(total);
            if (m != "bare" && (!session.lastLog.empty() || view.EntryCount() != kLines)) {
                std::fprintf(stderr, "run %d %s: pane got %zu entries %s\n", run, mode,
                             view.EntryCount(), session.lastLog.c_str());
                ++failed;
                continue;
            }
            std::printf("%-4d %-8s %9.1f %9.1f %9.1f %7.2f %9.1f %9.1f %7.1f %7.2f %7zu\n", run,
                        mode, Ms(fetch), Ms(show), Ms(total), bare > 0 ? Ms(total) / bare : 0.0,
                        usedCpu, Ms(gap), peak,
                        peak * 1024.0 * 1024.0 / static_cast<double>(listingBytes),
                        m == "bare" ? std::size_t{0} : view.Items().size());
        }
    }
    ftp.OnListingData = nullptr;
    waiter.Run("QUIT", 30s, [&] { ftp.QuitAsync(); });
    return failed;
}

// kLines empty files named as the generated listing names them.
bool MakeFolder(const std::string& dir) {
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    for (int i = 0; i < kLines && !error; ++i) {
        const UniqueFd file(
            ::open((dir + "/" + bench::NameOf(i)).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
        if (file.get() < 0)
            return false;
    }
    return !error;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    // One mode beside the bare fetch: the first run's memory is then that
    // mode's alone, with no earlier pane freed and reused.
    std::string modes = argc > 2 ? argv[2] : "";
    if (modes == "both" || modes == "all")
        modes.clear();
    const bool real = argc > 3 && std::string_view(argv[3]) == "real";

    bench::GapMeter gaps;
    // The timer's own jitter on this machine, to read the gaps below against.
    gaps.Start();
    QTimer idle;
    idle.setSingleShot(true);
    QEventLoop loop;
    QObject::connect(&idle, &QTimer::timeout, &loop, &QEventLoop::quit);
    idle.start(200ms);
    loop.exec();
    std::printf("%d lines per listing; longest gap of an idle loop %.1f ms\n", kLines,
                Ms(gaps.Stop()));
    std::printf("bare: the fetch alone; streamed: fetched while the pane parses it, then shown;\n"
                "file: fetched alone, then shown from the file. total = until the pane is filled;\n"
                "x bare = total over the bare fetch (curl's, where there is a curl row);\n"
                "cpu = the event loop thread's; peak = resident memory over the start, MiB\n");
    if (!real) {
        const std::string listing = bench::VsftpdListing(kLines);
        FtpPeer peer(listing, MachineListing(kLines));
        return RunSource({"in-process peer, " + std::to_string(listing.size() / 1024) + " KiB",
                          std::to_string(peer.Port()), "bench", "bench", "",
                          static_cast<std::int64_t>(listing.size()), ""},
                         runs, modes, gaps) == 0
                   ? 0
                   : 1;
    }
    int failed = 0;
    for (const auto kind :
         {testsupport::RealFtpServer::Kind::Vsftpd, testsupport::RealFtpServer::Kind::Pyftpdlib}) {
        testsupport::RealFtpServer server(kind);
        std::string whyNot;
        if (!server.start(&whyNot)) {
            std::printf("%s skipped: %s\n", server.name(), whyNot.c_str());
            continue;
        }
        const std::string dir = server.root() + "/many";
        if (!MakeFolder(dir)) {
            std::fprintf(stderr, "cannot make %s\n", dir.c_str());
            return 1;
        }
        // Relative to the login folder, for the engine and for curl alike.
        const std::string listed = "many";
        failed += RunSource({std::string(server.name()) + ", a folder of 100,000 files",
                             server.portText(), server.user(), server.password(), listed, -1,
                             "ftp://" + std::string(server.user()) + ":" + server.password() +
                                 "@127.0.0.1:" + server.portText() + "/" + listed + "/"},
                            runs, modes, gaps);
    }
    return failed == 0 ? 0 : 1;
}
