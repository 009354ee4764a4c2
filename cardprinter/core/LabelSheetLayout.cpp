#include "LabelSheetLayout.h"

#include "CardSheet.h"

#include <QFontMetricsF>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr double kPointMm = 25.4 / 72;

/** The height (mm) a line of @p points takes, the font's ascent and descent with a little air. */
double lineHeight(double points)
{
    return points * kPointMm * 1.3;
}

/** The largest size (pt) whose line fits in @p mm. */
double pointsFor(double mm)
{
    return mm / (kPointMm * 1.3);
}

constexpr double kRowLeast = 7.0; // a contact row, never smaller
constexpr double kRowMost = 9.0;
constexpr double kCallLeast = 12.0; // the destination call, the largest text of a label
constexpr double kCallMost = 20.0;
constexpr double kBottom = 8.0; // PSE/TNX QSL, own call, number
constexpr double kGap = 0.6; // between the parts

// Labels keep the cards' drawing rules (a legible size, an ellipsis rather than overflow, the slashed zero); these
// draw in the label's device units.

void fitted(QPainter& p, const QRectF& rect, const QString& text, double points, bool bold, int align)
{
    CardSheet(p, 1, false).fitted(rect, text, points, bold, align);
}

/** A call sign in bold, centred on @p rect's middle line; the width drawn. */
double callSign(QPainter& p, const QRectF& rect, const QString& text, double points, int align, bool slashedZero)
{
    return CardSheet(p, 1, false).callSign(rect, text, points, true, align, slashedZero);
}

void wrapped(QPainter& p, const QRectF& rect, const QString& text, double points)
{
    CardSheet(p, 1, false).wrapped(rect, text, points, Qt::AlignLeft | Qt::AlignTop);
}

/** How a label's height is shared out for @p contacts rows (mm). */
struct Rows
{
    double head = 0; // the destination call
    double caption = 0; // the table's captions
    double row = 0; // each contact
    double remarks = 0; // what is left for remarks
    double bottom = 0;
    bool fits = false;
};

Rows shareHeight(double height, int contacts)
{
    Rows r;
    r.bottom = lineHeight(kBottom);
    r.caption = lineHeight(kRowLeast);
    const double room = height - r.bottom - 2 * kGap;
    const double rowsLeast = contacts * lineHeight(kRowLeast);
    r.head = std::clamp(room * 0.3, lineHeight(kCallLeast), lineHeight(kCallMost));
    r.head = std::max(lineHeight(kCallLeast), std::min(r.head, room - r.caption - rowsLeast));
    const double table = room - r.head - r.caption;
    r.fits = table + 1e-9 >= rowsLeast;
    r.row = contacts > 0 ? std::clamp(table / contacts, lineHeight(kRowLeast), lineHeight(kRowMost)) : 0;
    r.remarks = std::max(0.0, table - contacts * r.row);
    return r;
}

QString joinedRemarks(const Card& card)
{
    QStringList seen;
    for (const Contact& c : card.contacts) {
        const QString r = splitQslText(c.qsl).remarks.trimmed();
        if (!r.isEmpty() && !seen.contains(r)) {
            seen << r;
        }
    }
    return seen.join(QStringLiteral(" / "));
}

