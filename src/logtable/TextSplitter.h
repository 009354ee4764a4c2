#ifndef KELBO_LOGTABLE_TEXTSPLITTER_H
#define KELBO_LOGTABLE_TEXTSPLITTER_H

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

/** @brief The one splitter of delimited text tables: it finds the records of the file and the fields of a record,
 * for reading and for writing alike, so that the bytes written are the bytes read. */
namespace textsplit {

/** @brief How the table's encoding builds a character of several bytes: the number of trail bytes a byte starts
 * (0 for a single-byte character) and which bytes may follow as trail bytes. A byte that starts a character whose
 * trail bytes do not follow stands alone. */
struct Encoding
{
    std::uint8_t trails[256]; // by first byte
    bool trail[256]; // by byte
    int trailCount(unsigned char first) const { return trails[first]; }
    bool isTrail(unsigned char byte) const { return trail[byte]; }
};

/** @brief CP932: lead bytes 0x81-0x9F and 0xE0-0xFC take one trail byte of 0x40-0x7E or 0x80-0xFC. The separator,
 * the quote and line ends are never trail bytes, so a lead byte right before them stands alone. */
const Encoding& cp932();

/** @brief UTF-8: 0xC2-0xDF, 0xE0-0xEF and 0xF0-0xF4 start characters of 1, 2 and 3 trail bytes of 0x80-0xBF. */
const Encoding& utf8();

/** @brief Tells a UTF-8 file from a CP932 one by its bytes, fed to it in pieces (after any byte order mark).
 *
 * The file is UTF-8 when it is well-formed UTF-8 that holds non-ASCII bytes, unless its UTF-8 reading holds
 * characters no text table would (C1 controls, private use, unassigned blocks ...) while its CP932 reading holds
 * only characters CP932 defines: a CP932 file that is well-formed UTF-8 by chance. */
class EncodingGuess
{
public:
    void feed(const char* data, std::size_t size);
    /** @brief True once the bytes fed are no UTF-8: the rest of the file need not be read. */
    bool decided() const { return !m_utf8Valid; }
    bool isUtf8() const;

private:
    void takeUtf8(unsigned char c);
    void takeCp932(unsigned char c);

    bool m_nonAscii = false;
    bool m_utf8Valid = true;
    bool m_utf8Odd = false; // a well-formed character no text would hold
    int m_utf8Left = 0; // trail bytes still wanted
    unsigned char m_utf8Low = 0x80, m_utf8High = 0xBF; // range of the next trail byte
    char32_t m_codePoint = 0;
    bool m_cp932Valid = true;
    unsigned char m_cp932Lead = 0; // a lead byte waiting for its trail
};

/** @brief The rules of one table: separator, quote (0: values are never quoted) and encoding. */
struct Dialect
{
    char separator = ',';
    char quote = '"';
    const Encoding* encoding = &cp932();
};

/** @brief Byte span of a field inside its record, quotes included. */
struct Span
{
    std::size_t begin = 0;
    std::size_t end = 0;
};

/** @brief How a record split. */
struct Split
{
    /** @brief Empty when the record splits one way only; otherwise why it does not (a quote that is never closed,
     * bytes between a closing quote and the separator). Such a record is shown but never written. */
    std::string doubt;
};

/** @brief Splits one record (without its line end) into fields: byte spans and values without their quotes
 * (either may be null). A quote opens a quoted value only at the start of a field; inside it, a doubled quote is
 * one quote and line ends belong to the value. */
Split splitRecord(std::string_view record, const Dialect& dialect, std::vector<Span>* spans,
                  std::vector<std::string>* values);

/** @brief splitRecord for reading many records: the values as views into @p record, or into @p unquoted for the
 * values that are not the record's bytes as they stand (doubled quotes, bytes after a closing quote). Both
 * buffers are reused from record to record; the views hold until the next call. */
Split splitValues(std::string_view record, const Dialect& dialect, std::vector<std::string_view>& values,
                  std::string& unquoted);

/** @brief Finds the records of a file fed to it in pieces. A record ends at a line end outside quotes: LF or CR LF,
 * or a lone CR when the file's first line end is one (old Macintosh files). Lines that hold nothing but line ends
 * and EOF marks (0x1A) are no records.
 *
 * A quoted value may hold line ends (as spreadsheets write them) when its closing quote comes within
 * kMaxSpan bytes and kMaxSpanLines line ends and is followed by a separator or a line end. The limits keep a
 * damaged file from being read over and over. Otherwise the quote is taken as damage: the record
 * ends at its first line end (it splits with a doubt, so it is never written) and the finder goes back to read on
 * from the next line. */
class RecordFinder
{
public:
    /** @brief @p quoting false: quotes have no meaning (fixed-width files), every line end ends a record. */
    RecordFinder(const Dialect& dialect, bool quoting, std::uint64_t start = 0);

    static constexpr std::uint64_t kMaxSpan = 64 * 1024;
    static constexpr int kMaxSpanLines = 64;

    /** @brief Takes the bytes of the file from offset() on; returns the offset of the next byte it wants, which is
     * earlier than the end of @p data when it went back. */
    std::uint64_t feed(const char* data, std::size_t size);
    /** @brief The end of the file: the last record needs no line end. False when the finder went back instead: feed
     * it again from offset(). */
    bool finish();
    std::uint64_t offset() const { return m_offset; }

    /** @brief Start offset of each record. A record ends at the first line end after its start (or at the next
     * record or the end of the file), except the records listed in @p spanning with their end (the offset of
     * their line end), whose quoted values hold line ends. */
    std::vector<std::uint64_t> starts;
    std::vector<std::pair<std::size_t, std::uint64_t>> spanning;
    /** @brief The bytes that end a line of this file: CR and LF in a file of CR-only line ends, else LF (a lone CR
     * is data there). */
    std::string_view lineEnds() const { return m_lineEnds == LineEnds::Cr ? "\r\n" : "\n"; }

private:
    void endLine(std::uint64_t at);
    /** False when the finder went back to offset(). */
    bool take(unsigned char c, std::uint64_t at);
    void goBack();

    Dialect m_dialect;
    bool m_quoting;
    std::uint64_t m_offset;
    std::uint64_t m_lineStart;
    bool m_lineHasText = false;
    bool m_inQuotes = false;
    bool m_afterQuote = false; // inside quotes, right after a quote: a closing one unless another follows
    bool m_fieldStart = true;
    bool m_pendingCr = false;
    int m_trailsLeft = 0;
    bool m_spanning = false; // a quoted value runs over a line end; the record would end at m_spanEnd without it
    std::uint64_t m_spanEnd = 0;
    int m_spanLines = 0;
    bool m_recordSpans = false; // the record holds a quoted line end
    bool m_special[256] = {}; // bytes that need a look outside quotes ...
    bool m_specialQuoted[256] = {}; // ... and inside them
    enum class LineEnds
    {
        Unknown,
        Lf,
        Cr
    } m_lineEnds
        = LineEnds::Unknown;
};

} // namespace textsplit

#endif
