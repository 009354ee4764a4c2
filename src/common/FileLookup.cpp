#include "common/FileLookup.h"

#include "common/Cp932.h"

#include <dirent.h>
#include <sys/stat.h>

namespace filelookup {

namespace {

bool takes(const std::string& path, Take take)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && (take == Take::AnyEntry || S_ISREG(st.st_mode));
}

} // namespace

std::string siblingFile(const std::string& path, const std::initializer_list<const char*>& extensions, Take take)
{
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
    const std::string prefix = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    const std::string stem
        = path.substr(nameStart, dot == std::string::npos || dot < nameStart ? std::string::npos : dot - nameStart);
    // The common spellings first: no folder listing for them.
    for (const char* ext : extensions) {
        for (const std::string& candidate : {prefix + stem + ext, prefix + stem + cp932::toUpperAscii(ext)}) {
            if (takes(candidate, take)) {
                return candidate;
            }
        }
    }
    DIR* d = ::opendir(dir.c_str());
    if (!d) {
        return {};
    }
    std::string found;
    while (const dirent* entry = ::readdir(d)) {
        const std::string_view name = entry->d_name;
        for (const char* ext : extensions) {
            if (cp932::equalsNoCase(name, stem + ext)
                && (take == Take::AnyEntry || takes(prefix + std::string(name), take))) {
                found = prefix + std::string(name);
                break;
            }
        }
        if (!found.empty()) {
            break;
        }
    }
    ::closedir(d);
    return found;
}

} // namespace filelookup
