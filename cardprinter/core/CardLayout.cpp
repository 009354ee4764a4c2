#include "CardLayout.h"

#include "CardSheet.h"

#include <QFileInfo>
#include <QFontMetricsF>
#include <QImageReader>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgRenderer>
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
        card.domestic = domestic;
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
    // No ligatures: a PDF reader cannot take "fi" drawn as one glyph back to its two letters ("Confirming" would
    // read "Con rming"). Any letter spacing turns them off; this one moves nothing by a visible amount.
    f.setLetterSpacing(QFont::AbsoluteSpacing, 1.0 / 64);
    return f;
}

namespace {

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

/** The other station's OP and QTH: on one line when both fit, else one line each. */
void drawOpQth(CardSheet& sh, const DesignElement& e, const Contact& c)
{
    const QRectF& b = e.box;
    const int align = (e.align & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter;
    const QString name = labelled("OP", sh.field(c.name));
    const QString qth = labelled("QTH", sh.field(c.qth));
    const QString both = joined({name, qth});
    // The plain card's box is 8 mm high: one line of 5 mm in its middle, or two of 4 mm 3.8 mm apart.
    const double k = b.height() / 8;
    if (sh.fits(both, e.points - 1, b.width())) {
        sh.fitted(sh.box(b.x(), b.y() + 1.5 * k, b.width(), 5 * k), both, e.points, e.bold, align);
    } else {
        sh.fitted(sh.box(b.x(), b.y(), b.width(), 4 * k), name, e.points - 0.5, e.bold, align);
        sh.fitted(sh.box(b.x(), b.y() + 3.8 * k, b.width(), 4 * k), qth, e.points - 0.5, e.bold, align);
    }
}

/** Whether the contact table of @p d carries the remarks of @p card's contacts in their rows: on a card of several
 * contacts, when its box holds the rows and their remarks at full height. Else each remark goes into the remarks'
 * box with its contact's date, rather than be squeezed illegible. */
bool remarksInRows(const CardDesign& d, const Card& card)
{
    const DesignElement* table = d.element(QStringLiteral("contacts"));
    if (card.contacts.size() < 2 || !table || !table->shown) {
        return false;
    }
    double needed = d.captions ? 4.5 : 0;
    for (const Contact& c : card.contacts) {
        needed += d.rowHeight + (splitQslText(c.qsl).remarks.isEmpty() ? 0 : 3.6);
    }
    return needed <= table->box.height() + 1e-9;
}

/** The table of the card's contacts in @p e's box; on a card of several contacts each one's remarks go in its own
 * row, under its values. Rows are made lower when the box cannot hold them all. */
void drawContacts(CardSheet& sh, const DesignElement& e, const CardDesign& d, const Card& card, const CardSettings& s)
{
    bool power = false;
    for (const Contact& c : card.contacts) {
        power = power || !c.power.isEmpty();
    }
    const QString zone = card.utc ? QStringLiteral("UTC") : QStringLiteral("JST");
    struct Column
    {
        QString id;
        QString caption;
        double weight;
    };
    std::vector<Column> columns;
    for (const DesignColumn& c : d.columns) {
        if (!c.shown || (c.id == QLatin1String("power") && !power)) {
            continue;
        }
        QString caption;
        if (c.id == QLatin1String("date")) {
            caption = QStringLiteral("Date");
        } else if (c.id == QLatin1String("time")) {
            caption = QStringLiteral("Time (%1)").arg(zone);
        } else if (c.id == QLatin1String("freq")) {
            caption = s.showBand ? QStringLiteral("Band") : QStringLiteral("MHz");
        } else if (c.id == QLatin1String("mode")) {
            caption = QStringLiteral("Mode");
        } else if (c.id == QLatin1String("rst")) {
            caption = QStringLiteral("RST");
        } else {
            caption = QStringLiteral("Pwr");
        }
        columns.push_back({c.id, caption, c.width});
    }
    if (columns.empty()) {
        return;
    }
    double total = 0;
    for (const Column& c : columns) {
        total += c.weight;
    }
    const double left = e.box.left();
    const double width = e.box.width();
    const double top = e.box.top();
    const double head = d.captions ? 4.5 : 0;
    double valueHeight = d.rowHeight;
    double remarkHeight = 3.6;
    const bool inRows = remarksInRows(d, card);
    std::vector<QString> remarks;
    double needed = head;
    for (const Contact& c : card.contacts) {
        remarks.push_back(inRows ? sh.field(splitQslText(c.qsl).remarks) : QString());
        needed += valueHeight + (remarks.back().isEmpty() ? 0 : remarkHeight);
    }
    if (needed > e.box.height() + 1e-9) {
        const double k = (e.box.height() - head) / (needed - head);
        valueHeight *= k;
        remarkHeight *= k;
    }
    // Rows made lower take a smaller font (an em no higher than the row), never below the legible size.
    const double valuePoints = std::max(kLegiblePoints, std::min(e.points, valueHeight * 72 / 25.4 / 1.15));
    std::vector<double> rowTop;
    double y = top + head;
    for (std::size_t r = 0; r < card.contacts.size(); ++r) {
        rowTop.push_back(y);
        y += valueHeight + (remarks[r].isEmpty() ? 0 : remarkHeight);
    }
    const double bottom = y;
    if (d.captions && d.tableLines) {
        sh.shade(sh.box(left, top, width, head));
    }
    const int align = (e.align & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter;
    double x = left;
    double before = 0;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const double w = width * columns[i].weight / total;
        if (d.captions) {
            sh.fitted(sh.box(x, top, w, head), columns[i].caption, kLegiblePoints, true, Qt::AlignCenter);
        }
        for (std::size_t r = 0; r < card.contacts.size(); ++r) {
            const Contact& c = card.contacts[r];
            // A time that cannot be converted stays in JST and says so; without a caption row every time names its
            // zone.
            const CardTime t = cardTime(c.date, c.time, card.utc);
            const QString time = t.zone == zone && d.captions ? t.time : t.time + QLatin1Char(' ') + t.zone;
            QString value;
            const QString& id = columns[i].id;
            if (id == QLatin1String("date")) {
                value = dateText(c, t, s);
            } else if (id == QLatin1String("time")) {
                value = time;
            } else if (id == QLatin1String("freq")) {
                value = frequencyText(c, s);
            } else if (id == QLatin1String("mode")) {
                value = c.mode;
            } else if (id == QLatin1String("rst")) {
                value = c.rst;
            } else {
                value = c.power;
            }
            sh.fitted(sh.box(x + 0.5, rowTop[r], w - 1, valueHeight), value, valuePoints, e.bold, align);
        }
        if (i > 0 && d.tableLines) {
            // Column lines stop above a remark, which spans the row.
            for (std::size_t r = 0; r < card.contacts.size(); ++r) {
                sh.line(x, r == 0 ? top : rowTop[r], x, rowTop[r] + valueHeight);
            }
        }
        before += columns[i].weight;
        x = left + width * before / total;
    }
    for (std::size_t r = 0; r < card.contacts.size(); ++r) {
        if (!remarks[r].isEmpty()) {
            sh.fitted(sh.box(left + 2, rowTop[r] + valueHeight - 0.8 * remarkHeight / 3.6, width - 4, remarkHeight),
                      remarks[r], 7.5, false, Qt::AlignLeft | Qt::AlignVCenter);
        }
        if (d.tableLines) {
            sh.line(left, rowTop[r], left + width, rowTop[r], r == 0 ? 0.2 : 0.1);
        }
    }
    if (d.tableLines) {
        sh.frame(sh.box(left, top, width, bottom - top), 0.35);
    }
}

/** The picture of a designed card over the whole card but its lowest kBureauMargin mm, which stay the bureau's. */
void drawBackground(QPainter& p, double dotsPerMm, const CardDesign& d)
{
    if (d.background.isEmpty()) {
        return;
    }
    const QRectF card(0, 0, d.size.width() * dotsPerMm, d.size.height() * dotsPerMm);
    p.save();
    p.setClipRect(QRectF(0, 0, card.width(), (d.size.height() - kBureauMargin) * dotsPerMm));
    if (QFileInfo(d.background).suffix().toLower() == QLatin1String("svg")) {
        QSvgRenderer svg(d.background);
        if (svg.isValid()) {
            svg.render(&p, card);
        }
    } else {
        QImageReader reader(d.background);
        // A picture larger than a card at 600 dpi is read smaller: a bad or huge file never takes the memory.
        const QSize full = reader.size();
        const QSize most(static_cast<int>(d.size.width() / 25.4 * 600), static_cast<int>(d.size.height() / 25.4 * 600));
        if (full.isValid() && (full.width() > most.width() || full.height() > most.height())) {
            reader.setScaledSize(full.scaled(most, Qt::KeepAspectRatio));
        }
        const QImage image = reader.read();
        if (!image.isNull()) {
            p.drawImage(card, image);
        }
    }
    p.restore();
}

void drawCard(CardSheet& sh, const CardDesign& d, const Card& card, const CardSettings& s)
{
    const Contact& first = card.contacts.front();
    const QslText qsl = first.ok ? splitQslText(first.qsl) : QslText();
    const DesignElement* managerBox = d.element(QStringLiteral("manager"));
    bool received = false;
    for (const Contact& c : card.contacts) {
        received = received || c.cardReceived();
    }
    // Elements that need a contact of the card's shape; a line of another shape is printed as it came instead.
    static const QStringList kContactElements
        = {QStringLiteral("toRadioFrame"), QStringLiteral("toRadioCaption"), QStringLiteral("destCall"),
           QStringLiteral("manager"),      QStringLiteral("route"),          QStringLiteral("entity"),
           QStringLiteral("opQth"),        QStringLiteral("tableCaption"),   QStringLiteral("contacts"),
           QStringLiteral("remarks"),      QStringLiteral("pseTnx")};
    for (const DesignElement& e : d.elements) {
        if (!e.shown || (!first.ok && kContactElements.contains(e.id))) {
            continue;
        }
        const QRectF box = sh.box(e.box);
        const int align = static_cast<int>(e.align);
        const QString& id = e.id;
        if (id == QLatin1String("ownCall")) {
            sh.callSign(box, s.call, e.points, e.bold, align, s.slashedZero);
        } else if (id == QLatin1String("ownName")) {
            sh.fitted(box, d.roman ? s.nameRoman : s.name, e.points, e.bold, align);
        } else if (id == QLatin1String("ownAddress")) {
            sh.fitted(box, d.roman ? s.addressRoman : s.address, e.points, e.bold, align);
        } else if (id == QLatin1String("ownQth")) {
            sh.fitted(box,
                      joined({labelled("QTH", sh.field(d.roman ? s.qthRoman : s.qth)),
                              labelled("JCC/JCG", sh.field(s.jcc)), labelled("GL", sh.field(s.grid))}),
                      e.points, e.bold, align);
        } else if (id == QLatin1String("stationRule")) {
            const double y = e.box.center().y();
            sh.line(e.box.left(), y, e.box.right(), y, e.box.height());
        } else if (id == QLatin1String("toRadioFrame")) {
            sh.frame(box, 0.35);
        } else if (id == QLatin1String("destCall")) {
            // The manager beside the call, large enough for a sorting volunteer: the card goes into the manager's
            // bundle. When its box is on the call's line the call gives it the room and stands against it.
            QRectF callBox = e.box;
            int callAlign = align;
            if (!qsl.via.isEmpty() && managerBox && managerBox->shown && managerBox->box.left() > callBox.left()
                && managerBox->box.top() < callBox.bottom() && managerBox->box.bottom() > callBox.top()) {
                callBox.setRight(std::min(callBox.right(), managerBox->box.left() - 1));
                callAlign = (align & Qt::AlignVertical_Mask) | Qt::AlignRight;
            }
            sh.callSign(sh.box(callBox), first.call, e.points, e.bold, callAlign, s.slashedZero);
        } else if (id == QLatin1String("manager")) {
            if (!qsl.via.isEmpty()) {
                sh.callSign(box, QStringLiteral("via ") + qsl.via, e.points, e.bold, align, s.slashedZero);
            }
        } else if (id == QLatin1String("route")) {
            sh.fitted(box, routeText(qsl.route), e.points, e.bold, align);
        } else if (id == QLatin1String("entity")) {
            sh.fitted(box, card.entity, e.points, e.bold, align);
        } else if (id == QLatin1String("opQth")) {
            drawOpQth(sh, e, first);
        } else if (id == QLatin1String("contacts")) {
            drawContacts(sh, e, d, card, s);
        } else if (id == QLatin1String("remarks")) {
            if (card.contacts.size() == 1) {
                sh.wrapped(box, qsl.remarks, e.points, align);
            } else if (!remarksInRows(d, card)) {
                // Each remark on its own line, after the date of its contact.
                QStringList lines;
                for (const Contact& c : card.contacts) {
                    const QString remark = sh.field(splitQslText(c.qsl).remarks);
                    if (!remark.isEmpty()) {
                        lines << dateText(c, cardTime(c.date, c.time, card.utc), s) + QLatin1Char(' ') + remark;
                    }
                }
                sh.wrapped(box, lines.join(QLatin1Char('\n')), e.points, align);
            }
        } else if (id == QLatin1String("pseTnx")) {
            sh.fitted(box, received ? QStringLiteral("TNX QSL") : QStringLiteral("PSE QSL"), e.points, e.bold, align);
        } else if (id == QLatin1String("rigAntenna")) {
            sh.fitted(box, joined({labelled("Rig:", sh.field(s.rig)), labelled("Ant:", sh.field(s.antenna))}), e.points,
                      e.bold, align);
        } else if (id == QLatin1String("freeLine")) {
            sh.fitted(box, s.freeLine, e.points, e.bold, align);
        } else if (id == QLatin1String("seventyThree")) {
            sh.fitted(box, QStringLiteral("73"), e.points, e.bold, align);
        } else if (id == QLatin1String("cardNumber")) {
            sh.fitted(box, QStringLiteral("No. %1").arg(card.number), e.points, e.bold, align);
        } else {
            // The captions and the free texts.
            sh.fitted(box, e.text, e.points, e.bold, align);
        }
    }
    if (!first.ok) {
        // Never reached through printing, which leaves such lines out; kept readable for a preview of them.
        sh.wrapped(sh.box(6, 36, 88, 80), first.line, 8, Qt::AlignLeft | Qt::AlignTop);
    }
}

/** Whether the picture @p path can be drawn. */
bool backgroundReadable(const QString& path)
{
    if (QFileInfo(path).suffix().toLower() == QLatin1String("svg")) {
        return QSvgRenderer(path).isValid();
    }
    QImageReader reader(path);
    return reader.canRead() && reader.size().isValid();
}

/** Moves and scales what is drawn next on @p p by @p c, for a printer that puts it elsewhere. */
void calibrate(QPainter& p, double dotsPerMm, const PrinterCalibration& c)
{
    p.translate(c.x * dotsPerMm, c.y * dotsPerMm);
    p.scale(c.scale / 100, c.scale / 100);
}

} // namespace

void paintDesignedCard(QPainter& painter, double dotsPerMm, const CardDesign& design, const Card& card,
                       const CardSettings& settings)
{
    if (card.contacts.empty()) {
        return;
    }
    painter.save();
    drawBackground(painter, dotsPerMm, design);
    CardSheet sheet(painter, dotsPerMm, design.roman);
    drawCard(sheet, design, card, settings);
    painter.restore();
}

namespace {

QString designProblem(const QStringList& ids, const QString& folder)
{
    QStringList problems;
    for (const QString& id : ids) {
        CardDesign d;
        QString error;
        if (!findCardDesign(id, d, &error, folder)) {
        } else if (!d.background.isEmpty() && !backgroundReadable(d.background)) {
            // A blank postcard printed without its picture is a card wasted.
            error = QStringLiteral("デザイン \"%1\" の背景 %2 を画像として読めません.").arg(id, d.background);
        }
        if (!error.isEmpty() && !problems.contains(error)) {
            problems << error;
        }
    }
    return problems.join(QStringLiteral("\r\n"));
}

} // namespace

QString cardDesignProblem(const CardSettings& settings, const QString& folder)
{
    return designProblem({settings.domesticDesign, settings.foreignDesign}, folder);
}

QString cardDesignProblem(const CardSettings& settings, const std::vector<Card>& cards, const QString& folder)
{
    QStringList ids;
    for (const Card& card : cards) {
        if (!ids.contains(settings.designFor(card.domestic))) {
            ids << settings.designFor(card.domestic);
        }
    }
    return designProblem(ids, folder);
}

void paintCards(QPainter& painter, QPagedPaintDevice& device, const std::vector<Card>& cards,
                const CardSettings& settings, const PrinterCalibration& calibration)
{
    const double dotsPerMm = device.logicalDpiX() / 25.4;
    // Each design read once: a design that cannot be read is the plain one (printing refuses it beforehand).
    CardDesign domestic;
    CardDesign foreign;
    findCardDesign(settings.domesticDesign, domestic, nullptr);
    findCardDesign(settings.foreignDesign, foreign, nullptr);
    bool first = true;
    for (const Card& card : cards) {
        if (!first) {
            device.newPage();
        }
        first = false;
        painter.save();
        calibrate(painter, dotsPerMm, calibration);
        paintDesignedCard(painter, dotsPerMm, card.domestic ? domestic : foreign, card, settings);
        painter.restore();
    }
}

void paintDesignOutlines(QPainter& painter, double dotsPerMm, const CardDesign& design)
{
    painter.save();
    const double k = dotsPerMm;
    for (const DesignElement& e : design.elements) {
        if (!e.shown) {
            continue;
        }
        const QRectF box(e.box.x() * k, e.box.y() * k, e.box.width() * k, e.box.height() * k);
        painter.setPen(QPen(QColor(200, 0, 0), 0.25 * k));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(box);
        QFont f = cardFont(5.5);
        painter.setFont(f);
        painter.setPen(QColor(200, 0, 0));
        // The name inside the box, on the side the element's text keeps to, so that boxes on one line (the route,
        // the country and the caption in "To Radio") keep their names apart; a frame names itself at its foot, a box
        // too low for a name above it.
        const double line = QFontMetricsF(f, painter.device()).height();
        QRectF room = box.adjusted(0.4 * k, 0.2 * k, -0.4 * k, 0);
        int where = static_cast<int>(e.align & Qt::AlignHorizontal_Mask) | Qt::AlignTop;
        if (e.id == QLatin1String("toRadioFrame")) {
            where = Qt::AlignLeft | Qt::AlignBottom;
            room = box.adjusted(0.4 * k, 0, 0, -0.2 * k);
        } else if (room.height() < line) {
            room = QRectF(room.left(), box.top() - line, room.width(), line);
        }
        painter.drawText(room, where | Qt::TextSingleLine, designElementTitle(e.id));
    }
    painter.restore();
}

void paintTestPage(QPainter& painter, double dotsPerMm, const CardDesign& design)
{
    painter.save();
    const double k = dotsPerMm;
    const double w = design.size.width();
    const double h = design.size.height();
    for (int mm = 0; mm <= static_cast<int>(h); ++mm) {
        const double shade = mm % 10 == 0 ? 0.25 : (mm % 5 == 0 ? 0.12 : 0.05);
        const QColor colour
            = mm % 10 == 0 ? QColor(60, 60, 60) : (mm % 5 == 0 ? QColor(150, 150, 150) : QColor(205, 205, 205));
        painter.setPen(QPen(colour, shade * k));
        painter.drawLine(QPointF(0, mm * k), QPointF(w * k, mm * k));
        if (mm <= static_cast<int>(w)) {
            painter.drawLine(QPointF(mm * k, 0), QPointF(mm * k, h * k));
        }
    }
    painter.setPen(Qt::black);
    painter.setFont(cardFont(6));
    for (int mm = 10; mm < static_cast<int>(h); mm += 10) {
        painter.drawText(QRectF(0.6 * k, (mm + 0.3) * k, 8 * k, 3 * k), Qt::AlignLeft | Qt::AlignTop,
                         QString::number(mm));
    }
    for (int mm = 10; mm < static_cast<int>(w); mm += 10) {
        painter.drawText(QRectF((mm + 0.4) * k, 0.4 * k, 8 * k, 3 * k), Qt::AlignLeft | Qt::AlignTop,
                         QString::number(mm));
    }
    // The bureau's margin, where nothing is printed on a card.
    painter.fillRect(QRectF(0, (h - kBureauMargin) * k, w * k, kBureauMargin * k), QColor(0, 0, 0, 40));
    painter.drawText(QRectF(2 * k, (h - kBureauMargin) * k, (w - 4) * k, kBureauMargin * k), Qt::AlignCenter,
                     QStringLiteral("テストページ: %1 (1 目盛 1 mm)").arg(design.title));
    painter.restore();
    paintDesignOutlines(painter, dotsPerMm, design);
}

bool writeTestPagePdf(const QString& path, const CardDesign& design, const PrinterCalibration& calibration,
                      QString* error)
{
    return writeCardPdf(path, QStringLiteral("Card test page"), cardPageLayout(), error,
                        [&](QPainter& p, QPdfWriter& pdf) {
                            const double dotsPerMm = pdf.logicalDpiX() / 25.4;
                            calibrate(p, dotsPerMm, calibration);
                            paintTestPage(p, dotsPerMm, design);
                        });
}

QPageLayout cardPageLayout()
{
    // In whole points as the PDF states it: 283 x 420 pt is 100 x 148 mm to within 0.2 mm (the standard postcard
    // of the page-size table is 284 x 419 pt, a millimetre too wide).
    return QPageLayout(QPageSize(QSize(283, 420), QStringLiteral("Postcard 100 x 148 mm"), QPageSize::ExactMatch),
                       QPageLayout::Portrait, QMarginsF(), QPageLayout::Millimeter);
}

bool writeCardPdf(const QString& path, const QString& title, const QPageLayout& layout, QString* error,
                  const std::function<void(QPainter&, QPdfWriter&)>& paint)
{
    QPdfWriter pdf(path);
    pdf.setResolution(300);
    pdf.setTitle(title);
    pdf.setCreator(QStringLiteral("KELBO"));
    pdf.setPageLayout(layout);
    QPainter p;
    if (!p.begin(&pdf)) {
        if (error) {
            *error = QStringLiteral("%1 に書き込めません.").arg(path);
        }
        return false;
    }
    paint(p, pdf);
    p.end();
    return true;
}

bool writeCardsPdf(const QString& path, const std::vector<Card>& cards, const CardSettings& settings, QString* error,
                   const PrinterCalibration& calibration)
{
    return writeCardPdf(path, QStringLiteral("QSL cards"), cardPageLayout(), error,
                        [&](QPainter& p, QPdfWriter& pdf) { paintCards(p, pdf, cards, settings, calibration); });
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
