#ifndef KELBO_CONVDEF_SAFEFILE_H
#define KELBO_CONVDEF_SAFEFILE_H

#include <string>
#include <string_view>

/** @brief Replaces the file at @p path by @p data without ever leaving it half written.
 *
 * The data goes into a temporary file in the same folder, is synced to disk and then renamed over the file;
 * an existing file keeps its permission bits, and a symbolic link is followed so that the link stays. A file the
 * user may not write (or without any write permission bit) is not replaced.
 * Returns false (and leaves the old file as it was) when any step fails. */
bool WriteFileAtomically(const std::string& path, std::string_view data);

/** @brief Opens a regular file for reading (never waiting on a FIFO or device); -1 when it cannot be opened or is
 * no regular file. */
int OpenRegularFile(const std::string& path);

/** @brief Reads a whole file (a regular file only). Returns false when it cannot be opened or read; @p exists tells a
 * missing file apart from one that exists but cannot be read (a folder, no permission). */
bool ReadWholeFile(const std::string& path, std::string& data, bool* exists = nullptr);

#endif
