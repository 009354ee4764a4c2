#include "CardLayout.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <map>

std::vector<Card> makeCards(const std::vector<Contact>& contacts, const std::vector<qint64>& lines,
                            const CardSettings& settings, int perCard)
{
    std::vector<Card> cards;
    std::map<QString, std::size_t> open; // station -> its card still taking contacts
    for (std::size_t i = 0; i < contacts.size(); ++i) {
        const Contact& c = contacts[i];
        const QString station = c.ok ? c.call.toUpper() : QString();
        auto at = open.find(station);
        if (settings.groupContacts && c.ok && !station.isEmpty() && at != open.end()
            && cards[at->second].contacts.size() < static_cast<std::size_t>(perCard)) {
            cards[at->second].contacts.push_back(c);
            cards[at->second].lines.push_back(lines[i]);
            continue;
        }
        Card card;
        card.contacts.push_back(c);
        card.lines.push_back(lines[i]);
        cards.push_back(card);
        open[station] = cards.size() - 1;
    }
    int number = settings.nextCardNumber;
    for (Card& card : cards) {
        card.number = number++;
    }
    return cards;
}

void placeCards(std::vector<Card>& cards, const BureauOrder& order, const CardSettings& settings)
{
    for (Card& card : cards) {
        const Contact& c = card.contacts.front();
        const bool domestic = !c.ok || order.inJapan(c.call);
        card.utc = settings.printsUtc(domestic);
        card.entity = settings.entityOnCard && c.ok ? order.locationName(c.call) : QString();
    }
}

QFont cardFont(double points, bool bold)
{
    QFont f(QStringLiteral("BIZ UDPGothic"));
    // BIZ UDPGothic first: a real bold face, glyphs made to be told apart, and a PDF text layer that maps every glyph
    // back to the character drawn. VL Gothic reads back as exactly but has no bold (it would be smeared).
    f.setFamilies({QStringLiteral("BIZ UDPGothic"), QStringLiteral("VL PGothic"), QStringLiteral("VL Gothic"),
                   QStringLiteral("TakaoGothic"), QStringLiteral("Noto Sans CJK JP")});
    f.setPointSizeF(points);
    f.setBold(bold);
    f.setStyleStrategy(QFont::PreferOutline);
    return f;
}

namespace {

/** The smallest text on a card: read at arm's length by a sorting volunteer or a DX station. */
constexpr double kLegible = 7.0;

/** Draws in millimetres on a page of 100 x 148 mm whatever the device's resolution. */
class Sheet
{
public:
    Sheet(QPainter& p, double dotsPerMm)
        : m_p(p)
        , m_k(dotsPerMm)
    {
    }

    QRectF box(double left, double top, double width, double height) const
    {
        return QRectF(left * m_k, top * m_k, width * m_k, height * m_k);
    }

    /** @p text in @p rect at @p points, made smaller (never below kLegible, nor below two thirds of @p points)
     * until it fits on one line; what still does not fit is cut with an ellipsis at its end. */
    void fitted(const QRectF& rect, const QString& text, double points, bool bold, int align)
    {
        QFont f = fittedFont(rect, text, points, bold);
        m_p.setFont(f);
        const QString shown = QFontMetricsF(f, m_p.device()).elidedText(text, Qt::ElideRight, rect.width());
        m_p.drawText(rect, align | Qt::TextSingleLine, shown);
    }

