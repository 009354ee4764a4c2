#ifndef KELBO_CARDLINK_TRANSFERWALK_H
#define KELBO_CARDLINK_TRANSFERWALK_H

#include "convert/ConvDefTable.h"
#include "convert/CardRecord.h"

#include <functional>
#include <string>

class LogTable;

/** @brief Settings of one walk: the initial UtcFlag (the "UTC→JST" box) and "すべて引き渡す" (AllSend). */
struct WalkOptions
{
    int utcFlag = 1;
    bool allSend = false;
};

/** @brief One passed record as the walk hands it over. The table stands at that record, so the receiver may
 * read its field texts (a fingerprint, say); it must not move the table. */
struct WalkItem
{
    long position; ///< 0 at the first record, +1 for every record visited, passed or not
    const std::string& line; ///< the CardLogLine, CP932
    const CardRecord& record; ///< the converted (and, for UTC, shifted) record
    const LogTable& table;
};

/** @brief Receives each passed record; returning false stops the walk at that record. */
using WalkSink = std::function<bool(const WalkItem& item)>;

/** @brief Told after each record visited, with the count visited so far (for a progress display). */
using WalkProgress = std::function<void(long visited)>;

/** @brief What a walk did. */
struct WalkResult
{
    long visited = 0; ///< records converted
    long passed = 0; ///< records handed to the sink
    bool stopped = false; ///< the sink asked to stop
};

/** @brief The walk of a transfer: MoveFirst, then for every record in table order until AtEnd: ConvertRecord
 * with options.utcFlag, ShiftToJst when the returned flag is set, the pass rule, and the sink for each passed
 * record with its table position and its CardLogLine.
 *
 * Positions count every record visited, so they have gaps where records are not passed. Unbinding the grid
 * (DetachGrid / AttachGrid) is the caller's business. An error of the table (KelboError) leaves the walk at
 * once; the table then stands at the record that failed. */
WalkResult TransferWalk(LogTable& table, const ConvDefTable& defs, const WalkOptions& options, const WalkSink& sink,
                        const WalkProgress& progress = {});

#endif
