#include "convdef/SafeFile.h"

#include "common/FileWrite.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

bool WriteFileAtomically(const std::string& path, std::string_view data)
{
    if (path.empty()) {
        return false;
    }
    try {
        const std::string target = filewrite::resolveLinks(path);
        filewrite::checkWritable(target);
        filewrite::replaceFile(target, [&](const filewrite::Put& put) { put(data.data(), data.size()); });
    } catch (const filewrite::Failure&) {
        return false;
    }
    return true;
}

int OpenRegularFile(const std::string& path)
{
    // Opened without waiting: a FIFO under the file's name must not hang the program.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return -1;
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool ReadWholeFile(const std::string& path, std::string& data, bool* exists)
{
    data.clear();
    if (exists) {
        *exists = ::access(path.c_str(), F_OK) == 0;
    }
    const int fd = OpenRegularFile(path);
    if (fd < 0) {
        return false;
    }
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            ::close(fd);
            data.clear();
            return false;
        }
        if (n == 0) {
            break;
        }
        data.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}