/** Draws one label into @p in, the printable part of @p cell (both in mm on a page drawn at @p k dots per mm). */
void drawLabel(QPainter& p, double k, const QRectF& cell, const QRectF& in, const Card& card, const CardSettings& s)
{
    const auto box = [k](double x, double y, double w, double h) { return QRectF(x * k, y * k, w * k, h * k); };
    const double x0 = in.left();
    const double w = in.width();
    p.save();
    p.setClipRect(box(cell.left(), cell.top(), cell.width(), cell.height()));
    p.setPen(Qt::black);
    const Contact& first = card.contacts.front();
    if (!first.ok) {
        // Never reached through printing, which leaves such lines out; kept readable for a preview of them.
        wrapped(p, box(x0, in.top(), w, in.height()), first.line, 7);
        p.restore();
        return;
    }
    const int n = static_cast<int>(card.contacts.size());
    const Rows rows = shareHeight(in.height(), n);
    double y = in.top();

    // The destination call, the largest text; the manager beside it; the route at the right when there is room.
    const QslText qsl = splitQslText(first.qsl);
    const double callPoints = std::min(kCallMost, pointsFor(rows.head));
    const QString to = QStringLiteral("To");
    const QFont toFont = cardFont(7);
    const double toWidth = QFontMetricsF(toFont, p.device()).horizontalAdvance(to + QLatin1Char(' ')) / k;
    {
        // On the call's baseline, as callSign() places it.
        const QFontMetricsF cm(cardFont(callPoints, true), p.device());
        const double baseline = box(x0, y, w, rows.head).center().y() + (cm.ascent() - cm.descent()) / 2;
        p.setFont(toFont);
        p.drawText(QPointF(x0 * k, baseline), to);
    }
    const double callLeft = x0 + toWidth;
    const double callRoom = w - toWidth;
    double used = 0;
    if (qsl.via.isEmpty()) {
        used = callSign(p, box(callLeft, y, callRoom, rows.head), first.call, callPoints, Qt::AlignLeft, s.slashedZero)
            / k;
    } else {
        // The manager beside the call: the card goes into the manager's bundle.
        const double callShare = callRoom * 0.55;
        const double callWidth = callSign(p, box(callLeft, y, callShare - 1, rows.head), first.call, callPoints,
                                          Qt::AlignLeft, s.slashedZero)
            / k;
        const double viaLeft = callLeft + callWidth + 1.5;
        used = viaLeft - callLeft
            + callSign(p, box(viaLeft, y, callLeft + callRoom - viaLeft, rows.head), QStringLiteral("via ") + qsl.via,
                       std::max(kRowMost, callPoints * 0.6), Qt::AlignLeft, s.slashedZero)
                / k;
    }
    const QString route = routeText(qsl.route);
    if (!route.isEmpty()) {
        const double routeWidth = QFontMetricsF(cardFont(7.5, true), p.device()).horizontalAdvance(route) / k;
        if (used + 2 + routeWidth <= callRoom) {
            fitted(p, box(x0 + w - routeWidth - 0.2, y, routeWidth + 0.2, rows.head), route, 7.5, true,
                   Qt::AlignRight | Qt::AlignVCenter);
        }
    }
    y += rows.head + kGap;

    // The contacts: captions, then a row each.
    const QString zone = card.utc ? QStringLiteral("UTC") : QStringLiteral("JST");
    struct Column
    {
        QStringList captions; // the first that fits is shown
        double weight;
    };
    const Column columns[] = {
        {{QStringLiteral("Date")}, 24},
        {{QStringLiteral("Time (%1)").arg(zone), QStringLiteral("Time %1").arg(zone), zone}, 16},
        {{s.showBand ? QStringLiteral("Band") : QStringLiteral("MHz")}, 14},
        {{QStringLiteral("Mode")}, 11},
        {{QStringLiteral("RST")}, 9},
    };
    constexpr int kColumns = 5;
    std::vector<std::array<QString, kColumns>> values;
    for (const Contact& c : card.contacts) {
        // A time that cannot be converted stays in JST and says so.
        const CardTime t = cardTime(c.date, c.time, card.utc);
        const QString time = t.zone == zone ? t.time : t.time + QLatin1Char(' ') + t.zone;
        values.push_back({cardDateText(c, t, s), time, cardFrequencyText(c, s), c.mode, c.rst});
    }
    // Each column as wide as its longest text at the least size, what is left shared by weight: on a narrow label
    // the date keeps its room before a wide column of short modes. Where even that is too wide, each column gives up
    // the same share.
    const QFontMetricsF least(cardFont(kRowLeast), p.device());
    const QFontMetricsF leastBold(cardFont(kRowLeast, true), p.device());
    std::array<double, kColumns> widths{};
    double need = 0;
    double total = 0;
    for (int i = 0; i < kColumns; ++i) {
        double widest = leastBold.horizontalAdvance(columns[i].captions.back()) / k;
        for (const auto& row : values) {
            widest = std::max(widest, least.horizontalAdvance(row[static_cast<std::size_t>(i)]) / k);
        }
        widths[static_cast<std::size_t>(i)] = widest + 0.8;
        need += widths[static_cast<std::size_t>(i)];
        total += columns[i].weight;
    }
    for (int i = 0; i < kColumns; ++i) {
        double& cw = widths[static_cast<std::size_t>(i)];
        cw = need <= w ? cw + (w - need) * columns[i].weight / total : cw * w / need;
    }
    // One size for the whole table, the largest at which every value fits its column.
    double valuePoints = std::clamp(pointsFor(rows.row), kRowLeast, kRowMost);
    const auto allFit = [&](double points) {
        const QFontMetricsF fm(cardFont(points), p.device());
        for (const auto& row : values) {
            for (int i = 0; i < kColumns; ++i) {
                if (fm.horizontalAdvance(row[static_cast<std::size_t>(i)])
                    > (widths[static_cast<std::size_t>(i)] - 0.6) * k) {
                    return false;
                }
            }
        }
        return true;
    };
    while (valuePoints - 0.5 >= kRowLeast && !allFit(valuePoints)) {
        valuePoints -= 0.5;
    }
    p.fillRect(box(x0, y, w, rows.caption), QColor(228, 228, 228));
    double x = x0;
    for (int i = 0; i < kColumns; ++i) {
        const double cw = widths[static_cast<std::size_t>(i)];
        QString caption = columns[i].captions.back();
        for (const QString& c : columns[i].captions) {
            if (leastBold.horizontalAdvance(c) <= (cw - 0.6) * k) {
                caption = c;
                break;
            }
        }
        fitted(p, box(x + 0.3, y, cw - 0.6, rows.caption), caption, kRowLeast, true, Qt::AlignCenter);
        for (int r = 0; r < n; ++r) {
            fitted(p, box(x + 0.3, y + rows.caption + r * rows.row, cw - 0.6, rows.row),
                   values[static_cast<std::size_t>(r)][static_cast<std::size_t>(i)], valuePoints, false,
                   Qt::AlignCenter);
        }
        x += cw;
    }
    p.setPen(QPen(Qt::black, 0.1 * k));
    for (int r = 1; r < n; ++r) {
        const double ly = (y + rows.caption + r * rows.row) * k;
        p.drawLine(QPointF(x0 * k, ly), QPointF((x0 + w) * k, ly));
    }
    y += rows.caption + n * rows.row;

    // Remarks where room is left.
    const QString remarks = joinedRemarks(card);
    if (!remarks.isEmpty() && rows.remarks >= lineHeight(kRowLeast)) {
        wrapped(p, box(x0, y + 0.3, w, rows.remarks - 0.3), remarks, std::min(8.0, pointsFor(rows.remarks)));
    }

    // PSE or TNX QSL at the left, the own call and the label's number at the right.
    const double by = in.bottom() - rows.bottom;
    const bool received
        = std::any_of(card.contacts.begin(), card.contacts.end(), [](const Contact& c) { return c.cardReceived(); });
    const QString pse = received ? QStringLiteral("TNX QSL") : QStringLiteral("PSE QSL");
    const double pseWidth = QFontMetricsF(cardFont(kBottom, true), p.device()).horizontalAdvance(pse) / k + 1;
    fitted(p, box(x0, by, pseWidth, rows.bottom), pse, kBottom, true, Qt::AlignLeft | Qt::AlignVCenter);
    const QString number = QStringLiteral("No. %1").arg(card.number);
    const double numberWidth = QFontMetricsF(cardFont(7), p.device()).horizontalAdvance(number) / k + 0.2;
    fitted(p, box(x0 + w - numberWidth, by, numberWidth, rows.bottom), number, 7, false,
           Qt::AlignRight | Qt::AlignVCenter);
    const double ownLeft = x0 + pseWidth + 1;
    const double ownRoom = w - pseWidth - numberWidth - 2.5;
    if (ownRoom > 5) {
        callSign(p, box(ownLeft, by, ownRoom, rows.bottom), QStringLiteral("de ") + s.call, 7.5, Qt::AlignRight,
                 s.slashedZero);
    }
    p.restore();
}

} // namespace

