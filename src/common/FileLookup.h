#ifndef KELBO_COMMON_FILELOOKUP_H
#define KELBO_COMMON_FILELOOKUP_H

#include <initializer_list>
#include <string>

/** @brief Finding the files that belong beside a file whatever the letter case of their names (tables written on
 * Windows come as LOG.DB with log.mb, log.txt with LOG.SCH ...). */
namespace filelookup {

/** @brief Which entries of a folder a lookup takes. */
enum class Take
{
    RegularFiles,
    AnyEntry, // for a reader that refuses what is no regular file with its own message
};

/** @brief The file beside @p path with the same name and one of the @p extensions (each with its dot, letter case
 * ignored; the given spelling and its upper case tried first, without reading the folder); "" when there is none.
 * The result is in the form of @p path (no folder when @p path has none). */
std::string siblingFile(const std::string& path, const std::initializer_list<const char*>& extensions,
                        Take take = Take::RegularFiles);

} // namespace filelookup

#endif
