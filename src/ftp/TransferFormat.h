#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Pure pieces of the data connection: the PASV and PORT texts and the
// statistics line.
namespace ftptransfer {

// Block sizes of the data connection (the reply buffer's is in ReplyReader.h).
// An upload hands the socket one block and reads the next only when the
// socket has passed it on, so at most one block is ever queued.
//
// The classic sizes: one Ethernet frame up, 2 KiB reads down. They cost a
// system call and an event-loop round per block, which held a loopback
// transfer to half of curl's speed; 64 KiB blocks match or beat curl with a
// third of the CPU, so they are the default.
//
// A download reads up to 1 MiB at a time: a read takes whatever has arrived,
// so larger reads only mean fewer system calls and wake-ups. Against 64 KiB it
// was faster into a new file on vsftpd, pyftpdlib and pure-ftpd alike, and to
// /dev/null on the two that send with sendfile (level on pure-ftpd). Uploads
// stay at 64 KiB, which did as well or better there.
inline constexpr int kUploadBlock = 1514;
inline constexpr int kDownloadBlock = 2048;
inline constexpr int kDataBlock = 65536;
inline constexpr int kDownloadDataBlock = 1024 * 1024;

// The data port of a 227 reply. The four address numbers are only checked: the
// data connection goes where the control connection goes. Nothing unless all
// six numbers are 0 to 255, the ")" follows them and the port is not 0.
std::optional<std::uint16_t> ParsePassivePort(std::string_view reply);

// The data port of a 229 reply, "229 Entering Extended Passive Mode (|||6446|)":
// four fields between one delimiter, the port in the last. An address the
// server names there is ignored, as for PASV. Nothing for another form or a
// port of 0 or over 65535.
std::optional<std::uint16_t> ParseExtendedPassivePort(std::string_view reply);

// "EPRT |1|127.0.0.1|50000|", or "|2|" and the address for IPv6.
std::string ExtendedPortCommand(std::string_view localAddress, std::uint16_t port);

// The byte count a 150 reply announces, as in "150 Opening BINARY mode data
// connection for f (1200000 bytes)."; -1 when it names none.
std::int64_t AnnouncedSize(std::string_view reply);

// "PORT h1,h2,h3,h4,p1,p2" for the given dotted local address.
std::string PortCommand(std::string_view localAddress, std::uint16_t port);

// "YYYYMMDDHHMMSS" in UTC, as MDTM, MFMT and the MLSD "modify" fact write it,
// optionally with fractions of a second: seconds since 1970. Nothing for a
// date or time that does not exist.
std::optional<std::int64_t> ParseFactTime(std::string_view text);
std::string FactTime(std::int64_t utcSeconds);

// "<n> bytes received/sent in <s> seconds (<rate> Bytes/sec)"; the rate is
// left out when no time passed.
std::string StatisticsLine(std::int64_t bytes, std::int64_t milliseconds);

} // namespace ftptransfer