int contactsPerLabel(const LabelSheet& sheet)
{
    double height = sheet.labelHeight;
    for (int c = 0; c < sheet.cells(); ++c) {
        height = std::min(height, sheet.printable(c).height());
    }
    for (int n = kContactsPerCard; n > 0; --n) {
        if (shareHeight(height, n).fits) {
            return n;
        }
    }
    return 0;
}

QPageLayout labelPageLayout(const LabelSheet& sheet)
{
    const QPageSize size = sheet.media() == QLatin1String("iso_a4_210x297mm")
        ? QPageSize(QPageSize::A4)
        : QPageSize(QSizeF(sheet.pageWidth, sheet.pageHeight), QPageSize::Millimeter, QStringLiteral("Label sheet"),
                    QPageSize::ExactMatch);
    return QPageLayout(size, QPageLayout::Portrait, QMarginsF(), QPageLayout::Millimeter);
}

void paintLabels(QPainter& painter, QPagedPaintDevice& device, const std::vector<Card>& cards,
                 const CardSettings& settings, const LabelSheet& sheet, int start, bool outlines,
                 const PrinterCalibration& calibration)
{
    const double k = device.logicalDpiX() / 25.4;
    const int count = static_cast<int>(cards.size());
    const int sheets = labelSheetCount(sheet, start, count);
    int next = 0;
    for (int page = 0; page < sheets; ++page) {
        if (page > 0) {
            device.newPage();
        }
        painter.save();
        painter.translate(calibration.x * k, calibration.y * k);
        painter.scale(calibration.scale / 100, calibration.scale / 100);
        if (outlines) {
            // The labels already peeled off a partly used sheet are shaded.
            painter.save();
            painter.setPen(QPen(QColor(190, 190, 190), 0.15 * k, Qt::DashLine));
            for (int c = 0; c < sheet.cells(); ++c) {
                const QRectF r = sheet.cell(c);
                painter.setBrush(page == 0 && c + 1 < start ? QBrush(QColor(232, 232, 232)) : QBrush(Qt::NoBrush));
                painter.drawRect(QRectF(r.left() * k, r.top() * k, r.width() * k, r.height() * k));
            }
            painter.restore();
        }
        for (; next < count; ++next) {
            const LabelPlace at = labelPlace(sheet, start, next);
            if (at.sheet != page) {
                break;
            }
            drawLabel(painter, k, at.rect, sheet.printable(at.cell), cards[static_cast<std::size_t>(next)], settings);
        }
        painter.restore();
    }
}

bool writeLabelsPdf(const QString& path, const std::vector<Card>& cards, const CardSettings& settings,
                    const LabelSheet& sheet, int start, QString* error, const PrinterCalibration& calibration)
{
    return writeCardPdf(
        path, QStringLiteral("QSO labels"), labelPageLayout(sheet), error,
        [&](QPainter& p, QPdfWriter& pdf) { paintLabels(p, pdf, cards, settings, sheet, start, false, calibration); });
}
