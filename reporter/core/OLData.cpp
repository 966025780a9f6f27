#include "OLData.h"

#include "OErrors.h"
#include "OFiles.h"
#include "OModules.h"
#include "OOptions.h"
#include "OStream.h"
#include "OZLib.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace reporter {

namespace {

constexpr char TrailerTag[8] = {'O', 'L', 'D', 'A', 'T', 'A', 0, 0};

void Scramble(std::vector<uint8_t>& bytes) {
    for (uint8_t& b : bytes)
        b ^= OptionsStringScramble;
}

bool ReadAt(int fd, void* buffer, size_t size, off_t offset) {
    auto* p = static_cast<uint8_t*>(buffer);
    while (size > 0) {
        const ssize_t n = ::pread(fd, p, size, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= size_t(n);
        offset += n;
    }
    return true;
}

} // namespace

std::vector<uint8_t> BuildOLData(const TOstrelModuleOptions& options, uint16_t version) {
    return BuildOLData(options, version, 0, {});
}

std::vector<uint8_t> BuildOLData(const TOstrelModuleOptions& options, uint16_t version,
                                 int64_t compilationTime, const std::vector<uint8_t>& debugInfo) {
    // The header's version tells the reader how to read the stream: only a version whose stream is the
    // one written here may stand there.
    if (version < OldestWritableOLDataVersion || version > CurrentOptionsDataVersion)
        throw EConvertError("Stored options of data version " + std::to_string(version) +
                            " cannot be written");
    if (!debugInfo.empty() && version < DebugNamesJoinedVersion)
        throw EConvertError("Debug information of data version " + std::to_string(version) +
                            " cannot be written");
    TOstrelStream optionsStream;
    options.SaveToStream(optionsStream);
    std::vector<uint8_t> block = ZCompressBuffer(optionsStream.Bytes().data(), optionsStream.Size());
    Scramble(block);

    TOstrelStream out;
    out.WriteU32(OLDataMagic);
    out.WriteU16(version);
    out.WriteU32(uint32_t(block.size()));
    out.Write(block.data(), block.size());
    if (compilationTime != 0 || !debugInfo.empty()) {
        out.WriteU32(uint32_t(uint64_t(compilationTime)));
        out.WriteU32(uint32_t(uint64_t(compilationTime) >> 32));
        const std::vector<uint8_t> packed =
            debugInfo.empty() ? std::vector<uint8_t>() : ZCompressBuffer(debugInfo.data(), debugInfo.size());
        out.WriteU32(uint32_t(packed.size()));
        out.Write(packed.data(), packed.size());
    }
    const uint64_t size = out.Size() + OLDataTrailerSize;
    out.WriteU32(uint32_t(size));
    out.WriteU32(uint32_t(size >> 32));
    out.WriteU32(OLDataMagic);
    out.Write(TrailerTag, sizeof TrailerTag);
    return out.Bytes();
}

TOLData ParseOLData(const std::vector<uint8_t>& container) {
    TOstrelStream in(container);
    if (in.ReadU32() != OLDataMagic)
        throw EReadError("The embedded data has a wrong magic number");
    TOLData data;
    data.Version = in.ReadU16();
    const uint32_t blockSize = in.ReadU32();
    if (blockSize > in.Remaining())
        throw EReadError("Stream read error");
    std::vector<uint8_t> block(blockSize);
    in.Read(block.data(), blockSize);
    Scramble(block);
    data.Options = ZDecompressBuffer(block.data(), block.size(), OLDataLimit);
    // The optional part: present when more than a trailer follows the options.
    const bool trailer = container.size() >= OLDataTrailerSize &&
                         std::memcmp(container.data() + container.size() - 8, TrailerTag, 8) == 0;
    const size_t trailerSize = trailer ? OLDataTrailerSize : 0;
    if (in.Remaining() <= trailerSize)
        return data;
    const uint32_t low = in.ReadU32();
    data.CompilationTime = int64_t(low | (uint64_t(in.ReadU32()) << 32));
    const uint32_t debugSize = in.ReadU32();
    if (debugSize > in.Remaining())
        throw EReadError("Stream read error");
    std::vector<uint8_t> packed(debugSize);
    in.Read(packed.data(), debugSize);
    if (debugSize > 0)
        data.DebugInfo = ZDecompressBuffer(packed.data(), packed.size(), OLDataLimit);
    return data;
}

std::optional<std::vector<uint8_t>> FindOLData(const std::string& fileName) {
    const int fd = OpenRegularFile(ModuleFileToOpen(fileName), O_RDONLY);
    if (fd < 0)
        return std::nullopt;
    std::optional<std::vector<uint8_t>> result;
    struct stat info;
    uint8_t trailer[OLDataTrailerSize];
    if (::fstat(fd, &info) == 0 && uint64_t(info.st_size) >= OLDataTrailerSize &&
        ReadAt(fd, trailer, sizeof trailer, info.st_size - off_t(sizeof trailer))) {
        TOstrelStream t(trailer, sizeof trailer);
        const uint64_t size = t.ReadU32() | (uint64_t(t.ReadU32()) << 32);
        const uint32_t magic = t.ReadU32();
        if (magic == OLDataMagic && std::memcmp(trailer + 12, TrailerTag, 8) == 0 &&
            size >= OLDataTrailerSize && size <= uint64_t(info.st_size) && size <= OLDataLimit) {
            std::vector<uint8_t> bytes(size);
            if (ReadAt(fd, bytes.data(), bytes.size(), info.st_size - off_t(size)))
                result = std::move(bytes);
        }
    }
    ::close(fd);
    return result;
}

void AppendOLData(const std::string& fileName, const std::vector<uint8_t>& container) {
    const int fd = OpenRegularFile(fileName, O_WRONLY | O_APPEND);
    if (fd < 0)
        throw EFileError("Cannot open \"" + fileName + "\": " + std::strerror(errno));
    size_t written = 0;
    while (written < container.size()) {
        const ssize_t n = ::write(fd, container.data() + written, container.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            throw EFileError("Cannot write \"" + fileName + "\": " + std::strerror(error));
        }
        written += size_t(n);
    }
    if (::close(fd) != 0)
        throw EFileError("Cannot write \"" + fileName + "\": " + std::strerror(errno));
}

bool RemoveOLData(const std::string& fileName) {
    const std::optional<std::vector<uint8_t>> container = FindOLData(fileName);
    if (!container)
        return false;
    struct stat info;
    if (::stat(fileName.c_str(), &info) != 0 ||
        ::truncate(fileName.c_str(), info.st_size - off_t(container->size())) != 0)
        throw EFileError("Cannot shorten \"" + fileName + "\": " + std::strerror(errno));
    return true;
}

void LoadOptionsFromOLData(const TOLData& data, TOstrelModuleOptions& options) {
    TOstrelStream stream(data.Options);
    const int saved = OptionsDataVersion;
    OptionsDataVersion = data.Version;
    try {
        options.LoadFromStream(stream);
    } catch (...) {
        OptionsDataVersion = saved;
        throw;
    }
    OptionsDataVersion = saved;
}

} // namespace reporter
