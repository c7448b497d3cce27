#include "platform/drives/copy_chunk.h"

#include <cerrno>
#include <memory>

namespace platform {

char* CopyBuffer(int which) {
    thread_local std::unique_ptr<char[]> buffers[2] = {
        std::make_unique_for_overwrite<char[]>(kLargestChunk),
        std::make_unique_for_overwrite<char[]>(kLargestChunk)};
    return buffers[which].get();
}

int CopyChunk(SystemCalls& system, int in, off_t offset, int out, size_t size, bool* kernel,
              off_t* copied) {
    while (size > 0 && *kernel) {
        const ssize_t n = system.CopyRange(in, offset, out, size);
        if (n == 0)
            return 0;
        if (n > 0) {
            offset += n;
            *copied += n;
            size -= static_cast<size_t>(n);
            continue;
        }
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP &&
            errno != EBADF) {
            return errno;
        }
        *kernel = false;  // not across these file systems: through a buffer
    }
    if (size == 0)
        return 0;
    const ssize_t got = ReadFull(system, in, CopyBuffer(0), size, offset);
    if (got < 0)
        return errno;
    for (ssize_t done = 0; done < got;) {
        const ssize_t put =
            system.Write(out, CopyBuffer(0) + done, static_cast<size_t>(got - done));
        if (put < 0)
            return errno;
        done += put;
    }
    *copied += got;
    return 0;
}

}  // namespace platform
