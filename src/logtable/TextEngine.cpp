// Delimited and fixed-width text tables (.txt, .csv) with an optional schema file NAME.sch beside them.
// Only the start and end of each record are kept in memory; records are read on demand through a small window.
// One splitter finds records and fields for reading and for writing, so a value is written exactly where it
// was read.
#include "common/CodePage.h"
#include "common/Cp932.h"
#include "common/FileWrite.h"
#include "common/KelboError.h"
#include "logtable/FileTableEngine.h"
#include "logtable/TableSupport.h"
#include "logtable/TextSchema.h"
#include "logtable/TextSplitter.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using logtable::TextField;
using Kind = logtable::TextKind;

using textsplit::Span;

/** "12:05:09" or "12:05" as "H:mm:ss"; the text itself when it is no time. */
std::string normalizeTimeText(std::string_view text)
{
    const std::string_view t = logtable::trim(text);
    int h = 0, m = 0, s = 0;
    char tail = 0;
    const std::string copy(t);
    const int n = std::sscanf(copy.c_str(), "%d:%d:%d%c", &h, &m, &s, &tail);
    if ((n == 2 || n == 3) && h >= 0 && h < 24 && m >= 0 && m < 60 && s >= 0 && s < 60) {
        return logtable::formatTime((h * 3600LL + m * 60 + s) * 1000);
    }
    return copy;
}

/** @p s cut to at most @p capacity bytes without leaving part of a UTF-8 character. */
std::string utf8Cut(std::string_view s, std::size_t capacity)
{
    if (s.size() <= capacity) {
        return std::string(s);
    }
    std::size_t n = capacity;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) {
        --n;
    }
    return std::string(s.substr(0, n));
}

std::string present(const TextField& field, std::string_view value)
{
    switch (field.kind) {
    case Kind::Text:
    case Kind::Raw:
        return std::string(logtable::trimRight(value));
    case Kind::Number:
        return logtable::normalizeNumberText(value);
    case Kind::Date:
        return logtable::normalizeDateText(value);
    case Kind::Time:
        return normalizeTimeText(value);
    case Kind::Logical:
        return logtable::normalizeLogicalText(value);
    }
    return std::string(value);
}

class TextEngine : public logtable::FileTableEngine
{
public:
    explicit TextEngine(const std::string& path)
        : FileTableEngine(path)
    {
        m_fd = logtable::openForReading(path);
        try {
            struct stat st
            {
            };
            ::fstat(m_fd, &st);
            m_fileSize = st.st_size;
            m_stamp = logtable::stampOf(m_fd);
            readSchema();
            guessSeparator();
            findEncoding();
            indexLines();
            if (!m_hasSchema) {
                namesFromFirstLine();
                noteExtraValues();
            }
        } catch (...) {
            ::close(m_fd);
            throw;
        }
    }

    ~TextEngine() override { ::close(m_fd); }

    int fieldCount() const override { return static_cast<int>(m_fields.size()); }
    std::string fieldName(int field) const override { return m_fields[field].name; }
    std::size_t fieldWidth(int field) const override { return m_fields[field].width; }
    long recordCount() const override { return static_cast<long>(m_starts.size()) - m_firstRecordLine; }

    void readRecord(long row, std::vector<std::string>& texts) override { read(row, texts, false); }
    void readRecordUtf8(long row, std::vector<std::string>& texts) override { read(row, texts, true); }
    std::string fieldNameUtf8(int field) const override
    {
        return static_cast<std::size_t>(field) < m_namesUtf8.size() ? m_namesUtf8[field]
                                                                    : cp932::toUtf8(m_fields[field].name);
    }

    /** The texts of a record; the strings of @p texts are reused, so that a walk over the table allocates little. */
    void read(long row, std::vector<std::string>& texts, bool utf8)
    {
        texts.resize(m_fields.size());
        for (std::string& text : texts) {
            text.clear();
        }
        if (row < 0 || row >= recordCount()) {
            return;
        }
        const std::string_view line = recordLine(static_cast<std::size_t>(row + m_firstRecordLine));
        if (m_fixed) {
            for (std::size_t i = 0; i < m_fields.size(); ++i) {
                const TextField& f = m_fields[i];
                if (f.offset < line.size()) {
                    show(f, line.substr(f.offset, f.width), utf8, texts[i]);
                }
            }
            return;
        }
        textsplit::splitValues(line, m_dialect, m_valueViews, m_unquoted);
        for (std::size_t i = 0; i < m_fields.size() && i < m_valueViews.size(); ++i) {
            show(m_fields[i], m_valueViews[i], utf8, texts[i]);
        }
    }

