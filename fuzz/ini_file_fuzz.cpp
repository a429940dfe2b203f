// An INI file of any bytes: read, values written and the file updated; what
// was written reads back.
#include "prefs/IniFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace {

std::string Path() {
    static const std::string path = "/tmp/corvane-ini-fuzz-" + std::to_string(::getpid()) + ".ini";
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = Path();
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    {
        IniFile ini(path);
        ini.ReadString("FTP", "Server", "");
        ini.ReadInteger("Options", "TimeOut", 15);
        ini.ReadBool("Options", "Passive", false);
        ini.WriteString("Options", "Written", " value with blanks ");
        ini.WriteInteger("Fuzz", "Count", static_cast<int>(size));
        if (!ini.UpdateFile())
            return 0;
    }
    const IniFile again(path);
    if (again.ReadString("Options", "Written", "") != " value with blanks " ||
        again.ReadInteger("Fuzz", "Count", -1) != static_cast<int>(size))
        std::abort();
    ::unlink(path.c_str());
    return 0;
}
