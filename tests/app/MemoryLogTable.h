#ifndef KELBO_TESTS_APP_MEMORYLOGTABLE_H
#define KELBO_TESTS_APP_MEMORYLOGTABLE_H

#include "MemoryTable.h"
#include "common/KelboError.h"
#include "logtable/LogTable.h"

#include <memory>
#include <string>
#include <vector>

/** A log table held in memory for window tests: the real table object over the in-memory engine, which opens
 * only under the name it was given. The grid's notifications pass through. */
class MemoryLogTable : public LogTable
{
public:
    MemoryLogTable(std::string name, std::vector<std::string> fields, std::vector<std::vector<std::string>> rows)
        : data(memoryTableData(std::move(fields), std::move(rows)))
        , m_name(std::move(name))
        , m_table(createLogTable([d = data](const std::string&) -> std::unique_ptr<TableEngine> {
            return std::make_unique<MemoryEngine>(d);
        }))
    {
        m_table->setListener(&m_relay);
    }
    MemoryLogTable(MemoryLogTable&& other) noexcept
        : LogTable()
        , opens(other.opens)
        , note(std::move(other.note))
        , data(std::move(other.data))
        , m_name(std::move(other.m_name))
        , m_table(std::move(other.m_table))
    {
        m_table->setListener(&m_relay);
    }
    MemoryLogTable& operator=(MemoryLogTable&&) = delete;
    ~MemoryLogTable() override
    {
        if (m_table) {
            m_table->setListener(nullptr);
        }
    }

    void OpenTable(const std::string& dir, const std::string& name) override
    {
        ++opens;
        if (name != m_name) {
            throw KelboError("Cannot open table " + dir + name + ": no such file");
        }
        m_table->OpenTable(dir, name);
    }
    void CloseTable() override { m_table->CloseTable(); }
    bool IsOpen() const override { return m_table->IsOpen(); }
    std::string ReadNote() const override { return IsOpen() ? note : std::string(); }
    int FieldCount() const override { return m_table->FieldCount(); }
    std::string FieldName(int position) const override { return m_table->FieldName(position); }
    std::string FieldText(int position) const override { return m_table->FieldText(position); }
    void FieldTexts(std::vector<std::string>& texts) const override { m_table->FieldTexts(texts); }
    void MoveFirst() override { m_table->MoveFirst(); }
    void MoveNext() override { m_table->MoveNext(); }
    void MoveBy(long count) override { m_table->MoveBy(count); }
    bool AtEnd() const override { return m_table->AtEnd(); }
    void EditRecord() override { m_table->EditRecord(); }
    void SetFieldText(int position, const std::string& text) override { m_table->SetFieldText(position, text); }
    std::size_t FieldWidth(int position) const override { return m_table->FieldWidth(position); }
    void Post() override { m_table->Post(); }
    void BeginWriteBatch() override { m_table->BeginWriteBatch(); }
    void EndWriteBatch() override { m_table->EndWriteBatch(); }
    long RecordCount() const override { return m_table->RecordCount(); }
    long RecNo() const override { return m_table->RecNo(); }
    void MoveTo(long position) override { m_table->MoveTo(position); }
    std::string CellText(long row, int field) const override { return m_table->CellText(row, field); }
    std::string FilePath() const override { return m_table->FilePath(); }

    int opens = 0;
    std::string note; // what "could not be read" at the open
    /** The rows, as another program would see the file. */
    std::shared_ptr<MemoryTableData> data;

private:
    /** Passes the real table's notifications on as this table's own. */
    struct Relay : LogTableListener
    {
        explicit Relay(MemoryLogTable* owner)
            : owner(owner)
        {
        }
        void tableReset() override { owner->notifyReset(); }
        void currentChanged(long) override { owner->notifyCurrent(); }
        void recordChanged(long position) override { owner->notifyRecord(position); }
        MemoryLogTable* owner;
    };

    std::string m_name;
    Relay m_relay{this};
    std::unique_ptr<LogTable> m_table;
};

#endif
