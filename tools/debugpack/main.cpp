// debugpack: packs a program's or library's routines and line tables into the reporter's debug data and
// appends them, with the default reporter options, as the file's "OLDATA" container. Run by the build
// after linking; a container left by an earlier run is replaced.
#include "DwarfTable.h"

#include "OErrors.h"
#include "OLData.h"
#include "OOptions.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <string>

namespace {

void Usage() {
    std::fprintf(stderr, "usage: debugpack [--password TEXT] [--time SECONDS] [--verbose] FILE\n"
                         "  --password  protect the names with this password\n"
                         "  --time      compilation time (default: $SOURCE_DATE_EPOCH, else now)\n");
}

bool ParseTime(const char* text, int64_t& value) {
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < 0)
        return false;
    value = v;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::string password;
    std::string fileName;
    int64_t compilationTime = 0;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--password" && i + 1 < argc) {
            password = argv[++i];
        } else if (arg == "--time" && i + 1 < argc) {
            if (!ParseTime(argv[++i], compilationTime)) {
                std::fprintf(stderr, "debugpack: bad time \"%s\"\n", argv[i]);
                return 2;
            }
        } else if (arg == "--verbose") {
            verbose = true;
        } else if (!arg.empty() && arg[0] != '-' && fileName.empty()) {
            fileName = arg;
        } else {
            Usage();
            return 2;
        }
    }
    if (fileName.empty()) {
        Usage();
        return 2;
    }
    if (compilationTime == 0) {
        const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
        if (epoch == nullptr || !ParseTime(epoch, compilationTime))
            compilationTime = int64_t(std::time(nullptr));
    }
    try {
        reporter::RemoveOLData(fileName);
        debugpack::TDwarfStats stats;
        const reporter::TDebugTable table = debugpack::ReadDebugTable(fileName, &stats);
        const std::vector<uint8_t> debugInfo = reporter::WriteDebugData(table, password);
        const reporter::TOstrelModuleOptions options(fileName, false);
        reporter::AppendOLData(fileName,
                               reporter::BuildOLData(options, uint16_t(reporter::CurrentOptionsDataVersion),
                                                     compilationTime, debugInfo));
        if (verbose)
            std::printf("%s: %zu compile units, %zu routines (%zu from symbols), %zu units, %zu bytes\n",
                        fileName.c_str(), stats.CompileUnits, stats.Routines, stats.SymbolRoutines,
                        table.Units.size(), debugInfo.size());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "debugpack: %s: %s\n", fileName.c_str(), e.what());
        return 1;
    }
    return 0;
}
