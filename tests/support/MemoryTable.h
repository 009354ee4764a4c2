#ifndef KELBO_TESTS_SUPPORT_MEMORYTABLE_H
#define KELBO_TESTS_SUPPORT_MEMORYTABLE_H

#include "logtable/LogTable.h"
#include "logtable/TableEngine.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

/** @brief What a table in memory holds, shared by its engine (owned by the table object) and the test that made
 * it: the test reads and changes the rows as another program would change a file, and sets the faults. */
struct MemoryTableData
{
    std::vector<std::string> names;
    std::vector<std::vector<std::string>> rows;
    /** Bytes each field holds at most; a field without an entry (or 0) has no fixed width. */
    std::vector<std::size_t> widths;
    /** Returned by the engine's readNote. */
    std::string note;

    /** Rows whose reading fails as a damaged file would. */
    std::vector<long> failingRows;
    /** Called before each record write, with its row; may throw KelboError to refuse it. */
    std::function<void(long row)> beforeWrite;
    /** Called when a write batch ends. */
    std::function<void()> onBatchEnd;

    /** Rows written, in order. */
    std::vector<long> writtenRows;
    /** True between the engine's beginBatch and endBatch. */
    bool inBatch = false;
    /** Rows read by the engine, in order. */
    std::vector<long> readRows;

    /** Column @p field of every row. */
    std::vector<std::string> column(int field) const;
};

/** @brief A table engine over a MemoryTableData: the rows are the "file". Every row is as wide as the field list
 * (shorter rows are padded with empty texts when read). */
class MemoryEngine : public TableEngine
{
public:
    explicit MemoryEngine(std::shared_ptr<MemoryTableData> data);

    int fieldCount() const override;
    std::string fieldName(int field) const override;
    std::size_t fieldWidth(int field) const override;
    long recordCount() const override;
    void readRecord(long row, std::vector<std::string>& texts) override;
    void writeRecord(long row, const std::vector<std::pair<int, std::string>>& changes) override;
    void beginBatch() override;
    void endBatch() override;
    std::string readNote() const override;

private:
    std::shared_ptr<MemoryTableData> m_data;
};

/** @brief The data of a table with fields @p names and rows @p rows. */
std::shared_ptr<MemoryTableData> memoryTableData(std::vector<std::string> names,
                                                 std::vector<std::vector<std::string>> rows);

/** @brief The real table object open over @p data, its FilePath @p path. */
std::unique_ptr<LogTable> openMemoryTable(const std::shared_ptr<MemoryTableData>& data,
                                          const std::string& path = "memory");

#endif