    /** A call sign as fitted() draws it; with @p slashedZero each zero gets its stroke (the text stays "0", so that a
     * PDF's text layer still reads the call). */
    void callSign(const QRectF& rect, const QString& text, double points, int align, bool slashedZero)
    {
        const QFont f = fittedFont(rect, text, points, true);
        const QFontMetricsF fm(f, m_p.device());
        const QString shown = fm.elidedText(text, Qt::ElideRight, rect.width());
        const double w = fm.horizontalAdvance(shown);
        double x = rect.left();
        if (align & Qt::AlignHCenter) {
            x = rect.center().x() - w / 2;
        } else if (align & Qt::AlignRight) {
            x = rect.right() - w;
        }
        const double baseline = rect.center().y() + (fm.ascent() - fm.descent()) / 2;
        m_p.setFont(f);
        m_p.drawText(QPointF(x, baseline), shown);
        if (!slashedZero) {
            return;
        }
        const double zero = fm.horizontalAdvance(QLatin1Char('0'));
        const QRectF glyph = fm.tightBoundingRect(QStringLiteral("0"));
        m_p.save();
        m_p.setPen(QPen(Qt::black, zero * 0.11, Qt::SolidLine, Qt::FlatCap));
        for (int i = 0; i < shown.size(); ++i) {
            if (shown[i] != QLatin1Char('0')) {
                continue;
            }
            // From the upper right to the lower left of the zero's inside.
            const double left = x + fm.horizontalAdvance(shown.left(i)) + glyph.left();
            m_p.drawLine(QPointF(left + glyph.width() * 0.78, baseline + glyph.top() + glyph.height() * 0.14),
                         QPointF(left + glyph.width() * 0.22, baseline + glyph.bottom() - glyph.height() * 0.14));
        }
        m_p.restore();
    }

    QFont fittedFont(const QRectF& rect, const QString& text, double points, bool bold) const
    {
        QFont f = cardFont(points, bold);
        const double least = std::max(kLegible, points * 2 / 3);
        while (f.pointSizeF() - 0.5 >= least && width(f, text) > rect.width()) {
            f.setPointSizeF(f.pointSizeF() - 0.5);
        }
        return f;
    }

    /** Whether @p text fits in @p room millimetres at @p points. */
    bool fits(const QString& text, double points, double room) const
    {
        return width(cardFont(points, false), text) <= room * m_k;
    }

    /** Word-wrapped @p text in @p rect, made smaller (down to kLegible) until it fits; what still does not fit is
     * cut with an ellipsis, never drawn outside. */
    void wrapped(const QRectF& rect, const QString& text, double points)
    {
        const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
        QFont f = cardFont(points, false);
        const auto fits = [&](const QString& t) {
            return QFontMetricsF(f, m_p.device()).boundingRect(rect, flags, t).height() <= rect.height();
        };
        while (f.pointSizeF() - 0.5 >= kLegible && !fits(text)) {
            f.setPointSizeF(f.pointSizeF() - 0.5);
        }
        QString shown = text;
        if (!fits(shown)) {
            // The longest beginning that fits, with an ellipsis.
            qsizetype lo = 0;
            qsizetype hi = text.size();
            while (lo < hi) {
                const qsizetype mid = (lo + hi + 1) / 2;
                if (fits(text.left(mid).trimmed() + QStringLiteral("…"))) {
                    lo = mid;
                } else {
                    hi = mid - 1;
                }
            }
            shown = text.left(lo).trimmed() + QStringLiteral("…");
        }
        m_p.setFont(f);
        m_p.drawText(rect, flags, shown);
    }

    void text(const QRectF& rect, const QString& text, double points, bool bold = false,
              int align = Qt::AlignLeft | Qt::AlignTop)
    {
        m_p.setFont(cardFont(points, bold));
        m_p.drawText(rect, align, text);
    }

    void line(double x1, double y1, double x2, double y2, double width = 0.2)
    {
        m_p.setPen(QPen(Qt::black, width * m_k));
        m_p.drawLine(QPointF(x1 * m_k, y1 * m_k), QPointF(x2 * m_k, y2 * m_k));
    }

    void frame(const QRectF& r, double width = 0.25)
    {
        m_p.setPen(QPen(Qt::black, width * m_k));
        m_p.setBrush(Qt::NoBrush);
        m_p.drawRect(r);
    }

    double width(const QFont& f, const QString& text) const
    {
        return QFontMetricsF(f, m_p.device()).horizontalAdvance(text);
    }

