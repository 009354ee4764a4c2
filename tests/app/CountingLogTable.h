#ifndef KELBO_TESTS_COUNTINGLOGTABLE_H
#define KELBO_TESTS_COUNTINGLOGTABLE_H

#include "logtable/LogTable.h"

#include <memory>
#include <string>

/** A real engine table behind a table object that counts the cells read through CellText (the grid, the count and
 * the undo alike), passing every change on to its own listener. */
struct CountingLogTable : LogTable, LogTableListener
{
    CountingLogTable() { inner->setListener(this); }
    ~CountingLogTable() override { inner->setListener(nullptr); }
    std::unique_ptr<LogTable> inner = createLogTable();
    mutable long cells = 0;
    void OpenTable(const std::string& d, const std::string& n) override { inner->OpenTable(d, n); }
    void CloseTable() override { inner->CloseTable(); }
    bool IsOpen() const override { return inner->IsOpen(); }
    int FieldCount() const override { return inner->FieldCount(); }
    std::string FieldName(int p) const override { return inner->FieldName(p); }
    std::string FieldText(int p) const override { return inner->FieldText(p); }
    void MoveFirst() override { inner->MoveFirst(); }
    void MoveNext() override { inner->MoveNext(); }
    void MoveBy(long c) override { inner->MoveBy(c); }
    bool AtEnd() const override { return inner->AtEnd(); }
    void EditRecord() override { inner->EditRecord(); }
    void SetFieldText(int p, const std::string& t) override { inner->SetFieldText(p, t); }
    std::size_t FieldWidth(int p) const override { return inner->FieldWidth(p); }
    void Post() override { inner->Post(); }
    void BeginWriteBatch() override { inner->BeginWriteBatch(); }
    void EndWriteBatch() override { inner->EndWriteBatch(); }
    long RecordCount() const override { return inner->RecordCount(); }
    long RecNo() const override { return inner->RecNo(); }
    void MoveTo(long p) override { inner->MoveTo(p); }
    std::string CellText(long r, int f) const override
    {
        ++cells;
        return inner->CellText(r, f);
    }
    std::string FilePath() const override { return inner->FilePath(); }
    SendMarkRule sendMarkRule() const override { return inner->sendMarkRule(); }
    void tableReset() override { notifyReset(); }
    void currentChanged(long) override { notifyCurrent(); }
    void recordChanged(long position) override { notifyRecord(position); }
};

#endif
