#ifndef KELBO_CARDLINK_SENDMARKUNDO_H
#define KELBO_CARDLINK_SENDMARKUNDO_H

#include "cardlink/TableFileIdentity.h"

#include <cstdint>
#include <string>
#include <vector>

class LogTable;

/** @brief The last send-mark update, kept so that it can be taken back while the same table is open (a printer
 * that jammed after the user confirmed the update): each marked record gets back the SEND text it had.
 *
 * A record is restored only while it is the record that was marked: at its position, with the fingerprint it
 * had (RecordPrint of every field but those the update wrote) and still holding what the update left in them. Every
 * field the update wrote gets its old text back (a date the update added is taken out again). The writes go through
 * one write batch of the table, with the table's own lock and sync. */
class SendMarkUndo
{
public:
    struct Mark
    {
        long position;
        std::string previous; ///< the SEND text before the mark (CP932)
        std::uint64_t fingerprint; ///< RecordPrint without the fields the update writes
        std::string previousDate = {}; ///< the date field's text before the mark, when the format dates it
        std::string written = {}; ///< the SEND text as the update left it (filled by remember)
        std::string writtenDate = {}; ///< the date field's text as the update left it (filled by remember)
    };
    struct Result
    {
        long restored = 0;
        long skipped = 0; ///< records changed since the mark, left as they are
    };

    /** @brief Remembers an update of @p table, just written: @p marks in the field @p sendField. */
    void remember(const LogTable& table, int sendField, std::vector<Mark> marks);
    /** @brief True while there is an update to take back and @p table is the one it was written to. */
    bool available(const LogTable& table) const;
    /** @brief Marks that undo() would look at. */
    long count() const { return static_cast<long>(m_marks.size()); }
    void forget();
    /** @brief Writes the previous texts back (see the class). The table's current record stays where it was.
     * Afterwards nothing is left to take back; when a write fails (KelboError), the update stays remembered so
     * that a second try restores what the first did not. */
    Result undo(LogTable& table);

private:
    TableFileIdentity m_table;
    int m_sendField = -1;
    int m_dateField = -1;
    std::vector<Mark> m_marks;
};

#endif
