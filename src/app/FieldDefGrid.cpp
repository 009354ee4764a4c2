#include "app/FieldDefGrid.h"

#include "common/Cp932.h"
#include "logtable/LogTable.h"

#include <QPainter>

#include <algorithm>

namespace {

constexpr int kTextCapacity = 255; // bytes of one cell's text that the drawing holds
const char* const kTitles[FieldDefGridModel::kColumns] = {"No.", "変換式", "名称", "内容"};

QString decodeCell(const std::string& bytes)
{
    return cp932::toUnicode(cp932::cut(bytes, kTextCapacity));
}

} // namespace

FieldDefGridModel::FieldDefGridModel(const ConvDefTable& entries, QObject* parent)
    : QAbstractTableModel(parent)
    , m_entries(entries)
{
}

int FieldDefGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kConvDefCount;
}

int FieldDefGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QVariant FieldDefGridModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid()) {
        return QVariant();
    }
    return cellText(index.column(), index.row() + 1);
}

QVariant FieldDefGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < kColumns) {
        return QString::fromUtf8(kTitles[section]);
    }
    return QVariant();
}

QString FieldDefGridModel::cellText(int col, int row) const
{
    if (col < 0 || col >= kColumns || row < 0 || row > kConvDefCount) {
        return QString();
    }
    if (row == 0) {
        return QString::fromUtf8(kTitles[col]);
    }
    const int k = row - 1;
    switch (col) {
    case 0:
        return QString::number(row);
    case 1:
        return decodeCell(m_entries[k]);
    case 2:
        return k < m_names.size() ? m_names[k] : QString();
    default:
        return k < m_values.size() ? m_values[k] : QString();
    }
}

void FieldDefGridModel::reload(const LogTable& table)
{
    m_names.clear();
    m_values.clear();
    if (table.IsOpen()) {
        const int n = std::min(table.FieldCount(), kConvDefCount);
        for (int k = 0; k < n; ++k) {
            m_names << decodeCell(table.FieldName(k));
            m_values << decodeCell(table.FieldText(k));
        }
    }
    emit dataChanged(index(0, 0), index(kConvDefCount - 1, kColumns - 1));
}

void FieldDefGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QPalette& pal = option.palette;
    const bool selected = option.state & QStyle::State_Selected;
    const QString text = index.data(Qt::DisplayRole).toString();
    QColor background;
    QColor foreground;
    if (index.column() == 0) {
        // The number column is fixed: it keeps its own colours in the selected row too.
        background = pal.color(QPalette::Button);
        foreground = pal.color(QPalette::ButtonText);
    } else if (selected) {
        // The selection stays visible while the user types in the expression box.
        background = pal.color(QPalette::Active, QPalette::Highlight);
        foreground = pal.color(QPalette::Active, QPalette::HighlightedText);
    } else {
        background = pal.color(QPalette::Base);
        foreground = pal.color(QPalette::Text);
        if (index.column() == 1) {
            foreground = text == QLatin1String("NULL") ? QColor(Qt::black) : QColor(0, 0, 255);
        }
    }
    painter->save();
    painter->fillRect(option.rect, background);
    painter->setClipRect(option.rect);
    painter->setFont(option.font);
    painter->setPen(foreground);
    // The text's top is 2 pixels below the cell's, measured on the em box: a substitute font may report
    // a much taller ascent than the design font, which would push the text out of the 24-pixel rows.
    const QFontMetrics fm(option.font);
    const int pixelSize = option.font.pixelSize();
    const int ascent = pixelSize > 0 ? std::min(fm.ascent(), (pixelSize * 86 + 50) / 100) : fm.ascent();
    painter->drawText(QPoint(option.rect.left() + 4, option.rect.top() + 2 + ascent), text);
    painter->restore();
}