    /** The text of @p bytes of the file as @p field shows it (in UTF-8 with @p utf8, else CP932), into @p out. */
    void show(const TextField& field, std::string_view bytes, bool utf8, std::string& out) const
    {
        if (field.kind == Kind::Text || field.kind == Kind::Raw) {
            // Bytes that need no conversion are shown as they are, without a copy on the way.
            const bool asTheyAre = std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; })
                || (utf8 == m_utf8 && (m_utf8 ? cp932::isValidUtf8(bytes) : codepage::isWellFormedCp932(bytes)));
            if (asTheyAre) {
                out.assign(logtable::trimRight(bytes));
                return;
            }
        }
        out = present(field, utf8 ? toUtf8(bytes) : fromFile(bytes));
    }

    void writeRecord(long row, const std::vector<std::pair<int, std::string>>& changes) override
    {
        for (const auto& change : changes) {
            const TextField& field = m_fields[change.first];
            if (field.kind != Kind::Text) {
                throw KelboError(writeError(logtable::fieldReason(field.name, "は文字のフィールドではありません")));
            }
            // One line is one record: a line end inside a value would split it.
            if (change.second.find_first_of("\r\n") != std::string::npos) {
                throw RecordRefusedError(writeError("改行を含む値はテキストのテーブルに書き込めません"));
            }
        }
        const std::size_t lineIndex = static_cast<std::size_t>(row + m_firstRecordLine);
        const auto edited = m_edits.find(lineIndex);
        const std::string original = edited != m_edits.end() ? edited->second.original : std::string(lineAt(lineIndex));
        std::string line = edited != m_edits.end() ? edited->second.line : original;
        for (const auto& change : changes) {
            const std::string value = toFile(change.second);
            line
                = m_fixed ? spliceFixed(line, m_fields[change.first], value) : spliceVarying(line, change.first, value);
        }
        if (edited == m_edits.end() && line == original) {
            return; // nothing changes: the file is not even opened for writing
        }
        if (inBatch()) {
            logtable::TableWriter& writer = batchWriter();
            if (edited == m_edits.end()) {
                checkLine(writer, lineIndex, original);
                m_edits.emplace(lineIndex, Edit{original, std::move(line)});
            } else {
                edited->second.line = std::move(line);
            }
            return;
        }
        logtable::TableWriter writer(path(), m_stamp);
        checkLine(writer, lineIndex, original);
        std::map<std::size_t, Edit> edits;
        edits.emplace(lineIndex, Edit{original, std::move(line)});
        commit(writer, edits);
    }

protected:
    /** The collected edits are checked against the file once more and written in one go. When a line no longer
     * holds what was read, nothing of the batch is written. */
    void commitBatch(logtable::TableWriter& writer) override
    {
        std::map<std::size_t, Edit> edits = std::move(m_edits);
        m_edits.clear();
        for (const auto& [index, edit] : edits) {
            checkLine(writer, index, edit.original);
        }
        commit(writer, edits);
    }

