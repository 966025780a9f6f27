// Measures MD5 and Base64 on 64 MiB and the tar.gz of 20 MiB of mixed data, each against the system's
// tool doing the same work on the same file (md5sum, base64 -w0, tar -czf with GZIP=-9). Both sides read
// their input from the (cached) file. Goal: the reporter's throughput at least 0.8 of the tool's.
#include "OBase64.h"
#include "OFiles.h"
#include "OMD5.h"
#include "OTGZWriter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

using namespace reporter;
using Clock = std::chrono::steady_clock;

namespace {

template <typename F> double BestSeconds(int runs, F&& work) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

double ToolSeconds(const std::string& command) {
    return BestSeconds(3, [&] {
        if (std::system(command.c_str()) != 0)
            std::fprintf(stderr, "failed: %s\n", command.c_str());
    });
}

std::vector<uint8_t> Random(size_t size, uint32_t seed) {
    std::mt19937_64 generator(seed);
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i + 8 <= size; i += 8) {
        const uint64_t v = generator();
        std::memcpy(&data[i], &v, 8);
    }
    return data;
}

std::vector<uint8_t> Text(size_t size, uint32_t seed) {
    static const char* const words[] = {"exception ", "report ", "module ", "address ", "0x7f3a21c0 ",
                                        "thread ",    "stack ",  "line ",   "\r\n",     "call "};
    std::mt19937 generator(seed);
    std::vector<uint8_t> data;
    while (data.size() < size) {
        const char* w = words[generator() % 10];
        data.insert(data.end(), w, w + std::strlen(w));
    }
    data.resize(size);
    return data;
}

// A multiple of 3, so that the Base64 of each chunk joins the next without padding.
constexpr size_t ChunkSize = 3 * 64 * 1024;

template <typename F> void ReadInChunks(const std::string& path, F&& consume) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::vector<uint8_t> buffer(ChunkSize);
    for (;;) {
        size_t filled = 0;
        ssize_t n = 0;
        while (filled < ChunkSize && (n = ::read(fd, buffer.data() + filled, ChunkSize - filled)) > 0)
            filled += size_t(n);
        if (filled > 0)
            consume(buffer.data(), filled);
        if (filled < ChunkSize)
            break;
    }
    ::close(fd);
}

} // namespace

int main() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vd_bench_reporter-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path dir = pattern;
    const std::string big = (dir / "big.bin").string();
    {
        const std::vector<uint8_t> data = Random(64u << 20, 1);
        WriteWholeFile(big, data.data(), data.size());
    }

    // Both sides stream the file through a buffer, as the tools do.
    const double md5Ours = BestSeconds(3, [&] {
        TMD5Context context;
        ReadInChunks(big, [&](const uint8_t* data, size_t size) { context.Update(data, size); });
        volatile uint8_t sink = context.Final()[0];
        (void)sink;
    });
    const double md5Tool = ToolSeconds("md5sum " + big + " > /dev/null");
    std::printf("MD5 64 MiB:    reporter %.3f s (%.0f MB/s), md5sum %.3f s; throughput ratio %.2f\n", md5Ours,
                64 * 1.048576 / md5Ours, md5Tool, md5Tool / md5Ours);

    const double b64Ours = BestSeconds(3, [&] {
        const int out = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        std::vector<char> text(Base64EncodedLength(ChunkSize));
        ReadInChunks(big, [&](const uint8_t* data, size_t size) {
            Base64Encode(data, size, text.data());
            if (::write(out, text.data(), Base64EncodedLength(size)) < 0)
                std::perror("write");
        });
        ::close(out);
    });
    const double b64Tool = ToolSeconds("base64 -w0 " + big + " > /dev/null");
    std::printf("Base64 64 MiB: reporter %.3f s (%.0f MB/s), base64 %.3f s; throughput ratio %.2f\n", b64Ours,
                64 * 1.048576 / b64Ours, b64Tool, b64Tool / b64Ours);

    // 20 MiB of mixed data: report-like text, random bytes and a zero-filled dump.
    const std::filesystem::path mixed = dir / "mixed";
    std::filesystem::create_directories(mixed);
    std::vector<std::string> files;
    const auto add = [&](const std::string& name, const std::vector<uint8_t>& data) {
        const std::string path = (mixed / name).string();
        WriteWholeFile(path, data.data(), data.size());
        files.push_back(name);
    };
    add("report.olf", Text(8u << 20, 2));
    add("screenshot.png", Random(6u << 20, 3));
    add("dump.bin", std::vector<uint8_t>(4u << 20, 0));
    add("log.xml", Text(2u << 20, 4));

    const std::string ours = (dir / "ours.tgz").string();
    const std::string tool = (dir / "tool.tgz").string();
    const double tgzOurs = BestSeconds(2, [&] {
        std::filesystem::remove(ours); // the writer refuses to replace an archive
        TTGZWriter writer(ours);
        for (const std::string& f : files)
            writer.AddFile((mixed / f).string());
        writer.Finish();
    });
    std::string list;
    for (const std::string& f : files)
        list += " " + f;
    const double tgzTool =
        ToolSeconds("cd " + mixed.string() + " && GZIP=-9 tar -czf " + tool + list + " 2>/dev/null");
    const double sizeOurs = double(std::filesystem::file_size(ours));
    const double sizeTool = double(std::filesystem::file_size(tool));
    std::printf(
        "tar.gz 20 MiB: reporter %.3f s, tar -czf (gzip -9) %.3f s; time ratio %.2f; size %.0f vs %.0f "
        "bytes, size ratio %.4f\n",
        tgzOurs, tgzTool, tgzOurs / tgzTool, sizeOurs, sizeTool, sizeOurs / sizeTool);

    std::filesystem::remove_all(dir);
    return 0;
}