    void shade(const QRectF& r) { m_p.fillRect(r, QColor(228, 228, 228)); }

private:
    QPainter& m_p;
    double m_k;
};

QString joined(const QStringList& parts, const QString& sep = QStringLiteral("   "))
{
    QStringList kept;
    for (const QString& p : parts) {
        if (!p.trimmed().isEmpty()) {
            kept << p.trimmed();
        }
    }
    return kept.join(sep);
}

QString labelled(const char* label, const QString& value)
{
    return value.trimmed().isEmpty() ? QString() : QString::fromLatin1(label) + QLatin1Char(' ') + value.trimmed();
}

QString dateText(const Contact& c, const CardTime& t, const CardSettings& s)
{
    if (!t.date.isValid()) {
        return c.dateText;
    }
    // Month names in English capitals, as cards abroad read them.
    return QLocale::c().toString(t.date, s.dateFormat).toUpper();
}

QString frequencyText(const Contact& c, const CardSettings& s)
{
    if (s.showBand) {
        const QString band = bandOf(c.freq);
        return band.isEmpty() ? c.freq : band;
    }
    return c.freq;
}

constexpr double kLeft = 6.0;
constexpr double kWidth = 88.0;

void drawStation(Sheet& sh, const CardSettings& s)
{
    // The own call is the second largest text: the card is for the station it goes to.
    sh.callSign(sh.box(kLeft, 5, kWidth, 11), s.call, 20, Qt::AlignLeft, s.slashedZero);
    sh.fitted(sh.box(kLeft, 16.5, kWidth, 5), s.name, 9, false, Qt::AlignLeft | Qt::AlignVCenter);
    sh.fitted(sh.box(kLeft, 21.5, kWidth, 5), s.address, 8, false, Qt::AlignLeft | Qt::AlignVCenter);
    sh.fitted(sh.box(kLeft, 26.5, kWidth, 5),
              joined({labelled("QTH", s.qth), labelled("JCC/JCG", s.jcc), labelled("GL", s.grid)}), 8, false,
              Qt::AlignLeft | Qt::AlignVCenter);
    sh.line(kLeft, 32.5, kLeft + kWidth, 32.5, 0.5);
}

void drawToRadio(Sheet& sh, const Contact& c, const QslText& qsl, const QString& entity, const CardSettings& s)
{
    const QRectF box = sh.box(kLeft, 35, kWidth, 24);
    sh.frame(box, 0.35);
    sh.text(sh.box(kLeft + 2, 36, 30, 4), QStringLiteral("To Radio"), 7);
    // The largest text on the card: the call of the station it goes to.
    if (qsl.via.isEmpty()) {
        sh.callSign(sh.box(kLeft + 2, 39.5, kWidth - 4, 11.5), c.call, 30, Qt::AlignHCenter, s.slashedZero);
    } else {
        // The manager beside the call, large enough for a sorting volunteer: the card goes into the manager's bundle.
        sh.callSign(sh.box(kLeft + 2, 39.5, kWidth * 0.55 - 2, 11.5), c.call, 30, Qt::AlignRight, s.slashedZero);
        sh.callSign(sh.box(kLeft + kWidth * 0.55 + 1, 39.5, kWidth * 0.45 - 3, 11.5), QStringLiteral("via ") + qsl.via,
                    16, Qt::AlignLeft, s.slashedZero);
    }
    sh.fitted(sh.box(kLeft + 2, 36, kWidth - 4, 4), routeText(qsl.route), 8, true, Qt::AlignRight | Qt::AlignVCenter);
    sh.fitted(sh.box(kLeft + 22, 36, kWidth - 44, 4), entity, 7, false, Qt::AlignHCenter | Qt::AlignVCenter);
    const QString both = joined({labelled("OP", c.name), labelled("QTH", c.qth)});
    if (sh.fits(both, 7.5, kWidth - 4)) {
        sh.fitted(sh.box(kLeft + 2, 52, kWidth - 4, 5), both, 8.5, false, Qt::AlignHCenter | Qt::AlignVCenter);
    } else {
        // A long name or QTH: one line each.
        sh.fitted(sh.box(kLeft + 2, 50.5, kWidth - 4, 4), labelled("OP", c.name), 8, false,
                  Qt::AlignHCenter | Qt::AlignVCenter);
        sh.fitted(sh.box(kLeft + 2, 54.3, kWidth - 4, 4), labelled("QTH", c.qth), 8, false,
                  Qt::AlignHCenter | Qt::AlignVCenter);
    }
}

/** The table of the card's contacts; on a card of several contacts each one's remarks go in its own row, under its
 * values. Returns where the table ends (mm). */
double drawContacts(Sheet& sh, const Card& card, const CardSettings& s)
{
    bool power = false;
    for (const Contact& c : card.contacts) {
        power = power || !c.power.isEmpty();
    }
    const QString zone = card.utc ? QStringLiteral("UTC") : QStringLiteral("JST");
    struct Column
    {
        QString caption;
        double weight;
    };
    std::vector<Column> columns = {{QStringLiteral("Date"), 24},
                                   {QStringLiteral("Time (%1)").arg(zone), 17},
                                   {s.showBand ? QStringLiteral("Band") : QStringLiteral("MHz"), 15},
                                   {QStringLiteral("Mode"), 12},
                                   {QStringLiteral("RST"), 10}};
    if (power) {
        columns.push_back({QStringLiteral("Pwr"), 12});
    }
    double total = 0;
    for (const Column& c : columns) {
        total += c.weight;
    }
    const double top = 65;
    const double head = 4.5;
    const double valueHeight = 6;
    const double remarkHeight = 3.6;
    const bool grouped = card.contacts.size() > 1;
    std::vector<double> rowTop;
    std::vector<QString> remarks;
    double y = top + head;
    for (const Contact& c : card.contacts) {
        rowTop.push_back(y);
        remarks.push_back(grouped ? splitQslText(c.qsl).remarks : QString());
        y += valueHeight + (remarks.back().isEmpty() ? 0 : remarkHeight);
    }
    const double bottom = y;
    sh.text(sh.box(kLeft, 60.5, kWidth, 4), QStringLiteral("Confirming our QSO"), 7.5, false,
            Qt::AlignLeft | Qt::AlignVCenter);
    sh.shade(sh.box(kLeft, top, kWidth, head));
    double x = kLeft;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const double w = kWidth * columns[i].weight / total;
        sh.fitted(sh.box(x, top, w, head), columns[i].caption, 7, true, Qt::AlignCenter);
        for (std::size_t r = 0; r < card.contacts.size(); ++r) {
            const Contact& c = card.contacts[r];
            // A time that cannot be converted stays in JST and says so.
            const CardTime t = cardTime(c.date, c.time, card.utc);
            const QString time = t.zone == zone ? t.time : t.time + QLatin1Char(' ') + t.zone;
            const QString values[] = {dateText(c, t, s), time, frequencyText(c, s), c.mode, c.rst, c.power};
            sh.fitted(sh.box(x + 0.5, rowTop[r], w - 1, valueHeight), values[i], 8.5, false, Qt::AlignCenter);
        }
        if (i > 0) {
            // Column lines stop above a remark, which spans the row.
            for (std::size_t r = 0; r < card.contacts.size(); ++r) {
                sh.line(x, r == 0 ? top : rowTop[r], x, rowTop[r] + valueHeight);
            }
        }
        x += w;
    }
    for (std::size_t r = 0; r < card.contacts.size(); ++r) {
        if (!remarks[r].isEmpty()) {
            sh.fitted(sh.box(kLeft + 2, rowTop[r] + valueHeight - 0.8, kWidth - 4, remarkHeight), remarks[r], 7.5,
                      false, Qt::AlignLeft | Qt::AlignVCenter);
        }
        sh.line(kLeft, rowTop[r], kLeft + kWidth, rowTop[r], r == 0 ? 0.2 : 0.1);
    }
    sh.frame(sh.box(kLeft, top, kWidth, bottom - top), 0.35);
    return bottom;
}

