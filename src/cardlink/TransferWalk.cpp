#include "cardlink/TransferWalk.h"

#include "cardlink/CardLogLine.h"
#include "convert/ConvertRecord.h"
#include "convert/DateTime.h"
#include "logtable/LogTable.h"

WalkResult TransferWalk(LogTable& table, const ConvDefTable& defs, const WalkOptions& options, const WalkSink& sink,
                        const WalkProgress& progress)
{
    WalkResult result;
    const ConvDefPlan plan(defs);
    const SendMarkRule rule = table.sendMarkRule();
    CardRecord record;
    std::string line;
    line.reserve(768);
    table.MoveFirst();
    for (long position = 0; !table.AtEnd(); ++position) {
        if (ConvertRecord(table, plan, record, options.utcFlag) != 0) {
            ShiftToJst(record);
        }
        ++result.visited;
        // A format's own "not yet sent" (ADIF's N, R, Q) and "not received" are no marks on the card.
        if (record.SendChar != '\0' && record.SendChar != ' ' && rule.isUnsentChar(record.SendChar)) {
            record.SendChar = '\0';
        }
        if (rule.isUnreceivedChar(record.RecvChar)) {
            record.RecvChar = '\0';
        }
        if (IsRecordPassed(record, options.allSend, rule)) {
            line.clear();
            AppendCardLogLine(record, line);
            ++result.passed;
            if (sink && !sink(WalkItem{position, line, record, table})) {
                result.stopped = true;
                if (progress) {
                    progress(result.visited);
                }
                return result;
            }
        }
        if (progress) {
            progress(result.visited);
        }
        table.MoveNext();
    }
    return result;
}
