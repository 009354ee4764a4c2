#include "LabelSheet.h"

#include <algorithm>
#include <cmath>

namespace {

LabelSheet preset(const char* key, int columns, int rows, double width, double height, double top, double left,
                  double hGap, double vGap)
{
    LabelSheet s;
    s.key = QString::fromLatin1(key);
    s.columns = columns;
    s.rows = rows;
    s.labelWidth = width;
    s.labelHeight = height;
    s.top = top;
    s.left = left;
    s.hGap = hGap;
    s.vGap = vGap;
    return s;
}

QString mm(double v)
{
    return QString::number(v, 'g', 8);
}

/** Whether @p v lies in [@p lo, @p hi]; a value that is no number never does. */
bool within(double v, double lo, double hi)
{
    return v >= lo && v <= hi;
}

/** Labels that reach past the page by less than this are taken as fitting: sheets are sold with sizes rounded to
 * tenths of a millimetre. */
constexpr double kSlack = 0.05;

} // namespace

const std::vector<LabelSheet>& labelSheetPresets()
{
    static const std::vector<LabelSheet> presets = {
        // 12 labels of 105 x 48 mm in two columns, 4.5 mm above and below: the common 12-up address sheet.
        preset("A4-12", 2, 6, 105, 48, 4.5, 0, 0, 0),
        // 18 labels of 63.5 x 46.6 mm in three columns with margins all round and 2.5 mm between the columns.
        preset("A4-18", 3, 6, 63.5, 46.6, 8.7, 7.25, 2.5, 0),
        // 21 labels of 70 x 42.3 mm, edge to edge across the sheet.
        preset("A4-21", 3, 7, 70, 42.3, 0.45, 0, 0, 0),
        // 24 labels of 70 x 37 mm, edge to edge across the sheet.
        preset("A4-24", 3, 8, 70, 37, 0.5, 0, 0, 0),
    };
    return presets;
}

const LabelSheet* labelSheetPreset(const QString& key)
{
    const auto& all = labelSheetPresets();
    const auto at = std::find_if(all.begin(), all.end(), [&key](const LabelSheet& s) { return s.key == key; });
    return at == all.end() ? nullptr : &*at;
}

int LabelSheet::cells() const
{
    // Counts from a hand-written file may be anything: never a product that overflows.
    if (columns < 1 || rows < 1) {
        return 0;
    }
    return static_cast<int>(std::min<qint64>(static_cast<qint64>(columns) * rows, 1 << 20));
}

QRectF LabelSheet::cell(int index) const
{
    const int column = columns > 0 ? index % columns : 0;
    const int row = columns > 0 ? index / columns : 0;
    return QRectF(left + column * (labelWidth + hGap), top + row * (labelHeight + vGap), labelWidth, labelHeight);
}

QRectF LabelSheet::printable(int index) const
{
    const QRectF c = cell(index);
    const double l = std::max(c.left() + kLabelPadding, kPageMargin);
    const double t = std::max(c.top() + kLabelPadding, kPageMargin);
    const double r = std::min(c.right() - kLabelPadding, pageWidth - kPageMargin);
    const double b = std::min(c.bottom() - kLabelPadding, pageHeight - kPageMargin);
    return QRectF(l, t, std::max(0.0, r - l), std::max(0.0, b - t));
}