/** Where print ends: the lowest 10 mm of the card are left to the bureau's coding. */
constexpr double kPrintBottom = 137.0;

void drawCard(Sheet& sh, const Card& card, const CardSettings& s)
{
    drawStation(sh, s);
    const Contact& first = card.contacts.front();
    if (!first.ok) {
        // Never reached through printing, which leaves such lines out; kept readable for a preview of them.
        sh.wrapped(sh.box(kLeft, 36, kWidth, 80), first.line, 8);
    } else {
        const QslText qsl = splitQslText(first.qsl);
        drawToRadio(sh, first, qsl, card.entity, s);
        const double below = drawContacts(sh, card, s) + 2;
        bool received = false;
        for (const Contact& c : card.contacts) {
            received = received || c.cardReceived();
        }
        if (card.contacts.size() == 1) {
            sh.wrapped(sh.box(kLeft, below, kWidth, 117 - below), qsl.remarks, 8.5);
        }
        sh.text(sh.box(kLeft, kPrintBottom - 8, 40, 8),
                received ? QStringLiteral("TNX QSL") : QStringLiteral("PSE QSL"), 13, true,
                Qt::AlignLeft | Qt::AlignVCenter);
    }
    sh.fitted(sh.box(kLeft, 118, kWidth, 4), joined({labelled("Rig:", s.rig), labelled("Ant:", s.antenna)}), 7.5, false,
              Qt::AlignLeft | Qt::AlignVCenter);
    sh.fitted(sh.box(kLeft, 122.5, kWidth, 4), s.freeLine, 7.5, false, Qt::AlignLeft | Qt::AlignVCenter);
    sh.text(sh.box(kLeft + 44, kPrintBottom - 8, 44, 8), QStringLiteral("73"), 13, true,
            Qt::AlignRight | Qt::AlignVCenter);
    sh.text(sh.box(kLeft + 30, kPrintBottom - 12, kWidth - 30, 4), QStringLiteral("No. %1").arg(card.number), 7, false,
            Qt::AlignRight | Qt::AlignVCenter);
}

} // namespace

