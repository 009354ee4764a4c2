#include "convdef/TableDefinition.h"

#include "common/Cp932.h"
#include "convdef/SafeFile.h"

#include <algorithm>
#include <cstdlib>

namespace {

/** An entry that converts something: not "NULL" and not empty. */
bool converts(const std::string& expr)
{
    return !expr.empty() && expr != kNullConvExpr;
}

/** A free template may take any value, the call sign and the date included. */
bool isTemplateWithCodes(const std::string& expr)
{
    return expr.find('%') != std::string::npos;
}

int usedCount(int fieldCount)
{
    return std::max(0, std::min(fieldCount, kConvDefCount));
}

} // namespace

ConvDefNames NamesOfFields(const std::vector<std::string>& fieldNames)
{
    ConvDefNames names;
    for (std::size_t i = 0; i < fieldNames.size() && i < names.size(); ++i) {
        names[i] = fieldNames[i];
    }
    return names;
}

bool NoNamesKnown(const ConvDefNames& names)
{
    return std::all_of(names.begin(), names.end(), [](const std::string& n) { return n.empty(); });
}

void PlaceSendEntry(ConvDefTable& defs, const std::vector<std::string>& fieldNames, const std::string& sendField)
{
    if (sendField.empty()) {
        return;
    }
    const int count = usedCount(static_cast<int>(fieldNames.size()));
    int at = -1;
    for (int i = 0; i < count && at < 0; ++i) {
        if (cp932::equalsNoCase(fieldNames[static_cast<std::size_t>(i)], sendField)) {
            at = i;
        }
    }
    if (at < 0) {
        return;
    }
    for (std::string& e : defs) {
        if (e == "SEND") {
            e = kNullConvExpr;
        }
    }
    defs[static_cast<std::size_t>(at)] = "SEND";
}

BoundDefinition BindDefinition(const ConvDefTable& defs, const ConvDefNames& names,
                               const std::vector<std::string>& fieldNames, const std::string& sendField)
{
    BoundDefinition b;
    b.names = NamesOfFields(fieldNames);
    if (NoNamesKnown(names)) {
        b.entries = defs;
        PlaceSendEntry(b.entries, fieldNames, sendField);
        return b;
    }
    b.entries = NullConvDefTable();
    const int count = usedCount(static_cast<int>(fieldNames.size()));
    std::array<bool, kConvDefCount> placed{};
    for (std::size_t k = 0; k < defs.size(); ++k) {
        if (names[k].empty()) {
            continue;
        }
        int at = -1;
        for (int i = 0; i < count && at < 0; ++i) {
            const auto j = static_cast<std::size_t>(i);
            if (!placed[j] && cp932::equalsNoCase(fieldNames[j], names[k])) {
                at = i;
            }
        }
        if (at >= 0) {
            b.entries[static_cast<std::size_t>(at)] = defs[k];
            placed[static_cast<std::size_t>(at)] = true;
        } else if (converts(defs[k])) {
            b.mismatch = true;
        }
    }
    // Entries the definition held beyond the fields of its own table stay where they were, unused.
    for (std::size_t k = 0; k < defs.size(); ++k) {
        if (!names[k].empty()) {
            continue;
        }
        if (static_cast<int>(k) >= count && !placed[k]) {
            b.entries[k] = defs[k];
        } else if (converts(defs[k])) {
            b.mismatch = true;
        }
    }
    PlaceSendEntry(b.entries, fieldNames, sendField);
    return b;
}

bool DefinesCall(const ConvDefTable& defs, int fieldCount)
{
    const int count = usedCount(fieldCount);
    return std::any_of(defs.begin(), defs.begin() + count,
                       [](const std::string& e) { return e == "CALL" || isTemplateWithCodes(e); });
}

bool DefinesDate(const ConvDefTable& defs, int fieldCount)
{
    static const char* const kDates[] = {"DD",
                                         "DD MON",
                                         "DD MON 'YY",
                                         "DD/MM/YY",
                                         "MM",
                                         "MON",
                                         "MON DD",
                                         "YY",
                                         "'YY",
                                         "'YY DD MON",
                                         "YY.MM.DD",
                                         "YY/MM/DD",
                                         "YYDDMM",
                                         "YYMMDD",
                                         "YY-MM-DD",
                                         "YY-MM-DD HH:mm",
                                         "YY-MM-DD HHmm",
                                         "YYYY"};
    const int count = usedCount(fieldCount);
    return std::any_of(defs.begin(), defs.begin() + count, [](const std::string& e) {
        return isTemplateWithCodes(e)
            || std::any_of(std::begin(kDates), std::end(kDates), [&e](const char* d) { return e == d; });
    });
}