private:
    /** Bytes of the file as CP932 text: a UTF-8 table's text is converted, a character CP932 cannot hold becoming
     * '?'. */
    std::string fromFile(std::string_view bytes) const
    {
        if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; })) {
            return std::string(bytes);
        }
        return m_utf8 ? cp932::fromUtf8(bytes) : codepage::sanitizeCp932(bytes);
    }

    /** Bytes of the file in UTF-8, as a person reads them. */
    std::string toUtf8(std::string_view bytes) const
    {
        if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; })) {
            return std::string(bytes);
        }
        if (m_utf8) {
            return cp932::isValidUtf8(bytes) ? std::string(bytes) : cp932::toUtf8(cp932::fromUtf8(bytes));
        }
        return m_cp932.toUtf8(codepage::sanitizeCp932(bytes));
    }

    /** CP932 text as the file's bytes. */
    std::string toFile(const std::string& text) const
    {
        if (m_utf8 && std::any_of(text.begin(), text.end(), [](char c) { return (c & 0x80) != 0; })) {
            return cp932::toUtf8(text);
        }
        return text;
    }

    void readSchema()
    {
        const std::size_t dot = path().rfind('.');
        m_separator = ',';
        m_quote = '"';
        const std::string schemaPath = logtable::findTextSchema(path());
        if (schemaPath.empty()) {
            m_guessSeparator = !cp932::equalsNoCase(path().substr(dot), ".csv");
            return;
        }
        logtable::TextSchema schema = logtable::readTextSchema(path(), schemaPath);
        m_fixed = schema.fixed;
        m_separator = schema.separator;
        m_quote = schema.quote;
        m_fields = std::move(schema.fields);
        m_charset = schema.charset;
        m_hasSchema = true;
    }

    textsplit::Dialect dialect() const
    {
        return textsplit::Dialect{m_separator, m_quote, m_utf8 ? &textsplit::utf8() : &textsplit::cp932()};
    }

    /** UTF-8 or CP932, found once: a byte order mark, else the schema's CHARSET, else the bytes of the file. */
    void findEncoding()
    {
        if (m_bomLength > 0 || m_charset != logtable::TextCharset::Unknown) {
            m_utf8 = m_bomLength > 0 || m_charset == logtable::TextCharset::Utf8;
        } else {
            textsplit::EncodingGuess guess;
            std::vector<char> chunk(static_cast<std::size_t>(std::min<off_t>(1 << 20, std::max<off_t>(1, m_fileSize))));
            off_t offset = 0;
            while (offset < m_fileSize && !guess.decided()) {
                const ssize_t n = ::pread(m_fd, chunk.data(), chunk.size(), offset);
                if (n < 0 && errno == EINTR) {
                    continue;
                }
                if (n <= 0) {
                    throw KelboError(openError("読み込みに失敗しました"));
                }
                guess.feed(chunk.data(), static_cast<std::size_t>(n));
                offset += n;
            }
            m_utf8 = guess.isUtf8();
        }
        for (TextField& field : m_fields) {
            if (m_utf8 && cp932::isValidUtf8(field.name)) {
                field.name = fromFile(field.name); // a schema beside a UTF-8 table names its fields in UTF-8
            } else {
                field.name = codepage::sanitizeCp932(field.name);
            }
        }
    }

    /** Without a schema a .txt file may be separated by tabs: told by its first line. */
    void guessSeparator()
    {
        char head[65536];
        const ssize_t n = ::pread(m_fd, head, sizeof head, 0);
        if (n <= 0) {
            return;
        }
        std::string_view text(head, static_cast<std::size_t>(n));
        if (text.substr(0, 3) == "\xEF\xBB\xBF") {
            m_bomLength = 3;
        }
        if (!m_guessSeparator) {
            return;
        }
        text = text.substr(0, text.find_first_of("\r\n"));
        if (text.find(',') == std::string_view::npos && text.find('\t') != std::string_view::npos) {
            m_separator = '\t';
        }
    }

    /** One streaming pass: where every record starts and ends. */
    void indexLines()
    {
        std::vector<char> chunk(static_cast<std::size_t>(std::min<off_t>(1 << 20, std::max<off_t>(1, m_fileSize))));
        textsplit::RecordFinder finder(dialect(), !m_fixed, m_bomLength);
        std::uint64_t offset = m_bomLength;
        while (true) {
            if (offset >= static_cast<std::uint64_t>(m_fileSize)) {
                if (finder.finish()) {
                    break;
                }
                offset = finder.offset(); // a quote that never closed: read on from the line after it
                continue;
            }
            const ssize_t n = ::pread(m_fd, chunk.data(), chunk.size(), static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                throw KelboError(openError("読み込みに失敗しました"));
            }
            offset = finder.feed(chunk.data(), static_cast<std::size_t>(n));
        }
        m_starts = std::move(finder.starts);
        m_spanning = std::move(finder.spanning);
        m_lineEnds = finder.lineEnds();
        m_dialect = dialect();
    }

    void namesFromFirstLine()
    {
        if (m_starts.empty()) {
            throw KelboError(openError("空のファイルです (先頭行にフィールド名が必要です)"));
        }
        const std::string first(lineAt(0));
        std::vector<std::string> names;
        textsplit::splitRecord(first, dialect(), nullptr, &names);
        for (const auto& name : names) {
            TextField field;
            field.name = fromFile(logtable::trim(name));
            m_namesUtf8.push_back(toUtf8(logtable::trim(name)));
            m_fields.push_back(std::move(field));
        }
        m_firstRecordLine = 1;
    }

    /** Values past the fields the first line names have no field to show them in: the note says where. */
    void noteExtraValues()
    {
        long rows = 0;
        long first = 0;
        std::size_t values = 0;
        for (std::size_t index = 1; index < m_starts.size(); ++index) {
            textsplit::splitValues(lineAt(index), m_dialect, m_valueViews, m_unquoted);
            if (m_valueViews.size() > m_fields.size()) {
                if (rows++ == 0) {
                    first = static_cast<long>(index);
                }
                values += m_valueViews.size() - m_fields.size();
            }
        }
        if (rows > 0) {
            addNote(std::to_string(rows) + " 件のレコード (最初は " + std::to_string(first)
                    + " 件目) に先頭行のフィールド名より多い値があるため, 名前のない値 " + std::to_string(values)
                    + " 個は表示しません.");
        }
    }

    /** The bytes of record @p index without its line end, read through a window of the file. */
    std::string_view lineAt(std::size_t index)
    {
        const std::uint64_t start = m_starts[index];
        const auto spans
            = std::lower_bound(m_spanning.begin(), m_spanning.end(), std::make_pair(index, std::uint64_t{0}));
        const bool endKnown = spans != m_spanning.end() && spans->first == index;
        const std::uint64_t limit = endKnown ? spans->second
            : index + 1 < m_starts.size()    ? m_starts[index + 1]
                                             : static_cast<std::uint64_t>(m_fileSize);
        const auto length = static_cast<std::size_t>(limit - start);
        if (start < m_windowStart || start + length > m_windowStart + m_window.size()) {
            const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(
                std::max<std::size_t>(length, 64 * 1024), static_cast<std::uint64_t>(m_fileSize) - start));
            m_window.resize(size);
            m_windowStart = start;
            if (!logtable::readAt(m_fd, m_window.data(), size, static_cast<off_t>(start))) {
                m_window.clear();
                throw KelboError(readError("読み込みに失敗しました"));
            }
        }
        std::string_view line(m_window.data() + (start - m_windowStart), length);
        if (!endKnown) {
            line = line.substr(0, firstLineEnd(line));
        }
        while (!line.empty() && (line.back() == '\r' || line.back() == '\x1A')) {
            line.remove_suffix(1);
        }
        return line;
    }

    /** Where the first of the file's line end bytes is in @p line; its size when there is none. */
    std::size_t firstLineEnd(std::string_view line) const
    {
        if (m_lineEnds.size() == 1) {
            const void* end = std::memchr(line.data(), m_lineEnds[0], line.size());
            return end ? static_cast<std::size_t>(static_cast<const char*>(end) - line.data()) : line.size();
        }
        std::size_t i = 0;
        while (i < line.size() && m_lineEnds.find(line[i]) == std::string_view::npos) {
            ++i;
        }
        return i;
    }

    std::string spliceFixed(const std::string& line, const TextField& field, const std::string& value) const
    {
        std::string out = line;
        if (out.size() < field.offset + field.width) {
            out.resize(field.offset + field.width, ' ');
        }
        std::string bytes = m_utf8 ? utf8Cut(value, field.width) : cp932::cut(value, field.width);
        bytes.resize(field.width, ' ');
        out.replace(field.offset, field.width, bytes);
        return out;
    }

    std::string spliceVarying(const std::string& line, int position, const std::string& value) const
    {
        std::vector<Span> spans;
        const textsplit::Split split = textsplit::splitRecord(line, dialect(), &spans, nullptr);
        if (!split.doubt.empty()) {
            // Another reader may split this record otherwise: a value written here could land in another field.
            throw RecordRefusedError(writeError("レコードの区切りがあいまいなため書き込めません (" + split.doubt
                                                + "): " + cp932::toUtf8(cp932::cut(line, 80))));
        }
        const bool quoteIt = m_quote != 0 && m_fields[position].kind == Kind::Text;
        if (!quoteIt && value.find(m_separator) != std::string::npos) {
            throw RecordRefusedError(writeError("区切り文字を含む値は引用符のないフィールドに書き込めません"));
        }
        std::string out = line;
        while (spans.size() <= static_cast<std::size_t>(position)) {
            out.push_back(m_separator);
            spans.push_back({out.size(), out.size()});
        }
        std::string encoded;
        if (quoteIt) {
            encoded.push_back(m_quote);
        }
        // The quote is never a trail byte, so every quote byte of the value is doubled.
        for (const char c : value) {
            encoded.push_back(c);
            if (quoteIt && c == m_quote) {
                encoded.push_back(m_quote);
            }
        }
        if (quoteIt) {
            encoded.push_back(m_quote);
        }
        const Span span = spans[static_cast<std::size_t>(position)];
        out.replace(span.begin, span.end - span.begin, encoded);
        return out;
    }

    /** An edit of a line: the line as read and as it is to be. */
    struct Edit
    {
        std::string original;
        std::string line;
    };

    /** The bytes to replace in the file: @p length bytes at @p at become @p bytes. */
    struct Splice
    {
        off_t at = 0;
        std::size_t length = 0;
        std::string bytes;
    };

    /** Line @p index as the table shows it: with its edit of the running batch. */
    std::string_view recordLine(std::size_t index)
    {
        const auto edited = m_edits.find(index);
        return edited != m_edits.end() ? std::string_view(edited->second.line) : lineAt(index);
    }

    /** Under the lock: line @p index on disk must still be @p original. */
    void checkLine(logtable::TableWriter& writer, std::size_t index, const std::string& original)
    {
        std::string check(original.size(), '\0');
        writer.readAt(check.data(), check.size(), static_cast<off_t>(m_starts[index]));
        if (check != original) {
            writer.refuseChanged();
        }
    }

    /** Writes @p edits (by line index): only the bytes that differ from each line as read. When no length
     * changes they are written in place and synced; otherwise the table is rewritten once. */
    void commit(logtable::TableWriter& writer, const std::map<std::size_t, Edit>& edits)
    {
        std::vector<Splice> splices;
        std::vector<std::pair<std::size_t, std::int64_t>> deltas; // line index, change of length
        bool sameLength = true;
        for (const auto& [index, edit] : edits) {
            const std::string& line = edit.line;
            const std::string& original = edit.original;
            std::size_t head = 0;
            while (head < line.size() && head < original.size() && line[head] == original[head]) {
                ++head;
            }
            std::size_t tail = 0;
            while (tail < line.size() - head && tail < original.size() - head
                   && line[line.size() - 1 - tail] == original[original.size() - 1 - tail]) {
                ++tail;
            }
            const std::size_t oldLength = original.size() - head - tail;
            const std::string_view newBytes(line.data() + head, line.size() - head - tail);
            if (std::string_view(original.data() + head, oldLength) == newBytes) {
                continue;
            }
            splices.push_back({static_cast<off_t>(m_starts[index] + head), oldLength, std::string(newBytes)});
            const auto delta = static_cast<std::int64_t>(newBytes.size()) - static_cast<std::int64_t>(oldLength);
            if (delta != 0) {
                sameLength = false;
                deltas.emplace_back(index, delta);
            }
        }
        m_windowStart = 0;
        m_window.clear();
        if (splices.empty()) {
            return;
        }
        if (sameLength) {
            for (const Splice& splice : splices) {
                writer.writeAt(splice.bytes.data(), splice.bytes.size(), splice.at);
            }
            m_stamp = writer.sync();
            return;
        }
        rewrite(writer, splices);
        std::int64_t shift = 0;
        std::size_t next = 0;
        auto moved
            = [&shift](std::uint64_t at) { return static_cast<std::uint64_t>(static_cast<std::int64_t>(at) + shift); };
        auto spans = m_spanning.begin();
        for (std::size_t i = 0; i < m_starts.size(); ++i) {
            m_starts[i] = moved(m_starts[i]);
            if (next < deltas.size() && deltas[next].first == i) {
                shift += deltas[next++].second;
            }
            if (spans != m_spanning.end() && spans->first == i) {
                spans->second = moved(spans->second);
                ++spans;
            }
        }
        m_fileSize += shift;
    }

    /** A change of length: the table is copied with the new bytes into a file beside it, which replaces the
     * table only once it is complete and on disk. A link is written through to the file it names. A file with
     * more than one name (hard links), or in a folder the user may not write, is rewritten in place from the
     * first change on, under the lock, synced and read back. @p splices are in file order and do not overlap. */
    void rewrite(logtable::TableWriter& writer, const std::vector<Splice>& splices)
    {
        std::vector<char> buffer(1 << 20);
        auto produce = [&](const filewrite::Put& put, off_t from) {
            auto copy = [&](off_t to) {
                while (from < to) {
                    const auto n
                        = static_cast<std::size_t>(std::min<off_t>(static_cast<off_t>(buffer.size()), to - from));
                    if (!logtable::readAt(writer.fd(), buffer.data(), n, from)) {
                        throw filewrite::Failure("読み込みに失敗しました");
                    }
                    put(buffer.data(), n);
                    from += static_cast<off_t>(n);
                }
            };
            for (const Splice& splice : splices) {
                copy(splice.at);
                put(splice.bytes.data(), splice.bytes.size());
                from = splice.at + static_cast<off_t>(splice.length);
            }
            // The table as this view knows it; bytes another program appended are carried by rewriteFile.
            copy(static_cast<off_t>(m_fileSize));
        };
        if (rewriteFile(writer, splices.front().at, produce) == Rewrite::InPlace) {
            m_stamp = logtable::stampOf(m_fd);
            return;
        }
        // Read on from the new file.
        const int fd = ::open(path().c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            throw KelboError(writeError("書き込んだファイルを開けません"));
        }
        ::close(m_fd);
        m_fd = fd;
        m_stamp = logtable::stampOf(m_fd);
        // The new bytes are read back from the file that now holds the table, as an in-place write is.
        off_t shift = 0;
        for (const Splice& splice : splices) {
            std::string back(splice.bytes.size(), '\0');
            if (!logtable::readAt(m_fd, back.data(), back.size(), splice.at + shift) || back != splice.bytes) {
                throw KelboError(writeError("書き込んだ内容を読み返せません"));
            }
            shift += static_cast<off_t>(splice.bytes.size()) - static_cast<off_t>(splice.length);
        }
    }

    int m_fd = -1;
    off_t m_fileSize = 0;
    bool m_hasSchema = false;
    bool m_fixed = false;
    bool m_guessSeparator = false;
    logtable::TextCharset m_charset = logtable::TextCharset::Unknown; // as the schema names it
    bool m_utf8 = false;
    codepage::CodePage m_cp932; // a CP932 file's texts shown in UTF-8
    std::vector<std::string> m_namesUtf8; // the names of the first line as a person reads them
    char m_separator = ',';
    char m_quote = '"';
    std::vector<TextField> m_fields;
    std::vector<std::uint64_t> m_starts; // by record line: where it starts
    std::vector<std::pair<std::size_t, std::uint64_t>> m_spanning; // records holding quoted line ends: their end
    std::string_view m_lineEnds = "\n";
    std::uint64_t m_bomLength = 0;
    long m_firstRecordLine = 0;
    std::vector<char> m_window;
    std::uint64_t m_windowStart = 0;
    textsplit::Dialect m_dialect; // the table's, once its encoding is known
    std::vector<std::string_view> m_valueViews; // the values of the record last split, into it or m_unquoted
    std::string m_unquoted;
    std::map<std::size_t, Edit> m_edits; // by line index: the running batch's edits, written when it ends
};

} // namespace

std::unique_ptr<TableEngine> openTextTable(const std::string& path)
{
    return std::make_unique<TextEngine>(path);
}
