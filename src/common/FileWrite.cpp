#include "common/FileWrite.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/falloc.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace filewrite {

namespace {

std::string folderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string prefixFor(const std::string& path)
{
    const auto slash = path.rfind('/');
    return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "." + nameOf(path) + ".kelbo-";
}

[[noreturn]] void fail(const std::string& reason)
{
    throw Failure(reason);
}

std::string systemReason(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return "書き込みが許可されていません";
    case EROFS:
        return "読み取り専用の場所です";
    case ENOSPC:
    case EDQUOT:
        return "ディスクに空きがありません";
    default:
        return std::strerror(error);
    }
}

} // namespace

std::string resolveLinks(const std::string& path)
{
    std::string current = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st
        {
        };
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return current;
        }
        std::vector<char> target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1);
        const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) {
            return current;
        }
        const std::string next(target.data(), static_cast<std::size_t>(n));
        current = next.front() == '/' || current.find('/') == std::string::npos ? next : folderOf(current) + "/" + next;
    }
    fail("シンボリックリンクが多すぎます");
}

void checkWritable(const std::string& path)
{
    struct stat st
    {
    };
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) {
            return;
        }
        fail(systemReason(errno));
    }
    if (!S_ISREG(st.st_mode)) {
        fail("通常のファイルではありません");
    }
    // The mode bits count too: a privileged user may write any file, but one the operator made read-only stays.
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.c_str(), W_OK) != 0) {
        fail("読み取り専用のファイルです");
    }
}

bool canReplace(const std::string& path)
{
    return ::access(folderOf(path).c_str(), W_OK | X_OK) == 0;
}

void syncFolderOf(const std::string& path)
{
    const int dir = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

void removeStaleTemporaries(const std::string& path)
{
    const std::string folder = folderOf(path);
    const std::string prefix = "." + nameOf(path) + ".kelbo-";
    DIR* d = ::opendir(folder.c_str());
    if (!d) {
        return;
    }
    std::vector<std::string> stale;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) {
            continue;
        }
        stale.push_back(folder + "/" + name);
    }
    ::closedir(d);
    for (const std::string& file : stale) {
        const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        struct stat st
        {
        };
        // A write in progress holds its temporary file locked; only an unlocked regular file of ours goes.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            ::unlink(file.c_str());
        }
        ::close(fd);
    }
}

void replaceFile(const std::string& path, const std::function<void(const Put&)>& fill)
{
    replaceFile(path, fill, nullptr, nullptr);
}

void replaceFile(const std::string& path, const std::function<void(const Put&)>& fill,
                 const std::function<void(const Put&)>& beforeRename, const std::function<void(int fd)>& afterRename)
{
    removeStaleTemporaries(path);
    struct stat st
    {
    };
    const bool existed = ::stat(path.c_str(), &st) == 0;
    if (existed && !S_ISREG(st.st_mode)) {
        fail("通常のファイルではありません");
    }
    std::string name = prefixFor(path) + "XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        fail("一時ファイルを作れません: " + systemReason(errno));
    }
    ::flock(fd, LOCK_EX | LOCK_NB);
    auto abandon = [&] {
        ::unlink(name.c_str());
        ::close(fd);
    };
    try {
        const Put put = [&](const char* data, std::size_t size) {
            while (size > 0) {
                const ssize_t n = ::write(fd, data, size);
                if (n < 0 && errno == EINTR) {
                    continue;
                }
                if (n <= 0) {
                    fail(systemReason(n < 0 ? errno : ENOSPC));
                }
                data += n;
                size -= static_cast<std::size_t>(n);
            }
        };
        fill(put);
        mode_t mode;
        if (existed) {
            mode = st.st_mode & 07777;
        } else {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
        if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) {
            fail(systemReason(errno));
        }
        if (existed && ::fchown(fd, st.st_uid, st.st_gid) != 0) {
            // Keeping the owner needs privileges the operator may not have; the mode is kept regardless.
        }
        if (beforeRename) {
            bool added = false;
            beforeRename([&](const char* data, std::size_t size) {
                added = added || size > 0;
                put(data, size);
            });
            if (added && ::fsync(fd) != 0) {
                fail(systemReason(errno));
            }
        }
        if (::rename(name.c_str(), path.c_str()) != 0) {
            fail(systemReason(errno));
        }
    } catch (...) {
        abandon();
        throw;
    }
    syncFolderOf(path);
    if (afterRename) {
        try {
            afterRename(fd);
        } catch (...) {
            ::close(fd);
            throw;
        }
    }
    ::close(fd);
}

void rewriteInPlace(int fd, off_t from, std::string_view tail)
{
    // The space is taken before the first byte is written: a full disk must not stop the rewrite halfway.
    const off_t newSize = from + static_cast<off_t>(tail.size());
    if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, newSize) != 0 && errno != EOPNOTSUPP && errno != ENOSYS) {
        fail(systemReason(errno));
    }
    const char* p = tail.data();
    std::size_t left = tail.size();
    off_t at = from;
    while (left > 0) {
        const ssize_t n = ::pwrite(fd, p, left, at);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            fail(systemReason(n < 0 ? errno : ENOSPC));
        }
        p += n;
        left -= static_cast<std::size_t>(n);
        at += n;
    }
    if (::ftruncate(fd, newSize) != 0 || ::fsync(fd) != 0) {
        fail(systemReason(errno));
    }
    // A write that reported success but did not land is reported here, not taken as done.
    std::vector<char> back(std::min<std::size_t>(tail.size(), 1 << 20));
    std::size_t done = 0;
    while (done < tail.size()) {
        const std::size_t n = std::min(back.size(), tail.size() - done);
        std::size_t got = 0;
        while (got < n) {
            const ssize_t r = ::pread(fd, back.data() + got, n - got, from + static_cast<off_t>(done + got));
            if (r < 0 && errno == EINTR) {
                continue;
            }
            if (r <= 0) {
                fail("書き込んだ内容を読み返せません");
            }
            got += static_cast<std::size_t>(r);
        }
        if (std::memcmp(back.data(), tail.data() + done, n) != 0) {
            fail("書き込んだ内容を読み返せません");
        }
        done += n;
    }
}

} // namespace filewrite
