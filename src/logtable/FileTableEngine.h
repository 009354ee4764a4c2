#ifndef KELBO_LOGTABLE_FILETABLEENGINE_H
#define KELBO_LOGTABLE_FILETABLEENGINE_H

#include "logtable/TableEngine.h"
#include "logtable/TableSupport.h"

#include "common/FileWrite.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace logtable {

/** @brief What every engine of a table file shares: the file's path, its stamp as last read or written, the note of
 * what could not be read, the messages that name the file, and the batch of edits with its rule at the end.
 *
 * In a batch the file is opened and locked once, at the first edit (batchWriter()); each edit still checks that the
 * file is the one it expects. At the end of a batch the format writes what it kept back (commitBatch()) and the
 * file's new stamp is taken. When that fails, or another program changed the file during the batch, the stamp is
 * dropped: nothing more is written through this table until it is opened again. */
class FileTableEngine : public TableEngine
{
public:
    std::string readNote() const final;
    void setNoteListener(std::function<void()> listener) final { m_noteListener = std::move(listener); }
    void beginBatch() final { m_batchActive = true; }
    void endBatch() final;

protected:
    /** @brief Before the engine reads anything, a write to @p path that a crash cut off is undone (see
     * recoverTable); the read note says so. */
    explicit FileTableEngine(std::string path);

    const std::string& path() const { return m_path; }

    /** @brief "Cannot open / read / write table PATH: REASON" for this engine's file. */
    std::string openError(const std::string& reason) const { return logtable::openError(m_path, reason); }
    std::string readError(const std::string& reason) const { return logtable::readError(m_path, reason); }
    std::string writeError(const std::string& reason) const { return logtable::writeError(m_path, reason); }

    /** @brief Adds a sentence to the note of what could not be read. */
    void addNote(const std::string& sentence);
    /** @brief Replaces the note (a table read again after its rewrite). */
    void setNote(std::string note) { m_note = std::move(note); }
    /** @brief The text of a memo read from the memo file @p memoPath: its bytes up to a zero byte, as texts end in
     * every format; "" when they could not be read, noted once for the table. */
    std::string memoTextFrom(std::optional<std::string> bytes, const std::string& memoPath);

    bool inBatch() const { return m_batchActive; }
    /** @brief The running batch's writer, opened and locked at its first edit; refused when the file no longer has
     * the stamp it was read with. */
    TableWriter& batchWriter();
    /** @brief The writer the running batch opened so far, or null. */
    const TableWriter* openBatchWriter() const { return m_batchWriter.get(); }

    /** @brief Writes what the batch kept back and takes the file's new stamp; by default syncs the bytes the batch
     * wrote and reads them back. Throws KelboError when that fails. */
    virtual void commitBatch(TableWriter& writer) { m_stamp = writer.sync(); }
    /** @brief After a batch that opened the file, once its writer is closed; @p committed false when it failed. */
    virtual void batchClosed(bool /*committed*/) { }

    enum class Rewrite
    {
        InPlace,
        Replaced
    };
    /** @brief Rewrites the table under @p writer's lock with new content whose first @p firstChange bytes are those
     * the file has: @p produce hands the new content from byte @p from on to its Put. A link is written through to
     * the file it names. A file with more than one name (hard links), or in a folder the user may not write, is
     * rewritten in place from @p firstChange on, synced and read back; otherwise a complete copy made beside it
     * replaces it, and the caller reads on (and reads its new bytes back) from the file now at path(). Throws
     * KelboError naming the table; a failed replacement leaves the old file as it was.
     *
     * @p produce stands for the bytes of the file as this table last read or wrote it. Until the new content is in
     * place, the old file must keep those bytes: bytes another program appends meanwhile are carried to the end of
     * the new content (also when they come just after the rename, into the old file), and any other change stops
     * the write with nothing lost. An in-place rewrite first puts the bytes it overwrites into a journal
     * (WriteJournal.h), so that a crash leaves the file whole old or whole new once it is opened again. */
    Rewrite rewriteFile(TableWriter& writer, off_t firstChange,
                        const std::function<void(const filewrite::Put& put, off_t from)>& produce);

    /** The file as last read or written; a write is refused when the file no longer matches it. */
    FileStamp m_stamp;

private:
    void replaceCarrying(TableWriter& writer, const std::string& target, off_t known, std::uint64_t readHash,
                         const std::function<void(const filewrite::Put& put, off_t from)>& produce);
    void rewriteJournaled(TableWriter& writer, const std::string& target, off_t firstChange, off_t known,
                          std::uint64_t readHash,
                          const std::function<void(const filewrite::Put& put, off_t from)>& produce);

    std::string m_path;
    std::string m_recoveryNote;
    std::string m_note;
    std::function<void()> m_noteListener;
    off_t m_knownSize = -1; // bytes of the file this table's view covers, once it rewrote the file
    bool m_memoDamageNoted = false;
    bool m_batchActive = false;
    std::unique_ptr<TableWriter> m_batchWriter;
};

/** @brief The moments of a rewrite where a test may act as another program would. */
enum class RewriteStage
{
    Started, // the file is locked and the bytes read were checked
    Copied, // the new content is made (beside the file, or in memory for an in-place rewrite)
    Synced, // the copy beside the file is on disk, its name not yet the table's
    Renamed, // the copy has the table's name
    Journaled, // the bytes to be overwritten in place are in the journal
    Written // the new bytes are written in place, the file not yet cut to its new length
};
/** @brief For tests: @p hook is called at every stage of every rewrite (null: none). */
void setRewriteHookForTests(std::function<void(RewriteStage)> hook);

} // namespace logtable

#endif