void paintCards(QPainter& painter, QPagedPaintDevice& device, const std::vector<Card>& cards,
                const CardSettings& settings)
{
    const double dotsPerMm = device.logicalDpiX() / 25.4;
    bool first = true;
    for (const Card& card : cards) {
        if (!first) {
            device.newPage();
        }
        first = false;
        painter.save();
        Sheet sheet(painter, dotsPerMm);
        drawCard(sheet, card, settings);
        painter.restore();
    }
}

QPageLayout cardPageLayout()
{
    // In whole points as the PDF states it: 283 x 420 pt is 100 x 148 mm to within 0.2 mm (the standard postcard
    // of the page-size table is 284 x 419 pt, a millimetre too wide).
    return QPageLayout(QPageSize(QSize(283, 420), QStringLiteral("Postcard 100 x 148 mm"), QPageSize::ExactMatch),
                       QPageLayout::Portrait, QMarginsF(), QPageLayout::Millimeter);
}

bool writeCardsPdf(const QString& path, const std::vector<Card>& cards, const CardSettings& settings, QString* error)
{
    QPdfWriter pdf(path);
    pdf.setResolution(300);
    pdf.setTitle(QStringLiteral("QSL cards"));
    pdf.setCreator(QStringLiteral("KELBO"));
    pdf.setPageLayout(cardPageLayout());
    QPainter p;
    if (!p.begin(&pdf)) {
        if (error) {
            *error = QStringLiteral("%1 に書き込めません.").arg(path);
        }
        return false;
    }
    paintCards(p, pdf, cards, settings);
    p.end();
    return true;
}

// Shared with the label sheets: a contact's date and frequency in the forms cards print them.

QString cardDateText(const Contact& c, const CardTime& t, const CardSettings& s)
{
    return dateText(c, t, s);
}

QString cardFrequencyText(const Contact& c, const CardSettings& s)
{
    return frequencyText(c, s);
}
