#include "app/LogTableModel.h"

#include "common/Cp932.h"
#include "common/KelboError.h"

#include <QColor>
#include <QGuiApplication>
#include <QPalette>
#include <algorithm>
#include <climits>

namespace {
// Rows kept decoded: a few screens of a grid.
constexpr int kCacheRows = 512;
} // namespace

LogTableModel::LogTableModel(LogTable& table, QObject* parent)
    : QAbstractTableModel(parent)
    , m_table(&table)
{
    m_table->setListener(this);
    tableReset();
    currentChanged(m_table->IsOpen() ? m_table->RecNo() : -1);
}

LogTableModel::~LogTableModel()
{
    if (m_table) {
        m_table->setListener(nullptr);
    }
}

void LogTableModel::tableDestroyed()
{
    m_table = nullptr;
    tableReset();
}

int LogTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int LogTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

const QStringList& LogTableModel::rowTexts(int row) const
{
    auto it = m_cache.constFind(row);
    if (it != m_cache.constEnd()) {
        return *it;
    }
    if (m_cache.size() >= kCacheRows) {
        m_cache.clear();
    }
    QStringList texts;
    texts.reserve(m_columns);
    try {
        for (int column = 0; m_table && column < m_columns; ++column) {
            texts.append(cp932::toUnicode(m_table->CellText(row, column)));
        }
    } catch (const KelboError&) {
        // A closed table or a read failure shows empty cells; the failure itself surfaces where the
        // operator acts on the table.
        texts.clear();
        for (int column = 0; column < m_columns; ++column) {
            texts.append(QString());
        }
    }
    return *m_cache.insert(row, texts);
}

QVariant LogTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows || index.column() >= m_columns) {
        return {};
    }
    if (role == Qt::ForegroundRole) {
        if (isMarked(index.row())) {
            // Halfway between text and background: readable, but plainly done with, in light and dark themes.
            const QPalette palette = QGuiApplication::palette();
            const QColor text = palette.color(QPalette::Text);
            const QColor base = palette.color(QPalette::Base);
            return QColor((text.red() + base.red()) / 2, (text.green() + base.green()) / 2,
                          (text.blue() + base.blue()) / 2);
        }
        return {};
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) {
        return {};
    }
    return rowTexts(index.row()).value(index.column());
}

void LogTableModel::setSendField(int position)
{
    if (position == m_sendField) {
        return;
    }
    m_sendField = position;
    if (m_rows > 0 && m_columns > 0) {
        emit dataChanged(index(0, 0), index(m_rows - 1, m_columns - 1), {Qt::ForegroundRole});
    }
}

bool LogTableModel::isMarked(int row) const
{
    if (m_sendField < 0 || m_sendField >= m_columns || row < 0 || row >= m_rows) {
        return false;
    }
    // The table's own rule, as the unsent count and the transfer read it (an ADIF log's QSL_SENT N is not sent).
    const QString text = rowTexts(row).value(m_sendField);
    const char16_t first = text.isEmpty() ? u'\0' : text.at(0).unicode();
    // A mark that is no ASCII character is a mark: any byte outside ASCII stands for it.
    return !m_rule.isUnsentChar(first < 0x80 ? static_cast<char>(first) : '\x81');
}

QVariant LogTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole) {
        return {};
    }
    if (orientation == Qt::Horizontal) {
        return m_headers.value(section);
    }
    return section == m_currentRow ? QStringLiteral("▶") : QString();
}

Qt::ItemFlags LogTableModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void LogTableModel::tableReset()
{
    beginResetModel();
    m_cache.clear();
    m_headers.clear();
    if (m_table && m_table->IsOpen()) {
        m_rows = static_cast<int>(std::min<long>(m_table->RecordCount(), INT_MAX));
        m_columns = m_table->FieldCount();
        m_rule = m_table->sendMarkRule();
        for (int column = 0; column < m_columns; ++column) {
            m_headers.append(cp932::toUnicode(m_table->FieldName(column)));
        }
    } else {
        m_rows = 0;
        m_columns = 0;
        m_rule = SendMarkRule();
    }
    m_currentRow = -1;
    endResetModel();
}

void LogTableModel::currentChanged(long position)
{
    const int previous = m_currentRow;
    m_currentRow = position >= 0 && position < m_rows ? static_cast<int>(position)
        : position >= m_rows && m_rows > 0            ? m_rows - 1
                                                      : -1;
    if (previous == m_currentRow) {
        return;
    }
    if (previous >= 0 && previous < m_rows) {
        emit headerDataChanged(Qt::Vertical, previous, previous);
    }
    if (m_currentRow >= 0) {
        emit headerDataChanged(Qt::Vertical, m_currentRow, m_currentRow);
    }
    emit currentRecordChanged(m_currentRow);
}

void LogTableModel::recordChanged(long position)
{
    if (position < 0 || position >= m_rows) {
        return;
    }
    const int row = static_cast<int>(position);
    m_cache.remove(row);
    emit dataChanged(index(row, 0), index(row, std::max(0, m_columns - 1)));
}
