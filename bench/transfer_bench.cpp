// Whole-file transfers against Debian's FTP servers (vsftpd, pyftpdlib,
// pure-ftpd) on 127.0.0.1: the engine (FtpClient, passive mode, a progress
// handler that does nothing) beside curl and lftp, downloads to /dev/null and
// into a new file, and uploads; with the engine's default data block sizes and
// with the others asked for, every case once per round, and the loopback TCP
// limit measured in the same run. Prints figures; it never judges them.
//
//   transfer_bench [--size-mib N] [--runs N] [--blocks N]... [--filter TEXT]
//
// CORVANE_BENCH_SIZE_MIB and CORVANE_BENCH_RUNS set the defaults of the first
// two options (1024 MiB, 3 runs). Files live in a temporary folder under TMPDIR
// and are removed at the end.
#include "BenchSupport.h"
#include "ftp/FtpClient.h"
#include "net/UniqueFd.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <arpa/inet.h>
#include <bit>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::int64_t kMiB = 1024 * 1024;

// --- options ------------------------------------------------------------------------

struct Blocks {
    int upload = 0; // 0: the engine's defaults
    int download = 0;
};

struct Options {
    std::int64_t bytes = 1024 * kMiB;
    int runs = 3;
    std::vector<int> extraBlocks; // further engine block sizes, upload = download
    std::string filter;           // runs only the cases whose name contains it
    Blocks engineDefaults;        // as a new engine reports them
};

std::optional<long> PositiveNumber(const char* text) {
    if (text == nullptr || *text == '\0')
        return std::nullopt;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value <= 0)
        return std::nullopt;
    return value;
}

constexpr char kUsage[] =
    "usage: transfer_bench [--size-mib N] [--runs N] [--blocks N]... [--filter TEXT]\n"
    "  --size-mib N  file size (default 1024, or CORVANE_BENCH_SIZE_MIB)\n"
    "  --runs N      runs per case, the median is shown (default 3, or CORVANE_BENCH_RUNS)\n"
    "  --blocks N    also run the engine with N-byte upload and download blocks\n"
    "  --filter TEXT run only the cases whose name contains TEXT, such as \"pyftpdlib\",\n"
    "                \"vsftpd engine upload 64K/64K\" or \"tcp pair\" (stderr shows the names)\n";

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    if (const auto mib = PositiveNumber(std::getenv("CORVANE_BENCH_SIZE_MIB")))
        options.bytes = *mib * kMiB;
    if (const auto runs = PositiveNumber(std::getenv("CORVANE_BENCH_RUNS")))
        options.runs = static_cast<int>(*runs);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        const std::optional<long> number = PositiveNumber(value);
        if (arg == "--size-mib" && number)
            options.bytes = *number * kMiB;
        else if (arg == "--runs" && number)
            options.runs = static_cast<int>(*number);
        else if (arg == "--blocks" && number && *number <= 16 * kMiB)
            options.extraBlocks.push_back(static_cast<int>(*number));
        else if (arg == "--filter" && value != nullptr)
            options.filter = value;
        else
            return std::nullopt;
        ++i;
    }
    return options;
}

// --- small tools --------------------------------------------------------------------

