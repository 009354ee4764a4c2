#ifndef KELBO_TESTS_CONVERT_MEMORYLOGTABLE_H
#define KELBO_TESTS_CONVERT_MEMORYLOGTABLE_H

#include "common/KelboError.h"
#include "logtable/LogTable.h"

#include <string>
#include <utility>
#include <vector>

/** A log table held in memory for the conversion and walk tests: rows of field texts, all rows as wide as
 * the field count. It counts the FieldText reads per field position, and a position listed in
 * failingFields throws as a broken table would. */
class MemoryLogTable : public LogTable
{
public:
    MemoryLogTable(int fieldCount, std::vector<std::vector<std::string>> rows)
        : m_fieldCount(fieldCount)
        , m_rows(std::move(rows))
        , m_reads(static_cast<std::size_t>(fieldCount), 0)
    {
        for (auto& row : m_rows) {
            row.resize(static_cast<std::size_t>(fieldCount));
        }
    }

    void OpenTable(const std::string&, const std::string&) override { }
    void CloseTable() override { }
    bool IsOpen() const override { return true; }
    int FieldCount() const override { return m_fieldCount; }
    std::string FieldName(int position) const override { return "F" + std::to_string(position + 1); }
    std::string FieldText(int position) const override
    {
        if (position < 0 || position >= m_fieldCount || m_position >= static_cast<long>(m_rows.size())) {
            throw KelboError("no such field");
        }
        ++m_reads[static_cast<std::size_t>(position)];
        for (int failing : failingFields) {
            if (failing == position) {
                throw KelboError("read error");
            }
        }
        return m_rows[static_cast<std::size_t>(m_position)][static_cast<std::size_t>(position)];
    }
    void MoveFirst() override { m_position = 0; }
    void MoveNext() override
    {
        if (m_position < static_cast<long>(m_rows.size())) {
            ++m_position;
        }
    }
    void MoveBy(long count) override { m_position += count; }
    bool AtEnd() const override { return m_position >= static_cast<long>(m_rows.size()); }
    void EditRecord() override { }
    void SetFieldText(int, const std::string&) override { }
    void Post() override { }
    long RecordCount() const override { return static_cast<long>(m_rows.size()); }
    long RecNo() const override { return m_position; }
    void MoveTo(long position) override { m_position = position; }
    std::string CellText(long row, int field) const override
    {
        return m_rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(field)];
    }
    std::string FilePath() const override { return "memory"; }

    int reads(int position) const { return m_reads[static_cast<std::size_t>(position)]; }

    std::vector<int> failingFields;

private:
    int m_fieldCount;
    std::vector<std::vector<std::string>> m_rows;
    long m_position = 0;
    mutable std::vector<int> m_reads;
};

#endif
