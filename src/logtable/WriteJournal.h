#ifndef KELBO_LOGTABLE_WRITEJOURNAL_H
#define KELBO_LOGTABLE_WRITEJOURNAL_H

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

/** @brief The journal of a table rewritten in place: before the first byte is overwritten, the bytes that will be
 * overwritten go to a file in the user's state folder, synced, so that a write cut off by a crash or a power loss
 * is undone before the table is read again. */
namespace logtable {

/** @brief A 64-bit hash of bytes fed in any pieces; tells whether bytes are still those that were read. */
class ContentHash
{
public:
    void feed(const char* data, std::size_t size);
    void feed(std::string_view bytes) { feed(bytes.data(), bytes.size()); }
    std::uint64_t value() const;

private:
    std::uint64_t m_state = 0x9E3779B97F4A7C15ull;
    std::uint64_t m_length = 0;
    unsigned char m_pending[8] = {};
    std::size_t m_pendingSize = 0;
    void mix(std::uint64_t word);
};

/** @brief The hash of @p size bytes of @p fd from @p offset; false at a short read. */
bool hashRange(int fd, off_t offset, off_t size, ContentHash& hash);

/** @brief What a journal holds: which file, where the rewrite starts, the file's bytes from there to its old end,
 * and how the file looks once the rewrite is complete. */
struct JournalEntry
{
    std::string path; // the file as written (links resolved)
    dev_t device = 0;
    ino_t inode = 0;
    off_t from = 0; // first byte the rewrite changes
    off_t oldSize = 0;
    off_t newSize = 0;
    std::uint64_t prefixHash = 0; // the bytes before from, which the rewrite never touches
    std::uint64_t newHash = 0; // the new bytes from from to newSize
    std::string oldBytes; // the old bytes from from to oldSize
};

/** @brief The folder of the journals: $XDG_STATE_HOME/KELBO, else ~/.local/state/KELBO. */
std::string journalFolder();

/** @brief Writes the journal of @p entry (replacing an earlier one of the same file) and syncs it and its folder;
 * throws KelboError naming the table when it cannot. */
void writeJournal(const JournalEntry& entry);
/** @brief Removes the journal of the file @p device / @p inode, and syncs the folder. */
void removeJournal(dev_t device, ino_t inode);

/** @brief Before the table @p path is read: a journal left for it by a write that did not finish is applied under
 * the file's lock (a complete rewrite is kept, any other state is rolled back to the old bytes; bytes another
 * program appended beyond both ends are kept). Returns a sentence for the user, "" when there was nothing to do.
 * Throws KelboError when a journal exists but the file cannot be put right; the table must then not be read. */
std::string recoverTable(const std::string& path);

/** @brief At start: every journal in the folder is applied to its file; returns a sentence per journal found. */
std::vector<std::string> recoverAllJournals();

} // namespace logtable

#endif
