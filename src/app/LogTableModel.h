#ifndef KELBO_APP_LOGTABLEMODEL_H
#define KELBO_APP_LOGTABLEMODEL_H

#include "logtable/LogTable.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QStringList>

/** @brief Read-only grid model over the open log table.
 *
 * Rows are the table's records, columns its fields, headers the field names. Cells are read on demand
 * through LogTable::CellText with a small row cache, so a table of a million records shows at once. The
 * vertical header marks the current record with "▶". While the table's grid is detached (DetachGrid) the
 * model keeps showing what it had; AttachGrid brings it up to date in one reset. */
class LogTableModel : public QAbstractTableModel, public LogTableListener
{
    Q_OBJECT
public:
    /** @brief Follows @p table (becomes its listener) for the model's lifetime, or until the table is
     * destroyed; either may go first. */
    explicit LogTableModel(LogTable& table, QObject* parent = nullptr);
    ~LogTableModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    /** @brief The SEND field's position (-1 for none): rows whose mark there counts as sent by the table's send-mark
     * rule (the one the unsent count and the transfer use) are drawn in a subdued colour. */
    void setSendField(int position);
    /** @brief True when @p row carries a send mark (see setSendField). */
    bool isMarked(int row) const;

    /** @brief Row of the table's current record as last told, -1 when closed. */
    int currentRow() const { return m_currentRow; }

    // LogTableListener
    void tableReset() override;
    void currentChanged(long position) override;
    void recordChanged(long position) override;
    void tableDestroyed() override;

signals:
    /** @brief The table's current record moved to @p row (the grid scrolls there and selects it). */
    void currentRecordChanged(int row);

private:
    const QStringList& rowTexts(int row) const;

    LogTable* m_table;
    int m_rows = 0;
    int m_columns = 0;
    int m_currentRow = -1;
    int m_sendField = -1;
    SendMarkRule m_rule;
    QStringList m_headers;
    mutable QHash<int, QStringList> m_cache;
};

#endif