sockaddr_in LoopbackAddress(std::uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    return addr;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double CpuSeconds(const rusage& usage) {
    const auto seconds = [](const timeval& tv) {
        return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double CpuSeconds(int who) {
    rusage usage{};
    ::getrusage(who, &usage);
    return CpuSeconds(usage);
}

std::string ErrnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// user+sys seconds of a process and all its descendants, including the ones
// that have ended and were reaped: vsftpd forks one process per session.
double TreeCpuSeconds(pid_t root) {
    struct Process {
        pid_t parent = 0;
        long long ticks = 0;
    };
    std::map<pid_t, Process> rows;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream in(entry.path() / "stat");
        std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::size_t close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        // After "pid (comm)": state ppid ... utime stime cutime cstime (fields 3, 4, 14-17).
        std::istringstream fields(stat.substr(close + 1));
        std::vector<std::string> f(15);
        for (std::string& field : f)
            fields >> field;
        Process row;
        row.parent = static_cast<pid_t>(std::atol(f[1].c_str()));
        for (int i = 11; i <= 14; ++i)
            row.ticks += std::atoll(f[static_cast<std::size_t>(i)].c_str());
        rows[static_cast<pid_t>(std::atol(name.c_str()))] = row;
    }
    long long ticks = 0;
    std::vector<pid_t> todo{root};
    while (!todo.empty()) {
        const pid_t pid = todo.back();
        todo.pop_back();
        if (const auto it = rows.find(pid); it != rows.end())
            ticks += it->second.ticks;
        for (const auto& [child, row] : rows)
            if (row.parent == pid)
                todo.push_back(child);
    }
    return static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// --- file contents ------------------------------------------------------------------

// Not a cryptographic hash: it only has to notice a lost, doubled, changed or
// reordered block, and keep up with the page cache.
class Checksum {
public:
    // Whole 32-byte stripes except in the last call.
    void Add(const char* data, std::size_t n) {
        std::size_t i = 0;
        for (; i + 32 <= n; i += 32)
            for (std::size_t lane = 0; lane < 4; ++lane)
                lanes_[lane] = Round(lanes_[lane], Word(data + i + 8 * lane));
        for (; i < n; ++i)
            tail_ = Round(tail_, static_cast<unsigned char>(data[i]));
        size_ += static_cast<std::int64_t>(n);
    }
    std::int64_t Size() const { return size_; }
    std::uint64_t Value() const {
        std::uint64_t v = Round(tail_, static_cast<std::uint64_t>(size_));
        for (const std::uint64_t lane : lanes_)
            v = Round(v ^ lane, lane);
        return v;
    }

private:
    static std::uint64_t Word(const char* p) {
        std::uint64_t w;
        std::memcpy(&w, p, sizeof w);
        return w;
    }
    static std::uint64_t Round(std::uint64_t acc, std::uint64_t input) {
        acc += input * 0xC2B2AE3D27D4EB4FULL;
        return std::rotl(acc, 31) * 0x9E3779B185EBCA87ULL;
    }
    std::uint64_t lanes_[4] = {1, 2, 3, 4};
    std::uint64_t tail_ = 5;
    std::int64_t size_ = 0;
};

struct Digest {
    std::int64_t size = -1;
    std::uint64_t sum = 0;
    bool operator==(const Digest&) const = default;
};

constexpr std::size_t kFileChunk = 1 << 20;

std::optional<Digest> DigestOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::vector<char> buffer(kFileChunk);
    Checksum sum;
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        sum.Add(buffer.data(), static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad())
        return std::nullopt;
    return Digest{sum.Size(), sum.Value()};
}

// Pseudo-random bytes, so nothing on the way can compress or dedupe them.
std::optional<Digest> WriteSourceFile(const std::string& path, std::int64_t bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<std::uint64_t> words(kFileChunk / sizeof(std::uint64_t));
    std::uint64_t state = 0x9E3779B97F4A7C15ULL;
    Checksum sum;
    for (std::int64_t left = bytes; out && left > 0;) {
        for (std::uint64_t& w : words) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            w = state;
        }
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(left, kFileChunk));
        const char* data = reinterpret_cast<const char*>(words.data());
        sum.Add(data, n);
        out.write(data, static_cast<std::streamsize>(n));
        left -= static_cast<std::int64_t>(n);
    }
    out.close();
    // Anonymous FTP serves world-readable files only, whatever the umask.
    std::error_code ec;
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read,
                    fs::perm_options::add, ec);
    if (!out || ec)
        return std::nullopt;
    return Digest{bytes, sum.Value()};
}

// Compares a transferred file with the source and removes it; empty when equal.
std::string CheckAndRemove(const std::string& path, const Digest& expected) {
    const std::optional<Digest> got = DigestOf(path);
    std::error_code ec;
    fs::remove(path, ec);
    if (!got)
        return "result file missing";
    if (got->size != expected.size)
        return "size " + std::to_string(got->size) + " != " + std::to_string(expected.size);
    if (got->sum != expected.sum)
        return "checksum differs";
    return {};
}

// --- measurements ---------------------------------------------------------------------

struct Measure {
    bool ok = false;
    std::string note; // why it failed
    double wall = 0;
    double clientCpu = 0;
    double serverCpu = -1; // unknown
};

