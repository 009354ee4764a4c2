#ifndef KELBO_TESTS_SUPPORT_NORMALUSER_H
#define KELBO_TESTS_SUPPORT_NORMALUSER_H

// Permission cases must run as a normal user: root may write any file. When the tests run as root, the body runs
// in a child process that has dropped to the user "nobody"; the folders it works in are handed to that user first.
#include <functional>
#include <grp.h>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace normaluser {

constexpr uid_t kNobody = 65534;

/** Runs @p body as a normal user and returns its result (0 for success); -1 when root cannot be dropped. @p owned
 * are the files and folders the user must own (made before, by root). */
inline int run(const std::function<int()>& body, const std::vector<std::string>& owned = {})
{
    if (::geteuid() != 0) {
        return body();
    }
    for (const std::string& path : owned) {
        if (::lchown(path.c_str(), kNobody, kNobody) != 0) {
            return -1;
        }
    }
    const pid_t child = ::fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
            ::_exit(255);
        }
        ::_exit(body() & 0x7F);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status) == 255 ? -1 : WEXITSTATUS(status);
}

} // namespace normaluser

#endif
