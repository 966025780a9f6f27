#include "FuzzSupport.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace fuzz {

std::uint8_t TInput::Byte() {
    return Empty() ? 0 : m_data[m_position++];
}

std::uint16_t TInput::Word() {
    const std::uint16_t high = Byte();
    return std::uint16_t(high << 8 | Byte());
}

std::span<const std::uint8_t> TInput::Take(std::size_t count) {
    const std::size_t n = std::min(count, Remaining());
    const std::span<const std::uint8_t> piece(m_data + m_position, n);
    m_position += n;
    return piece;
}

std::string_view TInput::TakeUntil(std::uint8_t separator) {
    const std::size_t start = m_position;
    while (m_position < m_size && m_data[m_position] != separator)
        ++m_position;
    const std::string_view piece(reinterpret_cast<const char*>(m_data + start), m_position - start);
    if (m_position < m_size)
        ++m_position;
    return piece;
}

void Fail(std::string_view what) {
    std::fprintf(stderr, "fuzz check failed: %.*s\n", int(what.size()), what.data());
    std::abort();
}

namespace {

// The folder goes with the process (the files of the last input with it).
struct TPrivateFolder {
    std::string Path;
    TPrivateFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/vd-fuzz-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (!mkdtemp(name.data()))
            Fail("mkdtemp failed");
        Path = name.data();
    }
    ~TPrivateFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(Path, ignored);
    }
    TPrivateFolder(const TPrivateFolder&) = delete;
    TPrivateFolder& operator=(const TPrivateFolder&) = delete;
};

} // namespace

const std::string& PrivateFolder() {
    static const TPrivateFolder folder;
    return folder.Path;
}

std::string WriteFile(const std::string& name, std::span<const std::uint8_t> bytes) {
    const std::string path = PrivateFolder() + "/" + name;
    if (unlink(path.c_str()) != 0 && errno != ENOENT)
        Fail("cannot remove the previous input file");
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        Fail("cannot create the input file");
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            Fail("cannot write the input file");
        written += std::size_t(n);
    }
    if (close(fd) != 0)
        Fail("cannot close the input file");
    return path;
}

} // namespace fuzz