std::string TableDefinitionStore::PathIn(const std::string& baseDir)
{
    return baseDir + "KELBO-tables.ini";
}

TableDefinitionStore TableDefinitionStore::Load(const std::string& path)
{
    std::string data;
    if (!ReadWholeFile(path, data)) {
        data.clear();
    }
    TableDefinitionStore store = Parse(data);
    store.m_path = path;
    return store;
}

TableDefinitionStore TableDefinitionStore::Parse(std::string_view data)
{
    TableDefinitionStore store;
    std::size_t at = 0;
    while (at < data.size()) {
        std::size_t end = data.find('\n', at);
        if (end == std::string::npos) {
            end = data.size();
        }
        std::string line(data.substr(at, end - at));
        at = end + 1;
        // The file writes no carriage return inside a value; a stray one (a line ending in "\r\r\n") would
        // otherwise name a table that no longer exists once the file is written again.
        line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
        if (line == "[TABLE]") {
            store.m_entries.emplace_back();
            continue;
        }
        const std::size_t eq = line.find('=');
        if (store.m_entries.empty() || eq == std::string::npos) {
            continue;
        }
        Entry& e = store.m_entries.back();
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == "Path") {
            e.table = value;
            continue;
        }
        for (const char* prefix : {"FIELD", "NAME"}) {
            const std::size_t n = std::char_traits<char>::length(prefix);
            if (key.compare(0, n, prefix) != 0 || key.size() == n || key.size() > n + 2
                || !std::all_of(key.begin() + static_cast<long>(n), key.end(),
                                [](char c) { return c >= '0' && c <= '9'; })) {
                continue;
            }
            const int k = std::atoi(key.c_str() + n);
            if (k >= 1 && k <= kConvDefCount) {
                (n == 5 ? e.defs : e.names)[static_cast<std::size_t>(k - 1)] = value;
            }
        }
    }
    store.m_entries.erase(
        std::remove_if(store.m_entries.begin(), store.m_entries.end(), [](const Entry& e) { return e.table.empty(); }),
        store.m_entries.end());
    return store;
}

bool TableDefinitionStore::Find(const std::string& table, ConvDefTable& defs, ConvDefNames& names) const
{
    for (const Entry& e : m_entries) {
        if (e.table == table) {
            defs = e.defs;
            names = e.names;
            return true;
        }
    }
    return false;
}

void TableDefinitionStore::Put(const std::string& table, const ConvDefTable& defs, const ConvDefNames& names)
{
    m_entries.erase(
        std::remove_if(m_entries.begin(), m_entries.end(), [&table](const Entry& e) { return e.table == table; }),
        m_entries.end());
    m_entries.insert(m_entries.begin(), Entry{table, defs, names});
    if (m_entries.size() > kKept) {
        m_entries.resize(kKept);
    }
}

std::string TableDefinitionStore::Text() const
{
    // A line end inside a text would start a line of its own.
    const auto clean = [](std::string s) {
        s.erase(std::remove_if(s.begin(), s.end(), [](char c) { return c == '\r' || c == '\n'; }), s.end());
        return s;
    };
    std::string text;
    for (const Entry& e : m_entries) {
        text += "[TABLE]\r\nPath=" + clean(e.table) + "\r\n";
        for (int k = 0; k < kConvDefCount; ++k) {
            const auto i = static_cast<std::size_t>(k);
            text += "FIELD" + std::to_string(k + 1) + "=" + clean(e.defs[i]) + "\r\n";
            if (!e.names[i].empty()) {
                text += "NAME" + std::to_string(k + 1) + "=" + clean(e.names[i]) + "\r\n";
            }
        }
    }
    return text;
}

bool TableDefinitionStore::Save() const
{
    return WriteFileAtomically(m_path, Text());
}
