#ifndef KELBO_EXPORT_ADIFEXPORT_H
#define KELBO_EXPORT_ADIFEXPORT_H

#include "common/FileWrite.h"
#include "convert/CardRecord.h"
#include "convert/ConvDefTable.h"

#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class LogTable;

/** @brief An ADIF file (ADI, version 3.1) of a log's contacts, made through the conversion definition: what the
 * card line says of a contact, in the fields loggers and confirmation services read.
 *
 * Times: the card line's time is Japanese time (a UTC log moved on nine hours, as the transfer does); the file
 * gets UTC, the Japanese time moved back nine hours with the date rolled. Two-digit years are taken in the
 * century that puts them no later than next year. Texts go into the file as UTF-8, lengths in bytes (or, with
 * asciiOnly, a text field that is not ASCII is left out). The card's whole remark text goes into
 * APP_KELBO_QSLMSG as well, so that the file read back by KELBO gives the same card lines. */
namespace adifexport {

struct Options
{
    /** Every record a transfer with "すべて引き渡す" would pass, not only the unsent ones. */
    bool allSend = false;
    /** The "UTC→JST" box: the log's times are UTC unless a zone letter says otherwise. */
    bool utcToJst = true;
    /** Leave text fields that are not ASCII out instead of writing them in UTF-8. */
    bool asciiOnly = false;
    /** The own station's call (STATION_CALLSIGN); "" for none. */
    std::string stationCall;
    /** PROGRAMVERSION in the header. */
    std::string programVersion;
    /** The time of the export (CREATED_TIMESTAMP, the century of two-digit years); 0 for the clock. */
    std::time_t now = 0;
};

/** @brief A record that was not written, and why (UTF-8). */
struct LeftOut
{
    long position = 0;
    std::string call;
    std::string reason;
};

struct Summary
{
    /** Records looked at (every record of the table). */
    long visited = 0;
    /** Records written. */
    long written = 0;
    /** Passed records that could not be made valid, in table order. */
    std::vector<LeftOut> leftOut;
};

/** @brief Told after each record: records looked at so far and the table's record count. */
using Progress = std::function<void(long visited, long total)>;

/** @brief What one passed record becomes: the remark fields of the definition sorted out of the record's field
 * texts, beside the converted record. */
struct Remarks
{
    std::string manager; // a call sign after VIA / MGR, upper case
    char route = 0; // 'B' bureau, 'D' direct, 'E' electronic, 'N' no card; 0 unknown
    std::string rstRcvd; // the received report from a "My" remark
    std::string comment; // the other remarks, joined by blanks (CP932)
};

/** @brief Sorts the remark fields (expressions "QSL", "ADDQSL" and the bracket forms) of one record, given as its
 * field texts, into a manager, a route, a received report and the comment. */
Remarks SortRemarks(const ConvDefTable& defs, const std::vector<std::string>& texts);

/** @brief The ADIF record (tags, then "<EOR>" and a line end) of the converted record @p jst (Japanese time) and its
 * remarks; false with @p reason (UTF-8) when its call, date or time cannot be made valid. @p sent and @p received
 * are the record's marks as the log's rule reads them. */
bool AppendAdifRecord(const CardRecord& jst, const Remarks& remarks, bool sent, bool received, const Options& options,
                      std::string& out, std::string& reason);

/** @brief The file's header, ending with "<EOH>" and a line end. */
std::string AdifHeader(const Options& options);

/** @brief Writes the header and the passed records of @p table (moved over from its first record; the table stands
 * at its end afterwards) through @p put. Throws KelboError when the table cannot be read. */
Summary WriteAdif(LogTable& table, const ConvDefTable& defs, const Options& options, const filewrite::Put& put,
                  const Progress& progress = {});

/** @brief Writes the ADIF file @p path in one step (a complete copy renamed over it), never over the table itself.
 * Throws KelboError naming the file and the reason; a failed write leaves no file and an old one as it was. */
Summary ExportAdifFile(LogTable& table, const ConvDefTable& defs, const Options& options, const std::string& path,
                       const Progress& progress = {});

/** @brief The four-digit year of a two-digit @p year: in the century that puts it no later than the year after
 * @p currentYear. */
int FullYear(unsigned year, int currentYear);

/** @brief The own station's call from the card program's settings file, "" when it has none. */
std::string CardProgramStationCall();

} // namespace adifexport

#endif
