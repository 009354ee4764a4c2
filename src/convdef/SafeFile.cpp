#include "convdef/SafeFile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

bool writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string folderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A link is replaced by its target's new content, not by a plain file.
std::string resolveLink(const std::string& path)
{
    struct stat st
    {
    };
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
        return path;
    }
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) {
        return path;
    }
    std::string out(real);
    std::free(real);
    return out;
}

} // namespace

bool WriteFileAtomically(const std::string& path, std::string_view data)
{
    if (path.empty()) {
        return false;
    }
    const std::string target = resolveLink(path);
    struct stat st
    {
    };
    const bool existed = ::stat(target.c_str(), &st) == 0;
    if (existed && !S_ISREG(st.st_mode)) {
        return false;
    }
    std::string tmpl = target + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        return false;
    }
    mode_t mode;
    if (existed) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, data) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) {
        ok = std::rename(name.data(), target.c_str()) == 0;
    }
    if (!ok) {
        ::unlink(name.data());
        return false;
    }
    const int dir = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool ReadWholeFile(const std::string& path, std::string& data, bool* exists)
{
    data.clear();
    if (exists) {
        *exists = ::access(path.c_str(), F_OK) == 0;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
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
