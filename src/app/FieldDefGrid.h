#ifndef KELBO_APP_FIELDDEFGRID_H
#define KELBO_APP_FIELDDEFGRID_H

#include "convert/ConvDefTable.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <QStyledItemDelegate>

class LogTable;

/** @brief The definition dialog's grid cells: row r of the model is grid row r+1 (the header row is the view's
 * header); columns number, expression, field name and the current record's value. */
class FieldDefGridModel : public QAbstractTableModel
{
public:
    static constexpr int kColumns = 4;

    FieldDefGridModel(const ConvDefTable& entries, QObject* parent);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    /** @brief Text of grid cell (@p col, @p row), row 0 being the titles. */
    QString cellText(int col, int row) const;
    /** @brief Reads the field names and the current record's values again (only while the table is open). */
    void reload(const LogTable& table);

private:
    const ConvDefTable& m_entries;
    QStringList m_names;
    QStringList m_values;
};

/** @brief Paints every cell: the background the grid chose for it, then the text 4 pixels in and 2 down. In the
 * expression column an unselected "NULL" is black and any other expression pure blue. */
class FieldDefGridDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

#endif
