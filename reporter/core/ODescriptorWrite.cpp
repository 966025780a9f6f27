#include "ODescriptorWrite.h"

#include <cerrno>
#include <unistd.h>

namespace reporter {

bool WriteWhole(int descriptor, std::string_view text, void (*afterPiece)()) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(descriptor, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
        if (afterPiece != nullptr)
            afterPiece();
    }
    return true;
}

} // namespace reporter
