#ifndef KELBO_LOGTABLE_LOGTABLE_H
#define KELBO_LOGTABLE_LOGTABLE_H

#include "logtable/SendMarkRule.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TableEngine;

/** @brief Listener told when the table moves or changes, so that a grid can follow it. */
class LogTableListener
{
public:
    virtual ~LogTableListener() = default;
    /** The table was opened, closed or its records changed on disk. */
    virtual void tableReset() = 0;
    /** The current record moved to @p position (0-based). */
    virtual void currentChanged(long position) = 0;
    /** Record @p position was written to disk. A listener that does not care for single rows reloads. */
    virtual void recordChanged(long position)
    {
        static_cast<void>(position);
        tableReset();
    }
    /** The table object is being destroyed: the listener must not use it any more. */
    virtual void tableDestroyed() { }
};

/** @brief The operator's open log table: one interface over the Paradox, dBASE and delimited-text engines.
 *
 * Field positions are 0-based. Texts are CP932 bytes. Every failure throws KelboError with a message that
 * names the file and the reason. Moving or editing a closed table throws kClosedDatasetMessage. */
class LogTable
{
public:
    /** @brief Tells the listener that the table goes away. */
    virtual ~LogTable();

    /** @brief Opens DIR/NAME (DIR exactly as typed, a missing final '/' supplied; both in the file system's encoding,
     * UTF-8). When no file has exactly that name, the one file whose name differs only in letter case is opened.
     * Current record: the first. */
    virtual void OpenTable(const std::string& dir, const std::string& name) = 0;
    /** @brief Closes the table; posts a pending edit first. No effect when already closed. */
    virtual void CloseTable() = 0;
    virtual bool IsOpen() const = 0;

    virtual int FieldCount() const = 0;
    /** @brief Name of field @p position, CP932. */
    virtual std::string FieldName(int position) const = 0;
    /** @brief Current record's value of field @p position as text; "" for an empty value and past the end.
     * While the record is edited, the text given to SetFieldText. */
    virtual std::string FieldText(int position) const = 0;
    /** @brief Every field text of the current record into @p texts (resized to FieldCount), as FieldText gives them;
     * reuses the strings' storage, so a walk over many records reads without a copy per field. */
    virtual void FieldTexts(std::vector<std::string>& texts) const;

    virtual void MoveFirst() = 0;
    virtual void MoveNext() = 0;
    /** @brief Moves @p count records, stopping at either end. */
    virtual void MoveBy(long count) = 0;
    /** @brief True after a move tried to pass the last record (and for an empty table). */
    virtual bool AtEnd() const = 0;

    virtual void EditRecord() = 0;
    /** @brief Stores @p text into field @p position of the edited record, cut to the field's width. */
    virtual void SetFieldText(int position, const std::string& text) = 0;
    /** @brief Bytes field @p position holds at most; 0 when its width is not fixed. */
    virtual std::size_t FieldWidth(int position) const
    {
        (void)position;
        return 0;
    }
    /** @brief Writes a pending edit to disk (flushed and synced). Moves and CloseTable call it. */
    virtual void Post() = 0;

    /** @brief Starts a write batch: until EndWriteBatch, posted edits open and lock the file once (at the first
     * edit), each still checks that its record on disk is what was read and writes only its fields' bytes, but the
     * file is synced (and a text table rewritten) only once, at the end. Calls nest; the outermost End ends it.
     * Needs an open table. A table that cannot batch writes each edit at once, as outside a batch. */
    virtual void BeginWriteBatch() { }
    /** @brief Posts a pending edit, then syncs the batch's writes and reads them back (a text table is rewritten
     * once) and unlocks the file; throws KelboError when that fails. No effect outside a batch.
     *
     * When an edit is refused in mid-batch, the edits posted before it are still written when the batch ends; the
     * refused edit and the ones after it are not. For a text table the collected edits are written at the end only
     * if every edited line on disk is still as it was read; otherwise none of the batch is written and the file stays
     * as it is. */
    virtual void EndWriteBatch() { }

    /** @brief Number of records; current position 0-based (equal to RecordCount() past the end). */
    virtual long RecordCount() const = 0;
    virtual long RecNo() const = 0;
    /** @brief Moves to record @p position directly (clamped to the table). Posts a pending edit first. */
    virtual void MoveTo(long position) = 0;
    /** @brief Value of field @p field in record @p row without moving the current record (for the grid). */
    virtual std::string CellText(long row, int field) const = 0;
    /** @brief The table as a person reads it: the field's name and the texts of record @p row in UTF-8, characters
     * CP932 cannot hold included (texts of pending edits are not shown). */
    virtual std::string FieldNameUtf8(int position) const;
    virtual void RecordUtf8(long row, std::vector<std::string>& texts) const;

    /** @brief Full path of the open table ("" when closed). */
    virtual std::string FilePath() const = 0;
    /** @brief What could not be read when the table was opened (UTF-8, naming the file and what was skipped), to be
     * shown to the user once after opening; "" when the whole file was read. */
    virtual std::string ReadNote() const { return {}; }
    /** @brief How the open table's format tells a sent contact (the transfer's pass rule and the send-mark update);
     * the program's own rule for a closed table. */
    virtual SendMarkRule sendMarkRule() const { return {}; }

    /** @brief The grid stops / resumes following the table. Calls nest. */
    void DetachGrid() { ++m_detachCount; }
    void AttachGrid();
    bool GridAttached() const { return m_detachCount == 0; }
    void setListener(LogTableListener* listener) { m_listener = listener; }
    /** @brief @p listener is called each time ReadNote grows while the table is open (a memo found damaged when a
     * record is read, say); it must not read the table itself. */
    void setNoteListener(std::function<void()> listener) { m_noteListener = std::move(listener); }

protected:
    void notifyReset();
    void notifyCurrent();
    void notifyRecord(long position);
    void notifyNote()
    {
        if (m_noteListener) {
            m_noteListener();
        }
    }

private:
    LogTableListener* m_listener = nullptr;
    std::function<void()> m_noteListener;
    int m_detachCount = 0;
};

/** @brief A write batch for a scope: begun here, ended by end() (which reports a failed sync) or, when the scope is
 * left by an error, by the destructor (the edits posted before it are still written; a failure to end is then
 * dropped in favour of the error already on its way). */
class WriteBatch
{
public:
    explicit WriteBatch(LogTable& table)
        : m_table(&table)
    {
        table.BeginWriteBatch();
    }
    ~WriteBatch();
    WriteBatch(const WriteBatch&) = delete;
    WriteBatch& operator=(const WriteBatch&) = delete;
    /** @brief Ends the batch now; throws KelboError when its writes cannot be completed. */
    void end();

private:
    LogTable* m_table;
};

/** @brief A closed table object whose OpenTable chooses the engine by the file's extension and content. */
std::unique_ptr<LogTable> createLogTable();

/** @brief Opens the engine of the table file at @p path; throws KelboError naming the file and the reason. */
using TableEngineOpener = std::function<std::unique_ptr<TableEngine>(const std::string& path)>;

/** @brief A closed table object whose OpenTable opens its engine with @p open (a table kept elsewhere than in a
 * file of the three formats, such as one in memory), under the same cursor, edit and batch rules. */
std::unique_ptr<LogTable> createLogTable(TableEngineOpener open);

/** @brief A table object open over @p engine, its FilePath @p path; a later OpenTable chooses by extension. */
std::unique_ptr<LogTable> createLogTable(std::unique_ptr<TableEngine> engine, const std::string& path);

#endif
