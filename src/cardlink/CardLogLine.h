#ifndef KELBO_CARDLINK_CARDLOGLINE_H
#define KELBO_CARDLINK_CARDLOGLINE_H

#include "convert/CardRecord.h"
#include "logtable/SendMarkRule.h"

#include <string>

/** @brief The line handed to the card program for @p record (CP932, no line terminator): 13 comma-separated
 * fields "yy.mm.dd", "hhmm", Call, Rst, Freq, Mode, Power, "Name", "Qth", "Qsl", SendChar, RecvChar, Env.
 *
 * Date and time are "%02u" each; only Name, Qth and Qsl are enclosed in double quotes; nothing inside a field
 * is escaped; a mark of 0 gives an empty field; Env is written as a signed 32-bit decimal. */
std::string BuildCardLogLine(const CardRecord& record);

/** @brief BuildCardLogLine appending to @p out, so that a caller can reuse one buffer. */
void AppendCardLogLine(const CardRecord& record, std::string& out);

/** @brief The pass rule of a transfer: a record with a call sign is handed over when its send mark is 0 or a
 * blank (or another mark that @p rule, the log format's own, counts as not yet sent), or when @p allSend is set;
 * a record without a call sign never is. */
bool IsRecordPassed(const CardRecord& record, bool allSend, const SendMarkRule& rule = {});

#endif
