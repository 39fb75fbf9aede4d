#include "files/RegularFileReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "files/posix/Descriptor.h"

namespace zrk {

RegularFileReader::Open RegularFileReader::open(const std::string& path, Options options) {
    close();
    struct stat st {};
    if (options.lookFirst) {
        if (::stat(path.c_str(), &st) != 0)
            return Open::Failed;
        if (!S_ISREG(st.st_mode)) {
            errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
            return Open::NotRegular;
        }
    }
    // O_NONBLOCK: the open of a FIFO swapped in since the look does not wait for a writer; a
    // regular file ignores it.
    const int flags =
        O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (options.followLinks ? 0 : O_NOFOLLOW);
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0)
        return Open::Failed;
    st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return Open::NotRegular;
    }
    m_Handle = fd;
    m_Size = static_cast<std::uint64_t>(st.st_size);
    return Open::Opened;
}

long RegularFileReader::read(void* buffer, std::size_t capacity) {
    if (m_Handle == kNoFile) {
        errno = EBADF;
        return -1;
    }
    for (;;) {
        const ssize_t got = ::read(descriptorOf(m_Handle), buffer, capacity);
        if (got < 0 && errno == EINTR)
            continue;
        return static_cast<long>(got);
    }
}

void RegularFileReader::close() {
    if (m_Handle != kNoFile)
        ::close(descriptorOf(m_Handle));
    m_Handle = kNoFile;
    m_Size = 0;
}

}  // namespace zrk
