#include "CardLayout.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <map>

std::vector<Card> makeCards(const std::vector<Contact>& contacts, const std::vector<qint64>& lines,
                            const CardSettings& settings)
{
    std::vector<Card> cards;
    std::map<QString, std::size_t> open; // station -> its card still taking contacts
    for (std::size_t i = 0; i < contacts.size(); ++i) {
        const Contact& c = contacts[i];
        const QString station = c.ok ? c.call.toUpper() : QString();
        auto at = open.find(station);
        if (settings.groupContacts && c.ok && !station.isEmpty() && at != open.end()
            && cards[at->second].contacts.size() < static_cast<std::size_t>(kContactsPerCard)) {
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
    QFont f(QStringLiteral("VL PGothic"));
    // VL Gothic first (its proportional face): its PDF text layer maps every glyph back to the character drawn.
    f.setFamilies({QStringLiteral("VL PGothic"), QStringLiteral("VL Gothic"), QStringLiteral("TakaoGothic"),
                   QStringLiteral("Noto Sans CJK JP")});
    f.setPointSizeF(points);
    f.setBold(bold);
    f.setStyleStrategy(QFont::PreferOutline);
    return f;
}

namespace {

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

    /** @p text in @p rect at @p points, made smaller (down to 5 points) until it fits on one line; what still does
     * not fit is cut with an ellipsis at its end. */
    void fitted(const QRectF& rect, const QString& text, double points, bool bold, int align)
    {
        QFont f = cardFont(points, bold);
        while (f.pointSizeF() > 5 && width(f, text) > rect.width()) {
            f.setPointSizeF(f.pointSizeF() - 0.5);
        }
        m_p.setFont(f);
        const QString shown = QFontMetricsF(f, m_p.device()).elidedText(text, Qt::ElideRight, rect.width());
        m_p.drawText(rect, align | Qt::TextSingleLine, shown);
    }

    /** Whether @p text fits in @p room millimetres at @p points. */
    bool fits(const QString& text, double points, double room) const
    {
        return width(cardFont(points, false), text) <= room * m_k;
    }

    /** Word-wrapped @p text in @p rect, made smaller (down to 5.5 points) until it fits. */
    void wrapped(const QRectF& rect, const QString& text, double points)
    {
        const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
        QFont f = cardFont(points, false);
        while (f.pointSizeF() > 5.5
               && QFontMetricsF(f, m_p.device()).boundingRect(rect, flags, text).height() > rect.height()) {
            f.setPointSizeF(f.pointSizeF() - 0.5);
        }
        m_p.setFont(f);
        m_p.drawText(rect, flags, text);
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
    sh.fitted(sh.box(kLeft, 5, kWidth, 13), s.call, 30, true, Qt::AlignLeft | Qt::AlignVCenter);
    sh.fitted(sh.box(kLeft, 18, kWidth, 5), s.name, 9, false, Qt::AlignLeft | Qt::AlignVCenter);
    sh.fitted(sh.box(kLeft, 23, kWidth, 4), s.address, 7, false, Qt::AlignLeft | Qt::AlignVCenter);
    sh.fitted(sh.box(kLeft, 27, kWidth, 4),
              joined({labelled("QTH", s.qth), labelled("JCC/JCG", s.jcc), labelled("GL", s.grid)}), 7, false,
              Qt::AlignLeft | Qt::AlignVCenter);
    sh.line(kLeft, 32.5, kLeft + kWidth, 32.5, 0.5);
}

void drawToRadio(Sheet& sh, const Contact& c, const QslText& qsl, const QString& entity)
{
    const QRectF box = sh.box(kLeft, 35, kWidth, 24);
    sh.frame(box, 0.35);
    sh.text(sh.box(kLeft + 2, 36, 30, 4), QStringLiteral("To Radio"), 7);
    if (qsl.via.isEmpty()) {
        sh.fitted(sh.box(kLeft + 2, 39, kWidth - 4, 12), c.call, 24, true, Qt::AlignHCenter | Qt::AlignVCenter);
    } else {
        // The manager beside the call, large enough for a sorting volunteer: the card goes into the manager's bundle.
        sh.fitted(sh.box(kLeft + 2, 39, kWidth * 0.55 - 2, 12), c.call, 24, true, Qt::AlignRight | Qt::AlignVCenter);
        sh.fitted(sh.box(kLeft + kWidth * 0.55 + 1, 39, kWidth * 0.45 - 3, 12), QStringLiteral("via ") + qsl.via, 16,
                  true, Qt::AlignLeft | Qt::AlignVCenter);
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

void drawContacts(Sheet& sh, const Card& card, const CardSettings& s)
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
    const double rowHeight = 6;
    sh.text(sh.box(kLeft, 60.5, kWidth, 4), QStringLiteral("Confirming our QSO"), 7, false,
            Qt::AlignLeft | Qt::AlignVCenter);
    sh.shade(sh.box(kLeft, top, kWidth, 4.5));
    double x = kLeft;
    const int rows = static_cast<int>(card.contacts.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const double w = kWidth * columns[i].weight / total;
        sh.fitted(sh.box(x, top, w, 4.5), columns[i].caption, 6.5, true, Qt::AlignCenter);
        for (int r = 0; r < rows; ++r) {
            const Contact& c = card.contacts[static_cast<std::size_t>(r)];
            // A time that cannot be converted stays in JST and says so.
            const CardTime t = cardTime(c.date, c.time, card.utc);
            const QString time = t.zone == zone ? t.time : t.time + QLatin1Char(' ') + t.zone;
            const QString values[] = {dateText(c, t, s), time, frequencyText(c, s), c.mode, c.rst, c.power};
            sh.fitted(sh.box(x + 0.5, top + 4.5 + r * rowHeight, w - 1, rowHeight), values[i], 8.5, false,
                      Qt::AlignCenter);
        }
        if (i > 0) {
            sh.line(x, top, x, top + 4.5 + rows * rowHeight);
        }
        x += w;
    }
    for (int r = 0; r <= rows - 1; ++r) {
        sh.line(kLeft, top + 4.5 + r * rowHeight, kLeft + kWidth, top + 4.5 + r * rowHeight, r == 0 ? 0.2 : 0.1);
    }
    sh.frame(sh.box(kLeft, top, kWidth, 4.5 + rows * rowHeight), 0.35);
}

void drawCard(Sheet& sh, const Card& card, const CardSettings& s)
{
    drawStation(sh, s);
    const Contact& first = card.contacts.front();
    if (!first.ok) {
        // A line of another shape is printed as it came.
        sh.text(sh.box(kLeft, 36, kWidth, 90), first.line, 8, false,
                Qt::AlignLeft | Qt::AlignTop | Qt::TextWrapAnywhere);
    } else {
        const QslText qsl = splitQslText(first.qsl);
        drawToRadio(sh, first, qsl, card.entity);
        drawContacts(sh, card, s);
        // Remarks of every contact on the card, each once.
        QStringList remarks;
        bool received = false;
        for (const Contact& c : card.contacts) {
            const QString r = splitQslText(c.qsl).remarks;
            if (!r.isEmpty() && !remarks.contains(r)) {
                remarks << r;
            }
            received = received || c.cardReceived();
        }
        const double below = 65 + 4.5 + static_cast<double>(card.contacts.size()) * 6 + 2.5;
        sh.wrapped(sh.box(kLeft, below, kWidth, 122 - below), remarks.join(QLatin1Char('\n')), 8.5);
        sh.text(sh.box(kLeft, 131, 40, 8), received ? QStringLiteral("TNX QSL") : QStringLiteral("PSE QSL"), 13, true,
                Qt::AlignLeft | Qt::AlignVCenter);
    }
    sh.fitted(sh.box(kLeft, 122, kWidth, 4), joined({labelled("Rig:", s.rig), labelled("Ant:", s.antenna)}), 7, false,
              Qt::AlignLeft | Qt::AlignVCenter);
    sh.fitted(sh.box(kLeft, 126, kWidth, 4), s.freeLine, 7, false, Qt::AlignLeft | Qt::AlignVCenter);
    sh.text(sh.box(kLeft + 44, 131, 44, 8), QStringLiteral("73"), 13, true, Qt::AlignRight | Qt::AlignVCenter);
    sh.text(sh.box(kLeft, 140, kWidth, 4), QStringLiteral("No. %1").arg(card.number), 6.5, false,
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
