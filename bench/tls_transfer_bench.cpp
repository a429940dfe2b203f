// Whole-file transfers over TLS (AUTH TLS, PROT P, passive) against Debian's
// vsftpd on 127.0.0.1 with a self-signed certificate, the engine beside
// `curl --ssl-reqd -k` in the same run: MB/s and the client's CPU seconds of
// each download and upload, every file compared with its source. Prints
// figures; it never judges them.
//
//   tls_transfer_bench [--size-mib N] [--runs N]
//
// CORVANE_BENCH_SIZE_MIB and CORVANE_BENCH_RUNS set the defaults (1024 MiB, 1 run).
#include "ftp/FtpClient.h"
#include "support/RealFtpServer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using testsupport::RealFtpServer;
constexpr std::int64_t kMiB = 1024 * 1024;

double CpuSeconds(int who) {
    rusage usage{};
    ::getrusage(who, &usage);
    const auto seconds = [](const timeval& tv) {
        return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::int64_t Positive(const char* text, std::int64_t fallback) {
    const long value = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
    return value > 0 ? value : fallback;
}

// Pseudo-random bytes: nothing on the way may compress them.
bool WriteSource(const std::string& path, std::int64_t bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<std::uint64_t> words(kMiB / sizeof(std::uint64_t));
    std::uint64_t state = 0x9E3779B97F4A7C15ULL;
    for (std::int64_t left = bytes; out && left > 0; left -= kMiB) {
        for (std::uint64_t& w : words) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            w = state;
        }
        out.write(reinterpret_cast<const char*>(words.data()),
                  static_cast<std::streamsize>(std::min(left, kMiB)));
    }
    return static_cast<bool>(out);
}

bool SameFile(const std::string& a, const std::string& b) {
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    std::vector<char> p(kMiB), q(kMiB);
    while (x && y) {
        x.read(p.data(), kMiB);
        y.read(q.data(), kMiB);
        if (x.gcount() != y.gcount() || !std::equal(p.begin(), p.begin() + x.gcount(), q.begin()))
            return false;
    }
    return x.eof() && y.eof();
}

struct Figure {
    bool ok = false;
    std::string note;
    double wall = 0;
    double cpu = 0;
};

// The engine logged in over TLS, the certificate trusted once.
class Engine {
public:
    explicit Engine(const RealFtpServer& server) {
        ftp_.HostName = "127.0.0.1";
        ftp_.Port = server.portText();
        ftp_.UserName = server.user();
        ftp_.PassWord = server.password();
        ftp_.Security = FtpSecurity::Explicit;
        ftp_.SetPassive(true);
        ftp_.RequestTimeout = 60;
        ftp_.OnCertificateQuestion = [](FtpClient* ftp, const tls::CertificateInfo&, bool,
                                        const std::string&) { ftp->AnswerCertificate(true); };
        ftp_.OnRequestDone = [this](FtpClient*, FtpRequest, std::uint16_t error) {
            done_ = true;
            error_ = error;
        };
    }
    bool Run(void (FtpClient::*request)()) {
        done_ = false;
        (ftp_.*request)();
        while (!done_)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return error_ == 0;
    }
    Figure Transfer(void (FtpClient::*request)(), const std::string& remote,
                    const std::string& local) {
        ftp_.HostFileName = remote;
        ftp_.LocalFileName = local;
        const double cpu0 = CpuSeconds(RUSAGE_SELF);
        const Clock::time_point start = Clock::now();
        Figure f;
        f.ok = Run(request);
        f.wall = std::chrono::duration<double>(Clock::now() - start).count();
        f.cpu = CpuSeconds(RUSAGE_SELF) - cpu0;
        f.note = f.ok ? "" : ftp_.ErrorMessage();
        return f;
    }
    FtpClient& Ftp() { return ftp_; }

private:
    FtpClient ftp_;
    bool done_ = false;
    std::uint16_t error_ = 0;
};

Figure Curl(const QStringList& arguments) {
    QProcess curl;
    curl.setProcessChannelMode(QProcess::MergedChannels);
    const double cpu0 = CpuSeconds(RUSAGE_CHILDREN);
    const Clock::time_point start = Clock::now();
    curl.start("curl", QStringList{"--ssl-reqd", "-k", "-s", "-S"} + arguments);
    Figure f;
    f.ok = curl.waitForFinished(-1) && curl.exitStatus() == QProcess::NormalExit &&
           curl.exitCode() == 0;
    f.wall = std::chrono::duration<double>(Clock::now() - start).count();
    f.cpu = CpuSeconds(RUSAGE_CHILDREN) - cpu0;
    f.note = f.ok ? "" : curl.readAll().trimmed().toStdString();
    return f;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::int64_t mib = Positive(std::getenv("CORVANE_BENCH_SIZE_MIB"), 1024);
    std::int64_t runs = Positive(std::getenv("CORVANE_BENCH_RUNS"), 1);
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--size-mib")
            mib = Positive(argv[i + 1], mib);
        else if (arg == "--runs")
            runs = Positive(argv[i + 1], runs);
    }
    const std::int64_t bytes = mib * kMiB;

    RealFtpServer server(RealFtpServer::Kind::Vsftpd, RealFtpServer::Tls::Explicit);
    std::string whyNot;
    if (!server.start(&whyNot)) {
        std::fprintf(stderr, "tls_transfer_bench: %s\n", whyNot.c_str());
        return 2;
    }
    QTemporaryDir local;
    const std::string source = server.root() + "/source.bin";
    if (!local.isValid() || !WriteSource(source, bytes)) {
        std::fprintf(stderr, "tls_transfer_bench: cannot write the %lld MiB source file\n",
                     static_cast<long long>(mib));
        return 2;
    }
    Engine engine(server);
    if (!engine.Run(&FtpClient::ConnectAsync) || !engine.Run(&FtpClient::TypeBinaryAsync)) {
        std::fprintf(stderr, "tls_transfer_bench: login failed: %s\n",
                     engine.Ftp().ErrorMessage().c_str());
        return 2;
    }
    const std::string url = "ftp://" + std::string(server.user()) + ":" + server.password() +
                            "@127.0.0.1:" + server.portText() + "/";
    const std::string downloaded = local.filePath("down.bin").toStdString();
    const std::string uploaded = server.root() + "/up.bin";

    struct Case {
        const char* name;
        std::function<Figure()> run;
        std::string result; // compared with the source, then removed
    };
    const std::vector<Case> cases = {
        {"engine download",
         [&] { return engine.Transfer(&FtpClient::GetAsync, "source.bin", downloaded); },
         downloaded},
        {"curl download",
         [&] {
             return Curl({"-o", QString::fromStdString(downloaded),
                          QString::fromStdString(url + "source.bin")});
         },
         downloaded},
        {"engine upload", [&] { return engine.Transfer(&FtpClient::PutAsync, "up.bin", source); },
         uploaded},
        {"curl upload",
         [&] {
             return Curl(
                 {"-T", QString::fromStdString(source), QString::fromStdString(url + "up.bin")});
         },
         uploaded},
    };
    std::printf("TLS transfers of %lld MiB against vsftpd (explicit TLS, PROT P, passive) on "
                "127.0.0.1, median of %lld run(s)\n",
                static_cast<long long>(mib), static_cast<long long>(runs));
    std::printf("%-16s %10s %14s  %s\n", "case", "MB/s", "client CPU s", "result");
    for (const Case& c : cases) {
        std::vector<Figure> figures;
        std::string note;
        for (std::int64_t r = 0; r < runs; ++r) {
            Figure f = c.run();
            if (f.ok && !SameFile(source, c.result)) {
                f.ok = false;
                f.note = "the file differs from its source";
            }
            std::filesystem::remove(c.result);
            if (!f.ok)
                note = f.note;
            else
                figures.push_back(f);
        }
        if (figures.empty()) {
            std::printf("%-16s %10s %14s  failed: %s\n", c.name, "-", "-", note.c_str());
            continue;
        }
        std::sort(figures.begin(), figures.end(),
                  [](const Figure& a, const Figure& b) { return a.wall < b.wall; });
        const Figure& median = figures[figures.size() / 2];
        std::printf("%-16s %10.1f %14.2f  %s\n", c.name,
                    static_cast<double>(bytes) / 1e6 / median.wall, median.cpu,
                    note.empty() ? "identical" : ("some runs failed: " + note).c_str());
    }
    engine.Run(&FtpClient::QuitAsync);
    return 0;
}
