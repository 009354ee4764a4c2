#include "MemoryTable.h"

#include "common/KelboError.h"

#include <algorithm>

std::vector<std::string> MemoryTableData::column(int field) const
{
    std::vector<std::string> out;
    for (const auto& row : rows) {
        const auto f = static_cast<std::size_t>(field);
        out.push_back(f < row.size() ? row[f] : std::string());
    }
    return out;
}

MemoryEngine::MemoryEngine(std::shared_ptr<MemoryTableData> data)
    : m_data(std::move(data))
{
}

int MemoryEngine::fieldCount() const
{
    return static_cast<int>(m_data->names.size());
}

std::string MemoryEngine::fieldName(int field) const
{
    return m_data->names.at(static_cast<std::size_t>(field));
}

std::size_t MemoryEngine::fieldWidth(int field) const
{
    const auto f = static_cast<std::size_t>(field);
    return f < m_data->widths.size() ? m_data->widths[f] : 0;
}

long MemoryEngine::recordCount() const
{
    return static_cast<long>(m_data->rows.size());
}

void MemoryEngine::readRecord(long row, std::vector<std::string>& texts)
{
    m_data->readRows.push_back(row);
    const auto& failing = m_data->failingRows;
    if (std::find(failing.begin(), failing.end(), row) != failing.end()) {
        throw KelboError("テーブル memory の " + std::to_string(row + 1) + " 件目を読めません");
    }
    texts = m_data->rows.at(static_cast<std::size_t>(row));
    texts.resize(m_data->names.size());
}

void MemoryEngine::writeRecord(long row, const std::vector<std::pair<int, std::string>>& changes)
{
    if (m_data->beforeWrite) {
        m_data->beforeWrite(row);
    }
    auto& texts = m_data->rows.at(static_cast<std::size_t>(row));
    texts.resize(m_data->names.size());
    for (const auto& change : changes) {
        texts.at(static_cast<std::size_t>(change.first)) = change.second;
    }
    m_data->writtenRows.push_back(row);
}

void MemoryEngine::beginBatch()
{
    m_data->inBatch = true;
}

void MemoryEngine::endBatch()
{
    if (!m_data->inBatch) {
        return;
    }
    m_data->inBatch = false;
    if (m_data->onBatchEnd) {
        m_data->onBatchEnd();
    }
}

std::string MemoryEngine::readNote() const
{
    return m_data->note;
}

std::shared_ptr<MemoryTableData> memoryTableData(std::vector<std::string> names,
                                                 std::vector<std::vector<std::string>> rows)
{
    auto data = std::make_shared<MemoryTableData>();
    data->names = std::move(names);
    data->rows = std::move(rows);
    return data;
}

std::unique_ptr<LogTable> openMemoryTable(const std::shared_ptr<MemoryTableData>& data, const std::string& path)
{
    return createLogTable(std::make_unique<MemoryEngine>(data), path);
}
