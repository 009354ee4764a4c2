#ifndef KELBO_CARDLINK_TRANSFERWALK_H
#define KELBO_CARDLINK_TRANSFERWALK_H

#include "convert/CardRecord.h"
#include "convert/ConvDefTable.h"
#include "convert/ConvertRecord.h"
#include "logtable/SendMarkRule.h"

#include <string>
#include <string_view>
#include <vector>

class LogTable;

/** @brief The walk of a transfer, one passed record at a time:
 *
 * @code
 * for (TransferWalk walk(table, defs, utcToJst, allSend); walk.next();) { use(walk.position(), walk.line()); }
 * @endcode
 *
 * The first next() moves to the first record. For every record in table order until AtEnd it reads the
 * record's field texts once, converts them (ConvertRecord with the initial UtcFlag, ShiftToJst when the returned
 * flag is set) and applies the pass rule; next() stops at each passed record, the table standing at it, and
 * returns false at the end of the table. The caller may read the current record (texts() holds what was read)
 * but must not move the table between calls.
 *
 * Positions count every record visited, so they have gaps where records are not passed. Unbinding the grid
 * (DetachGrid / AttachGrid) is the caller's business. An error of the table (KelboError) leaves next() at once;
 * the table then stands at the record that failed. */
class TransferWalk
{
public:
    /** @brief @p utcToJst is the "UTC→JST" box (the initial UtcFlag), @p allSend "すべて引き渡す". */
    TransferWalk(LogTable& table, const ConvDefTable& defs, bool utcToJst, bool allSend);

    /** @brief Moves to the next passed record; false once the table is at its end. */
    bool next();

    /** @brief 0 at the first record, +1 for every record visited, passed or not. */
    long position() const { return m_position; }
    /** @brief The passed record's card line (CP932). */
    const std::string& line() const { return m_line; }
    /** @brief The passed record, converted and, for UTC, shifted. */
    const CardRecord& record() const { return m_record; }
    /** @brief The passed record's field texts, every field of the table in field order. */
    const std::vector<std::string>& texts() const { return m_texts; }

private:
    LogTable& m_table;
    const ConvDefPlan m_plan;
    const int m_utcFlag;
    const bool m_allSend;
    const SendMarkRule m_rule; // the log format's own marks
    bool m_started = false;
    long m_position = -1;
    std::vector<std::string> m_texts;
    std::vector<std::string_view> m_views;
    CardRecord m_record;
    std::string m_line;
};

/** @brief The conversion a transfer makes of one record's field texts @p texts[0 .. count-1]: converted with @p plan
 * (ShiftToJst when the returned UtcFlag is set), the log format's own "not yet sent" and "not received" marks left
 * off the card; true when the pass rule hands the record over. */
bool ConvertForTransfer(const std::string_view* texts, int count, const ConvDefPlan& plan, bool utcToJst, bool allSend,
                        const SendMarkRule& rule, CardRecord& record);

#endif
