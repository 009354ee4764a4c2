#ifndef KELBO_TESTS_APP_MEMORYLOGTABLE_H
#define KELBO_TESTS_APP_MEMORYLOGTABLE_H

#include "common/KelboError.h"
#include "logtable/LogTable.h"

#include <algorithm>
#include <string>
#include <vector>

/** A log table held in memory for window tests: it opens only under the name it was given. */
class MemoryLogTable : public LogTable
{
public:
    MemoryLogTable(std::string name, std::vector<std::string> fields, std::vector<std::vector<std::string>> rows)
        : m_name(std::move(name))
        , m_fields(std::move(fields))
        , m_rows(std::move(rows))
    {
    }

    void OpenTable(const std::string& dir, const std::string& name) override
    {
        ++opens;
        if (name != m_name) {
            throw KelboError("Cannot open table " + dir + name + ": no such file");
        }
        m_open = true;
        m_pos = 0;
        m_atEnd = m_rows.empty();
        notifyReset();
    }
    void CloseTable() override
    {
        m_open = false;
        notifyReset();
    }
    bool IsOpen() const override { return m_open; }
    std::string ReadNote() const override { return m_open ? note : std::string(); }
    int FieldCount() const override { return static_cast<int>(m_fields.size()); }
    std::string FieldName(int position) const override { return m_fields.at(static_cast<std::size_t>(position)); }
    std::string FieldText(int position) const override { return CellText(m_pos, position); }
    void MoveFirst() override
    {
        check();
        m_pos = 0;
        m_atEnd = m_rows.empty();
        notifyCurrent();
    }
    void MoveNext() override
    {
        check();
        if (m_pos + 1 < RecordCount()) {
            ++m_pos;
        } else {
            m_atEnd = true;
        }
        notifyCurrent();
    }
    void MoveBy(long count) override
    {
        check();
        MoveTo(m_pos + count);
    }
    bool AtEnd() const override { return m_atEnd; }
    void EditRecord() override { check(); }
    void SetFieldText(int position, const std::string& text) override
    {
        check();
        m_rows.at(static_cast<std::size_t>(m_pos)).at(static_cast<std::size_t>(position)) = text;
    }
    void Post() override { }
    long RecordCount() const override { return static_cast<long>(m_rows.size()); }
    long RecNo() const override { return m_pos; }
    void MoveTo(long position) override
    {
        check();
        m_pos = std::clamp(position, 0L, std::max(0L, RecordCount() - 1));
        m_atEnd = false;
        notifyCurrent();
    }
    std::string CellText(long row, int field) const override
    {
        if (!m_open || row < 0 || row >= RecordCount()) {
            return std::string();
        }
        return m_rows[static_cast<std::size_t>(row)].at(static_cast<std::size_t>(field));
    }
    std::string FilePath() const override { return m_open ? "/memory/" + m_name : std::string(); }

    int opens = 0;

private:
    void check() const
    {
        if (!m_open) {
            throw KelboError(kClosedDatasetMessage);
        }
    }

public:
    std::string note; // what "could not be read" at the open

private:
    std::string m_name;
    std::vector<std::string> m_fields;
    std::vector<std::vector<std::string>> m_rows;
    bool m_open = false;
    long m_pos = 0;
    bool m_atEnd = true;
};

#endif
