#ifndef KELBO_COMMON_FILEWRITE_H
#define KELBO_COMMON_FILEWRITE_H

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/types.h>

/** @brief Safe whole-file writes shared by everything KELBO writes: the settings file, definition files and the
 * rewrite of a text table. Every function throws filewrite::Failure carrying the reason (UTF-8), which the
 * caller puts into its own message; a failed write leaves the old file as it was. */
namespace filewrite {

/** @brief Why a write failed, in the program's own words. */
class Failure : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/** @brief The file a write to @p path must change: symbolic links followed to their final target (which may not
 * exist yet). Returns @p path itself when it names no link. */
std::string resolveLinks(const std::string& path);

/** @brief Refuses (throws) when @p path exists and is no regular file, has no write permission bit at all, or the
 * user may not write it. A missing file passes. */
void checkWritable(const std::string& path);

/** @brief Sink for the new content of a file. */
using Put = std::function<void(const char* data, std::size_t size)>;

/** @brief Replaces the file @p path (links resolved by the caller) in one step: @p fill writes the new content
 * through its Put into a temporary file ".NAME.kelbo-XXXXXX" beside it (locked while it lives), which is synced,
 * given the old file's mode (and owner where allowed) and renamed over the file; then the folder is synced.
 * Stale temporary files of earlier writes that were killed are removed first. */
void replaceFile(const std::string& path, const std::function<void(const Put&)>& fill);

/** @brief replaceFile with two more steps: @p beforeRename runs once the new content is synced, with a Put that adds
 * bytes at its end (synced as well), and may still refuse by throwing; @p afterRename runs once the new file has
 * the name, with its descriptor open for writing. What @p afterRename throws is passed on: the file is replaced. */
void replaceFile(const std::string& path, const std::function<void(const Put&)>& fill,
                 const std::function<void(const Put&)>& beforeRename, const std::function<void(int fd)>& afterRename);

/** @brief True when a temporary file can be made beside @p path (its folder is writable). */
bool canReplace(const std::string& path);

/** @brief Rewrites an open file in place from @p from on: writes @p tail there, cuts the file to its new length,
 * syncs and reads every byte of @p tail back. For a file that must keep its inode (hard links) or whose folder
 * may not be written; the caller holds the file's lock. */
void rewriteInPlace(int fd, off_t from, std::string_view tail);

/** @brief Removes temporary files ".NAME.kelbo-XXXXXX" left beside @p path by writes that were killed; a file that
 * another write still holds locked is left alone. */
void removeStaleTemporaries(const std::string& path);

/** @brief Syncs the folder that holds @p path (after a rename); errors are ignored. */
void syncFolderOf(const std::string& path);

} // namespace filewrite

#endif