// The loopback TCP limit: one thread sends `bytes` from memory in blocks of
// `writeSize`, another reads them in blocks of `readSize` and drops them. No
// files, no FTP, no event loop.
Measure RunTcpPair(std::int64_t bytes, int writeSize, int readSize) {
    Measure m;
    const UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in addr = LoopbackAddress(0);
    socklen_t len = sizeof addr;
    if (listener.get() < 0 ||
        ::bind(listener.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener.get(), 1) != 0 ||
        ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        m.note = ErrnoText("listen");
        return m;
    }
    std::int64_t received = 0;
    double receiverCpu = 0;
    const Clock::time_point start = Clock::now();
    std::thread receiver([&] {
        const double cpu0 = CpuSeconds(RUSAGE_THREAD);
        const UniqueFd in(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
        std::vector<char> buffer(static_cast<std::size_t>(readSize));
        for (ssize_t n; in.get() >= 0 && (n = ::recv(in.get(), buffer.data(), buffer.size(), 0));) {
            if (n < 0 && errno != EINTR)
                break;
            received += std::max<ssize_t>(n, 0);
        }
        receiverCpu = CpuSeconds(RUSAGE_THREAD) - cpu0;
    });
    const double cpu0 = CpuSeconds(RUSAGE_THREAD);
    {
        const UniqueFd out(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (::connect(out.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            m.note = ErrnoText("connect");
            ::shutdown(listener.get(), SHUT_RDWR); // wakes the accept
        }
        const std::vector<char> block(static_cast<std::size_t>(writeSize), 'x');
        for (std::int64_t left = bytes; m.note.empty() && left > 0;) {
            const auto n = static_cast<std::size_t>(std::min<std::int64_t>(left, writeSize));
            const ssize_t sent = ::send(out.get(), block.data(), n, MSG_NOSIGNAL);
            if (sent < 0 && errno != EINTR)
                m.note = ErrnoText("send");
            left -= std::max<ssize_t>(sent, 0);
        }
    }
    const double senderCpu = CpuSeconds(RUSAGE_THREAD) - cpu0;
    receiver.join();
    m.wall = Seconds(Clock::now() - start);
    m.clientCpu = senderCpu + receiverCpu;
    if (m.note.empty() && received != bytes)
        m.note = "received " + std::to_string(received) + " of " + std::to_string(bytes);
    m.ok = m.note.empty();
    return m;
}

// --- servers --------------------------------------------------------------------------

enum class ServerKind { Vsftpd, Pyftpdlib, PureFtpd };

std::uint16_t FreeLoopbackPort() {
    const UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in addr = LoopbackAddress(0);
    socklen_t len = sizeof addr;
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return 0;
    return ntohs(addr.sin_port);
}

bool AcceptsConnections(std::uint16_t port) {
    const UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in addr = LoopbackAddress(port);
    return ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
}

// A real FTP server of Debian on 127.0.0.1, serving `root`, run for the
// lifetime of this object.
class LoopbackServer {
public:
    LoopbackServer(ServerKind kind, std::string runDir, std::string root)
        : kind_(kind), runDir_(std::move(runDir)), root_(std::move(root)) {}
    ~LoopbackServer() { Stop(); }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    bool Start(std::string* whyNot) {
        switch (kind_) {
        case ServerKind::Vsftpd:
            return StartVsftpd(whyNot);
        case ServerKind::Pyftpdlib:
            return StartPyftpdlib(whyNot);
        case ServerKind::PureFtpd:
            return StartPureFtpd(whyNot);
        }
        return false;
    }
    std::uint16_t Port() const { return port_; }
    const std::string& Root() const { return root_; }
    const std::string& User() const { return user_; }
    const std::string& Password() const { return password_; }
    const std::string& Description() const { return description_; }
    double CpuSeconds() const {
        return process_ ? TreeCpuSeconds(static_cast<pid_t>(process_->processId())) : -1;
    }

private:
    bool StartVsftpd(std::string* whyNot) {
        user_ = "anonymous";
        password_ = "bench";
        port_ = FreeLoopbackPort();
        process_ = std::make_unique<QProcess>();
        process_->setProcessChannelMode(QProcess::MergedChannels);
        process_->start("bash", {CORVANE_BENCH_SOURCE_DIR "/vsftpd_server.sh",
                                 QString::fromStdString(runDir_), QString::number(port_),
                                 QString::fromStdString(root_)});
        // The first start may fetch the package.
        const Clock::time_point limit = Clock::now() + std::chrono::seconds(120);
        while (Clock::now() < limit) {
            if (process_->state() == QProcess::NotRunning || process_->waitForFinished(50))
                return Failed("vsftpd did not start", whyNot);
            if (AcceptsConnections(port_)) {
                description_ = "vsftpd (Debian package; sendfile downloads) " + Info();
                return true;
            }
        }
        return Failed("vsftpd did not listen within 120 s", whyNot);
    }

    bool StartPureFtpd(std::string* whyNot) {
        user_ = "bench";
        password_ = "secret";
        port_ = FreeLoopbackPort();
        process_ = std::make_unique<QProcess>();
        process_->setProcessChannelMode(QProcess::MergedChannels);
        process_->start("bash", {CORVANE_BENCH_SOURCE_DIR "/pureftpd_server.sh",
                                 QString::fromStdString(runDir_), QString::number(port_),
                                 QString::fromStdString(root_), QString::fromStdString(user_),
                                 QString::fromStdString(password_)});
        const Clock::time_point limit = Clock::now() + std::chrono::seconds(120);
        while (Clock::now() < limit) {
            if (process_->state() == QProcess::NotRunning || process_->waitForFinished(50))
                return Failed("pure-ftpd did not start", whyNot);
            if (AcceptsConnections(port_)) {
                description_ = "pure-ftpd (Debian package) " + Info();
                return true;
            }
        }
        return Failed("pure-ftpd did not listen within 120 s", whyNot);
    }

    bool StartPyftpdlib(std::string* whyNot) {
        user_ = "corvane";
        password_ = "secret";
        process_ = std::make_unique<QProcess>();
        process_->start("/usr/bin/python3",
                        {CORVANE_PYFTPD_SCRIPT, "--root", QString::fromStdString(root_), "--user",
                         QString::fromStdString(user_), "--password",
                         QString::fromStdString(password_)});
        if (!process_->waitForStarted(5000))
            return Failed("cannot run /usr/bin/python3 (Debian package python3-pyftpdlib)", whyNot);
        while (!process_->canReadLine() && process_->waitForReadyRead(15000)) {
        }
        const std::string line = process_->readLine().trimmed().toStdString();
        if (line.rfind("ready ", 0) != 0)
            return Failed("pyftpdlib did not start (Debian package python3-pyftpdlib): " + line,
                          whyNot);
        port_ = static_cast<std::uint16_t>(std::atoi(line.c_str() + 6));
        description_ = "pyftpdlib (Debian package python3-pyftpdlib; sendfile downloads)";
        return true;
    }

    std::string Info() const {
        std::string info;
        for (const QByteArray& line : process_->readAll().split('\n'))
            if (line.startsWith("info: unpacked ") || line.startsWith("info: installed "))
                info += (info.empty() ? "" : ", ") + line.mid(6).toStdString();
        return info.empty() ? info : "[" + info + "]";
    }

    bool Failed(const std::string& what, std::string* whyNot) {
        std::string output = process_->readAll().trimmed().toStdString();
        if (output.rfind("error: ", 0) == 0)
            output.erase(0, 7);
        *whyNot = what + (output.empty() ? "" : ": " + output);
        Stop();
        return false;
    }

    // A vsftpd session ends by itself when its client has gone, which every
    // client here has by now.
    void Stop() {
        if (!process_)
            return;
        if (kind_ == ServerKind::Pyftpdlib)
            process_->closeWriteChannel(); // pyftpd_server.py exits when its stdin closes
        else
            process_->terminate();
        if (!process_->waitForFinished(3000)) {
            process_->kill();
            process_->waitForFinished(3000);
        }
        process_.reset();
    }

    ServerKind kind_;
    std::string runDir_;
    std::string root_;
    std::string user_;
    std::string password_;
    std::string description_;
    std::uint16_t port_ = 0;
    std::unique_ptr<QProcess> process_;
};

// --- clients ----------------------------------------------------------------------------

// A download goes into a new file or to /dev/null (no disk: the network path alone).
enum class Direction { Download, DownloadNull, Upload };

const char* DirectionName(Direction direction) {
    switch (direction) {
    case Direction::Download:
        return "download";
    case Direction::DownloadNull:
        return "to-null";
    case Direction::Upload:
        return "upload";
    }
    return "";
}

struct Files {
    std::string source;     // local file that is uploaded and compared with
    Digest digest;          // of the source
    std::string remoteName; // the server's copy of the source, in its root
    std::string scratch;    // folder for downloads and curl's messages
};

std::int64_t TransferLimitMs(std::int64_t bytes) {
    return 60000 + bytes / 5000; // 5 MB/s at least
}

// A child's standard input and output go to /dev/null, its errors to a file.
class SpawnActions {
public:
    explicit SpawnActions(const std::string& errors) {
        posix_spawn_file_actions_init(&actions_);
        posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions_, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions_, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
    }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    const posix_spawn_file_actions_t* Get() const { return &actions_; }

private:
    posix_spawn_file_actions_t actions_{};
};

// A client in its own process (curl, lftp): wall and CPU time come from its
// start and end, login included.
Measure RunTool(const LoopbackServer& server, std::vector<std::string> args,
                const std::string& result, const Files& files) {
    Measure m;
    const std::string tool = args.front();
    const std::string errors = files.scratch + "/" + tool + "-stderr.txt";
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const SpawnActions actions(errors);
    const double server0 = server.CpuSeconds();
    const Clock::time_point start = Clock::now();
    pid_t pid = -1;
    const int spawned =
        ::posix_spawnp(&pid, tool.c_str(), actions.Get(), nullptr, argv.data(), environ);
    if (spawned != 0) {
        m.note = "cannot start " + tool + ": " + std::string(std::strerror(spawned));
        return m;
    }
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    m.wall = Seconds(Clock::now() - start);
    m.serverCpu = server.CpuSeconds() - server0;
    m.clientCpu = CpuSeconds(usage);
    std::ifstream in(errors);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || (tool == "lftp" && !text.empty())) {
        m.note =
            (WIFEXITED(status) ? tool + " exited with " + std::to_string(WEXITSTATUS(status))
                               : tool + " died of signal " + std::to_string(WTERMSIG(status))) +
            (text.empty() ? "" : ": " + text);
        return m;
    }
    // /dev/null keeps nothing to compare; the exit status has to do.
    m.note = result == "/dev/null" ? "" : CheckAndRemove(result, files.digest);
    m.ok = m.note.empty();
    return m;
}

std::string Target(Direction direction, const Files& files, const std::string& name) {
    return direction == Direction::DownloadNull ? "/dev/null" : files.scratch + "/" + name;
}

Measure RunCurl(const LoopbackServer& server, Direction direction, const Files& files,
                std::int64_t bytes) {
    const std::string url = "ftp://127.0.0.1:" + std::to_string(server.Port()) + "/";
    const std::string download = Target(direction, files, "curl-download.bin");
    const std::string upload = "curl-upload.bin";
    std::vector<std::string> args = {"curl",
                                     "-sS",
                                     "--disable-epsv",
                                     "--max-time",
                                     std::to_string(TransferLimitMs(bytes) / 1000),
                                     "--user",
                                     server.User() + ":" + server.Password()};
    if (direction == Direction::Upload)
        args.insert(args.end(), {"-T", files.source, url + upload});
    else
        args.insert(args.end(), {"-o", download, url + files.remoteName});
    return RunTool(server, std::move(args),
                   direction == Direction::Upload ? server.Root() + "/" + upload : download, files);
}

Measure RunLftp(const LoopbackServer& server, Direction direction, const Files& files) {
    const std::string download = Target(direction, files, "lftp-download.bin");
    const std::string upload = "lftp-upload.bin";
    const std::string command =
        "set net:max-retries 1; set ftp:passive-mode on; set ftp:prefer-epsv no; "
        "set xfer:clobber on; " +
        (direction == Direction::Upload ? "put " + files.source + " -o " + upload
                                        : "get " + files.remoteName + " -o " + download) +
        "; bye";
    return RunTool(server,
                   {"lftp", "-u", server.User() + "," + server.Password(), "-p",
                    std::to_string(server.Port()), "-e", command, "127.0.0.1"},
                   direction == Direction::Upload ? server.Root() + "/" + upload : download, files);
}

// The engine in this process: wall and CPU time of the transfer request alone
// (PASV, RETR or STOR, the data, 226), without the login.
Measure RunEngine(const LoopbackServer& server, Direction direction, Blocks blocks,
                  const Files& files, std::int64_t bytes) {
    Measure m;
    FtpClient ftp;
    ftp.HostName = "127.0.0.1";
    ftp.Port = std::to_string(server.Port());
    ftp.UserName = server.User();
    ftp.PassWord = server.Password();
    ftp.SetPassive(true);
    if (blocks.upload > 0)
        ftp.SetDataBlockSizes(blocks.upload, blocks.download);
    ftp.OnProgress = [](FtpClient*, std::int64_t, bool&) {};
    bench::RequestWaiter waiter(ftp);
    m.note = waiter.Run("login", 15s, [&] { ftp.ConnectAsync(); });
    if (m.note.empty())
        m.note = waiter.Run("TYPE I", 15s, [&] { ftp.TypeBinaryAsync(); });
    if (!m.note.empty())
        return m;

    const std::string download = Target(direction, files, "engine-download.bin");
    const std::string upload = "engine-upload.bin";
    const bool up = direction == Direction::Upload;
    ftp.HostFileName = up ? upload : files.remoteName;
    ftp.LocalFileName = up ? files.source : download;
    const double server0 = server.CpuSeconds();
    const double cpu0 = CpuSeconds(RUSAGE_SELF);
    const Clock::time_point start = Clock::now();
    const std::chrono::milliseconds limit(TransferLimitMs(bytes));
    if (up)
        m.note = waiter.Run("STOR", limit, [&] { ftp.PutAsync(); });
    else
        m.note = waiter.Run("RETR", limit, [&] { ftp.GetAsync(); });
    m.wall = Seconds(Clock::now() - start);
    m.clientCpu = CpuSeconds(RUSAGE_SELF) - cpu0;
    m.serverCpu = server.CpuSeconds() - server0;
    waiter.Run("QUIT", 5s, [&] { ftp.QuitAsync(); });
    if (m.note.empty() && ftp.ByteCount != bytes)
        m.note = "engine counted " + std::to_string(ftp.ByteCount) + " bytes";
    // /dev/null keeps nothing to compare: the byte count above has to do.
    const std::string check =
        download == "/dev/null" && !up
            ? std::string()
            : CheckAndRemove(up ? server.Root() + "/" + upload : download, files.digest);
    if (m.note.empty())
        m.note = check;
    m.ok = m.note.empty();
    return m;
}

// --- the table ---------------------------------------------------------------------------

struct Row {
    std::string client;
    std::string direction;
    std::string blocks;
    Measure measure;
};

// The run with the median wall time; a failed run makes the row fail.
Measure Median(std::vector<Measure> runs) {
    for (const Measure& m : runs)
        if (!m.ok)
            return m;
    std::sort(runs.begin(), runs.end(),
              [](const Measure& a, const Measure& b) { return a.wall < b.wall; });
    return runs[runs.size() / 2];
}

Measure Repeat(int runs, const std::function<Measure()>& once) {
    std::vector<Measure> all;
    for (int i = 0; i < runs; ++i) {
        all.push_back(once());
        if (!all.back().ok)
            break;
    }
    return Median(std::move(all));
}

std::string Fixed(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// A failed case shows no rate: a figure is printed only for a verified
// transfer. Returns the count of failed cases (a skipped one is no failure).
int PrintTable(const std::vector<Row>& rows, std::int64_t bytes, bool withServer) {
    int failed = 0;
    const char* format = "  %-22s %-9s %-14s %9s %7s %7s %7s  %s\n";
    std::printf(format, "client", "direction", "blocks up/down", "MB/s", "cpu s",
                withServer ? "srv cpu" : "", "wall s", "result");
    for (const Row& r : rows) {
        const Measure& m = r.measure;
        const bool timed = m.wall > 0;
        const std::string rate = m.ok ? Fixed(static_cast<double>(bytes) / m.wall / 1e6, 1) : "-";
        const std::string cpu = timed ? Fixed(m.clientCpu, 2) : "-";
        std::string server;
        if (withServer)
            server = timed && m.serverCpu >= 0 ? Fixed(m.serverCpu, 2) : "-";
        const std::string wall = timed ? Fixed(m.wall, 2) : "-";
        const std::string result = m.ok ? "ok" : m.note;
        failed += !m.ok && m.note.rfind("skipped", 0) != 0 ? 1 : 0;
        std::printf(format, r.client.c_str(), r.direction.c_str(), r.blocks.c_str(), rate.c_str(),
                    cpu.c_str(), server.c_str(), wall.c_str(), result.c_str());
    }
    std::fflush(stdout);
    return failed;
}

std::string BlockLabel(int upload, int download) {
    const auto size = [](int n) {
        return n % 1024 == 0 && n >= 16384 ? std::to_string(n / 1024) + "K" : std::to_string(n);
    };
    return size(upload) + "/" + size(download);
}

// A case runs when its name, such as "vsftpd engine upload 64K/64K" or
// "tcp pair 1514/2048", contains the --filter text.
bool Selected(const Options& options, const std::string& name) {
    return name.find(options.filter) != std::string::npos;
}

int RunReference(const Options& options) {
    std::vector<Row> rows;
    const std::pair<int, int> sizes[] = {{ftptransfer::kUploadBlock, ftptransfer::kDownloadBlock},
                                         {65536, 65536},
                                         {1 << 20, 1 << 20}};
    for (const auto& [write, read] : sizes) {
        const std::string label = BlockLabel(write, read);
        if (!Selected(options, "tcp pair " + label))
            continue;
        std::fprintf(stderr, "running: tcp pair %s\n", label.c_str());
        rows.push_back({"tcp pair", "-", label, Repeat(options.runs, [&] {
                            return RunTcpPair(options.bytes, write, read);
                        })});
    }
    if (rows.empty())
        return 0;
    std::printf("\nLoopback TCP limit: two threads, send/recv from memory, no files, no FTP\n");
    return PrintTable(rows, options.bytes, false);
}

enum class Client { Engine, Curl, Lftp };

struct Case {
    std::string name; // what --filter matches
    Client client = Client::Engine;
    Direction direction = Direction::Download;
    Blocks blocks;
    Row row;
};

std::vector<Case> ServerCases(const Options& options, const char* server) {
    // The engine's defaults, and the classic and 64 KiB sizes where they differ.
    std::vector<Blocks> engineBlocks = {{}};
    for (const Blocks other :
         {Blocks{ftptransfer::kUploadBlock, ftptransfer::kDownloadBlock}, Blocks{65536, 65536}})
        if (other.upload != options.engineDefaults.upload ||
            other.download != options.engineDefaults.download)
            engineBlocks.push_back(other);
    for (const int n : options.extraBlocks)
        engineBlocks.push_back({n, n});
    std::vector<Case> cases;
    for (const Direction direction :
         {Direction::DownloadNull, Direction::Download, Direction::Upload}) {
        const std::string dir = DirectionName(direction);
        for (const auto& [client, label] :
             {std::pair{Client::Curl, "curl"}, std::pair{Client::Lftp, "lftp"}})
            cases.push_back({std::string(server) + " " + label + " " + dir,
                             client,
                             direction,
                             {},
                             {label, dir, std::string(label) + "'s own", {}}});
        for (const Blocks& blocks : engineBlocks) {
            const bool defaults = blocks.upload == 0;
            const std::string label = defaults ? BlockLabel(options.engineDefaults.upload,
                                                            options.engineDefaults.download)
                                               : BlockLabel(blocks.upload, blocks.download);
            cases.push_back({std::string(server) + " engine " + dir + " " + label,
                             Client::Engine,
                             direction,
                             blocks,
                             {defaults ? "FtpClient (defaults)" : "FtpClient", dir, label, {}}});
        }
    }
    std::erase_if(cases, [&](const Case& c) { return !Selected(options, c.name); });
    return cases;
}

int RunServer(ServerKind kind, const Options& options, const Files& source,
              const std::string& runDir) {
    const char* name = kind == ServerKind::Vsftpd     ? "vsftpd"
                       : kind == ServerKind::PureFtpd ? "pure-ftpd"
                                                      : "pyftpdlib";
    std::vector<Case> cases = ServerCases(options, name);
    if (cases.empty())
        return 0;
    const std::string root = runDir + "/root";
    std::error_code ec;
    fs::create_directories(root, ec);
    Files files = source;
    files.scratch = runDir;
    // A hard link: the server serves the very bytes that are compared with.
    fs::create_hard_link(source.source, root + "/" + files.remoteName, ec);
    if (ec) {
        std::printf("\n%s: skipped, cannot link the source into its root: %s\n", name,
                    ec.message().c_str());
        return 0;
    }
    LoopbackServer server(kind, runDir, root);
    std::string whyNot;
    std::fprintf(stderr, "starting %s\n", name);
    if (!server.Start(&whyNot)) {
        std::printf("\n%s: skipped: %s\n", name, whyNot.c_str());
        return 0;
    }
    const auto missing = [](Client client) -> const char* {
        const char* tool = client == Client::Curl ? "curl" : "lftp";
        if (client == Client::Engine || !QStandardPaths::findExecutable(tool).isEmpty())
            return nullptr;
        return client == Client::Curl ? "skipped: curl not found (Debian package curl)"
                                      : "skipped: lftp not found (Debian package lftp)";
    };
    // Interleaved: every case once per round, so a slow spell of the machine
    // falls on all of them alike.
    std::vector<std::vector<Measure>> measures(cases.size());
    for (int run = 1; run <= options.runs; ++run) {
        for (std::size_t i = 0; i < cases.size(); ++i) {
            const Case& c = cases[i];
            if (missing(c.client) != nullptr || (!measures[i].empty() && !measures[i].back().ok))
                continue;
            std::fprintf(stderr, "running: %s (round %d)\n", c.name.c_str(), run);
            switch (c.client) {
            case Client::Curl:
                measures[i].push_back(RunCurl(server, c.direction, files, options.bytes));
                break;
            case Client::Lftp:
                measures[i].push_back(RunLftp(server, c.direction, files));
                break;
            case Client::Engine:
                measures[i].push_back(
                    RunEngine(server, c.direction, c.blocks, files, options.bytes));
                break;
            }
        }
    }
    std::vector<Row> rows;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        Row row = cases[i].row;
        if (const char* why = missing(cases[i].client))
            row.measure.note = why;
        else
            row.measure = Median(measures[i]);
        rows.push_back(row);
    }
    std::printf("\n%s\n  127.0.0.1:%u, passive mode, %lld MiB, median of %d interleaved round(s)\n",
                server.Description().c_str(), server.Port(),
                static_cast<long long>(options.bytes / kMiB), options.runs);
    return PrintTable(rows, options.bytes, true);
}

// Other work on the machine shows in every figure; the header says how much there was.
std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five;
    in >> one >> five;
    return one.empty() ? "unknown" : one + " " + five;
}

std::string CurlVersion() {
    QProcess curl;
    curl.start("curl", {"--version"});
    if (!curl.waitForFinished(5000) || curl.exitCode() != 0)
        return "curl: not found (Debian package curl); its cases are skipped";
    const QList<QByteArray> words = curl.readLine().trimmed().split(' '); // "curl 7.88.1 (...) ..."
    return "client for comparison: " + words.mid(0, 2).join(' ').toStdString();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::optional<Options> options = ParseOptions(argc, argv);
    if (!options) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    {
        const FtpClient probe;
        options->engineDefaults = {probe.UploadBlockSize(), probe.DownloadBlockSize()};
    }
    QTemporaryDir temp(QDir::tempPath() + "/corvane-transfer-bench-XXXXXX");
    if (!temp.isValid()) {
        std::fprintf(stderr, "transfer_bench: cannot create a temporary folder\n");
        return 1;
    }
    const std::string dir = temp.path().toStdString();
    Files source;
    source.source = dir + "/source.bin";
    source.remoteName = "source.bin";
    std::fprintf(stderr, "writing %lld MiB to %s\n", static_cast<long long>(options->bytes / kMiB),
                 source.source.c_str());
    const std::optional<Digest> digest = WriteSourceFile(source.source, options->bytes);
    if (!digest) {
        std::fprintf(stderr, "transfer_bench: cannot write %s\n", source.source.c_str());
        return 1;
    }
    source.digest = *digest;

    std::printf("Transfers of %lld MiB over 127.0.0.1 on %u cores (load average %s); files in %s\n"
                "%s\n"
                "MB/s = 10^6 bytes/s over the wall time; cpu s = user+sys seconds of the client\n"
                "(the engine: this process during the request, login excluded; curl: its whole\n"
                "process); srv cpu = the same for the server's processes. Every transferred\n"
                "file is compared (size and checksum) with the source.\n",
                static_cast<long long>(options->bytes / kMiB), std::thread::hardware_concurrency(),
                LoadAverage().c_str(), QDir::tempPath().toStdString().c_str(),
                CurlVersion().c_str());
    const int failed = RunReference(*options) +
                       RunServer(ServerKind::Vsftpd, *options, source, dir + "/vsftpd") +
                       RunServer(ServerKind::Pyftpdlib, *options, source, dir + "/pyftpdlib") +
                       RunServer(ServerKind::PureFtpd, *options, source, dir + "/pure-ftpd");
    // A transfer that lost or changed data is a fault, whatever the figures.
    if (failed > 0)
        std::printf("\n%d case(s) FAILED\n", failed);
    return failed > 0 ? 1 : 0;
}