QString LabelSheet::problem() const
{
    if (!unreadable.isEmpty()) {
        return QStringLiteral("ラベル用紙の設定 %1 が数ではありません.").arg(unreadable);
    }
    struct Range
    {
        const char* what;
        double value;
        double lo;
        double hi;
    };
    const Range ranges[] = {
        {"用紙の幅", pageWidth, 50, 600},
        {"用紙の高さ", pageHeight, 50, 600},
        {"ラベルの幅", labelWidth, kMinLabelWidth, std::max(kMinLabelWidth, pageWidth)},
        {"ラベルの高さ", labelHeight, kMinLabelHeight, std::max(kMinLabelHeight, pageHeight)},
        {"上余白", top, 0, pageHeight},
        {"左余白", left, 0, pageWidth},
        {"横の間隔", hGap, 0, pageWidth},
        {"縦の間隔", vGap, 0, pageHeight},
    };
    for (const Range& r : ranges) {
        if (!within(r.value, r.lo, r.hi)) {
            return QStringLiteral("%1「%2」mm は使えません. %3〜%4 mm にしてください.")
                .arg(QString::fromUtf8(r.what), mm(r.value), mm(r.lo), mm(r.hi));
        }
    }
    if (!within(columns, 1, 20)) {
        return QStringLiteral("列数「%1」は使えません. 1〜20 にしてください.").arg(columns);
    }
    if (!within(rows, 1, 30)) {
        return QStringLiteral("行数「%1」は使えません. 1〜30 にしてください.").arg(rows);
    }
    const double across = left + columns * labelWidth + (columns - 1) * hGap;
    if (across > pageWidth + kSlack) {
        return QStringLiteral("ラベルが用紙の幅に収まりません: 左余白 %1 + %2 列 x ラベルの幅 %3 + 横の間隔 %4 x %5 = "
                              "%6 mm が用紙の幅 %7 mm を超えます.")
            .arg(mm(left))
            .arg(columns)
            .arg(mm(labelWidth), mm(hGap))
            .arg(columns - 1)
            .arg(mm(across), mm(pageWidth));
    }
    const double down = top + rows * labelHeight + (rows - 1) * vGap;
    if (down > pageHeight + kSlack) {
        return QStringLiteral("ラベルが用紙の高さに収まりません: 上余白 %1 + %2 行 x ラベルの高さ %3 + 縦の間隔 %4 x "
                              "%5 = %6 mm が用紙の高さ %7 mm を超えます.")
            .arg(mm(top))
            .arg(rows)
            .arg(mm(labelHeight), mm(vGap))
            .arg(rows - 1)
            .arg(mm(down), mm(pageHeight));
    }
    return QString();
}

QString LabelSheet::caption() const
{
    const QString grid
        = QStringLiteral("%1 x %2, %3 x %4 mm").arg(columns).arg(rows).arg(mm(labelWidth), mm(labelHeight));
    if (key == QLatin1String("Custom")) {
        return QStringLiteral("カスタム (%1)").arg(grid);
    }
    return QStringLiteral("A4 %1面 (%2)").arg(cells()).arg(grid);
}

QString LabelSheet::media() const
{
    if (std::abs(pageWidth - 210) < 0.5 && std::abs(pageHeight - 297) < 0.5) {
        return QStringLiteral("iso_a4_210x297mm");
    }
    return QStringLiteral("custom_labels_%1x%2mm").arg(mm(pageWidth), mm(pageHeight));
}

LabelPlace labelPlace(const LabelSheet& sheet, int start, int k)
{
    const int cells = std::max(1, sheet.cells());
    const int at = std::clamp(start, 1, cells) - 1 + k;
    LabelPlace p;
    p.sheet = at / cells;
    p.cell = at % cells;
    p.rect = sheet.cell(p.cell);
    return p;
}

int labelSheetCount(const LabelSheet& sheet, int start, int count)
{
    return count <= 0 ? 0 : labelPlace(sheet, start, count - 1).sheet + 1;
}

LabelRange labelsOnSheets(const LabelSheet& sheet, int start, int count, int from, int to)
{
    LabelRange r;
    const int cells = std::max(1, sheet.cells());
    const int skipped = std::clamp(start, 1, cells) - 1; // cells of the first sheet already used
    const auto firstOn = [&](int sheetIndex) { return std::clamp(sheetIndex * cells - skipped, 0, count); };
    r.first = firstOn(std::max(from, 1) - 1);
    r.last = std::max(r.first, firstOn(std::max(to, from)));
    r.start = from <= 1 ? std::clamp(start, 1, cells) : 1;
    return r;
}

int nextLabelStart(const LabelSheet& sheet, int lastCell)
{
    return lastCell + 1 < sheet.cells() ? lastCell + 2 : 1;
}
