#include "CardDesign.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>
#include <cmath>
#include <map>
#include <set>

bool DesignElement::operator==(const DesignElement& o) const
{
    return id == o.id && shown == o.shown && box == o.box && points == o.points && bold == o.bold && align == o.align
        && text == o.text;
}

const DesignElement* CardDesign::element(const QString& id) const
{
    for (const DesignElement& e : elements) {
        if (e.id == id) {
            return &e;
        }
    }
    return nullptr;
}

DesignElement* CardDesign::element(const QString& id)
{
    return const_cast<DesignElement*>(static_cast<const CardDesign*>(this)->element(id));
}

bool CardDesign::operator==(const CardDesign& o) const
{
    return id == o.id && title == o.title && size == o.size && background == o.background && shipped == o.shipped
        && roman == o.roman && elements == o.elements && columns == o.columns && captions == o.captions
        && tableLines == o.tableLines && rowHeight == o.rowHeight;
}

int designFreeTextNumber(const QString& id)
{
    if (!id.startsWith(QLatin1String("text")) || id.size() > 6) {
        return 0;
    }
    bool ok = false;
    const int n = id.mid(4).toInt(&ok);
    return ok && n >= 1 && n <= kMaxFreeTexts && id == QStringLiteral("text%1").arg(n) ? n : 0;
}

bool designTakesText(const QString& id)
{
    return designFreeTextNumber(id) > 0 || id == QLatin1String("toRadioCaption") || id == QLatin1String("tableCaption");
}

namespace {

struct ElementName
{
    const char* id;
    const char* title;
};

// The plain card's drawing order: later elements are drawn over earlier ones.
const ElementName kElements[] = {
    {"ownCall", "自局のコールサイン"},
    {"ownName", "自局の名前"},
    {"ownAddress", "自局の住所"},
    {"ownQth", "QTH・JCC/JCG・グリッド"},
    {"stationRule", "自局欄の下線"},
    {"toRadioFrame", "To Radio の枠"},
    {"toRadioCaption", "To Radio の見出し"},
    {"destCall", "相手局のコールサイン"},
    {"manager", "マネージャー (via)"},
    {"route", "経路 (via Bureau など)"},
    {"entity", "相手局の国名 (DXCC)"},
    {"opQth", "相手局の OP・QTH"},
    {"tableCaption", "交信表の見出し"},
    {"contacts", "交信表"},
    {"remarks", "備考"},
    {"pseTnx", "PSE/TNX QSL"},
    {"rigAntenna", "リグ・アンテナ"},
    {"freeLine", "自由記入"},
    {"seventyThree", "73"},
    {"cardNumber", "カード番号"},
};

const ElementName kColumns[] = {
    {"date", "日付"},   {"time", "時刻"}, {"freq", "周波数/バンド"},
    {"mode", "モード"}, {"rst", "RST"},   {"power", "電力"},
};

DesignElement element(const char* id, double x, double y, double w, double h, double points, bool bold,
                      Qt::Alignment align, const char* text = "")
{
    DesignElement e;
    e.id = QString::fromLatin1(id);
    e.box = QRectF(x, y, w, h);
    e.points = points;
    e.bold = bold;
    e.align = align;
    e.text = QString::fromLatin1(text);
    return e;
}

constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignVCenter;
constexpr Qt::Alignment kCenter = Qt::AlignHCenter | Qt::AlignVCenter;
constexpr Qt::Alignment kRight = Qt::AlignRight | Qt::AlignVCenter;

/** The card as it has always been printed: the own station on top, "To Radio" with the call, the contact table,
 * the remarks, the reply and the card number, the lowest 10 mm free. */
CardDesign plainDesign()
{
    CardDesign d;
    d.id = QStringLiteral("plain");
    d.title = QStringLiteral("無地のはがき (標準)");
    d.shipped = true;
    d.elements = {
        element("ownCall", 6, 5, 88, 11, 20, true, kLeft),
        element("ownName", 6, 16.5, 88, 5, 9, false, kLeft),
        element("ownAddress", 6, 21.5, 88, 5, 8, false, kLeft),
        element("ownQth", 6, 26.5, 88, 5, 8, false, kLeft),
        // A rule 0.5 mm thick: drawn along the middle of its box, as thick as the box is high.
        element("stationRule", 6, 32.25, 88, 0.5, 8, false, kLeft),
        element("toRadioFrame", 6, 35, 88, 24, 8, false, kLeft),
        element("toRadioCaption", 8, 36, 30, 4, 7, false, Qt::AlignLeft | Qt::AlignTop, "To Radio"),
        element("destCall", 8, 39.5, 84, 11.5, 30, true, kCenter),
        // Beside the call: the call then takes the room left of it, set against it.
        element("manager", 55.4, 39.5, 36.6, 11.5, 16, true, kLeft),
        element("route", 8, 36, 84, 4, 8, true, kRight),
        element("entity", 28, 36, 44, 4, 7, false, kCenter),
        element("opQth", 8, 50.5, 84, 8, 8.5, false, kCenter),
        element("tableCaption", 6, 60.5, 88, 4, 7.5, false, kLeft, "Confirming our QSO"),
        // Five contacts with a remark each: a caption row of 4.5 mm and five rows of 6 + 3.6 mm.
        element("contacts", 6, 65, 88, 52.5, 8.5, false, kCenter),
        element("remarks", 6, 77.5, 88, 39.5, 8.5, false, Qt::AlignLeft | Qt::AlignTop),
        element("pseTnx", 6, 129, 40, 8, 13, true, kLeft),
        element("rigAntenna", 6, 118, 88, 4, 7.5, false, kLeft),
        element("freeLine", 6, 122.5, 88, 4, 7.5, false, kLeft),
        element("seventyThree", 50, 129, 44, 8, 13, true, kRight),
        element("cardNumber", 36, 125, 58, 4, 7, false, kRight),
    };
    d.columns
        = {{QStringLiteral("date"), true, 24}, {QStringLiteral("time"), true, 17}, {QStringLiteral("freq"), true, 15},
           {QStringLiteral("mode"), true, 12}, {QStringLiteral("rst"), true, 10},  {QStringLiteral("power"), true, 12}};
    return d;
}

/** Only the contact data, into the boxes most pre-printed Japanese card backs have: the call on the "To Radio"
 * line near the top, one row of Date / Time / MHz / Mode / RST boxes across the middle, the remarks under it and
 * PSE / TNX QSL at the bottom left. No captions, frames or own-station lines: the card has them. */
CardDesign preprintedDesign()
{
    CardDesign d = plainDesign();
    d.id = QStringLiteral("preprinted");
    d.title = QStringLiteral("印刷済みカードにデータのみ");
    for (DesignElement& e : d.elements) {
        e.shown = false;
    }
    const auto place
        = [&d](const char* id, double x, double y, double w, double h, double points, bool bold, Qt::Alignment align) {
              DesignElement* e = d.element(QString::fromLatin1(id));
              e->shown = true;
              e->box = QRectF(x, y, w, h);
              e->points = points;
              e->bold = bold;
              e->align = align;
          };
    // The "To Radio" line: printed "To Radio" on its first 22 mm, the call on the rest of the line.
    place("destCall", 30, 20, 62, 11, 24, true, kCenter);
    place("manager", 30, 31, 62, 5, 10, true, kCenter);
    // The data row of the boxes (their caption row, printed, is above it).
    place("contacts", 8, 68, 84, 10, 9, false, kCenter);
    place("remarks", 10, 86, 80, 16, 9, false, Qt::AlignLeft | Qt::AlignTop);
    // In the middle of the reply's box, clear of its frame.
    place("pseTnx", 8, 118, 34, 9, 12, true, kCenter);
    d.captions = false;
    d.tableLines = false;
    d.rowHeight = 10;
    // The boxes' widths in mm: a time with its zone ("12:08 JST") needs as much room as the date.
    d.columns = {{QStringLiteral("date"), true, 24}, {QStringLiteral("time"), true, 22},
                 {QStringLiteral("freq"), true, 16}, {QStringLiteral("mode"), true, 12},
                 {QStringLiteral("rst"), true, 10},  {QStringLiteral("power"), false, 12}};
    return d;
}

/** The plain card for a station abroad: the romanised own station and nothing a foreign operator cannot read. */
CardDesign englishDesign()
{
    CardDesign d = plainDesign();
    d.id = QStringLiteral("english");
    d.title = QStringLiteral("海外局向け (英語)");
    d.roman = true;
    return d;
}

const QLatin1String kHorizontal[] = {QLatin1String("left"), QLatin1String("center"), QLatin1String("right")};
const Qt::Alignment kHorizontalFlags[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};
const QLatin1String kVertical[] = {QLatin1String("top"), QLatin1String("center"), QLatin1String("bottom")};
const Qt::Alignment kVerticalFlags[] = {Qt::AlignTop, Qt::AlignVCenter, Qt::AlignBottom};

QString shortest(double v)
{
    return QString::number(v, 'g', 17).size() > 12 ? QString::number(v, 'g', 12) : QString::number(v, 'g', 17);
}

QString shownValue(const QJsonValue& v)
{
    QString text;
    switch (v.type()) {
    case QJsonValue::Bool:
        text = v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
        break;
    case QJsonValue::Double:
        text = shortest(v.toDouble());
        break;
    case QJsonValue::String:
        text = v.toString();
        break;
    case QJsonValue::Array:
        text = QStringLiteral("[...]");
        break;
    case QJsonValue::Object:
        text = QStringLiteral("{...}");
        break;
    default:
        text = QStringLiteral("null");
        break;
    }
    return text.size() > 40 ? text.left(40) + QStringLiteral("…") : text;
}

/** Reads and checks one file's design, naming the file, the key and the value of what it refuses. */
class Reader
{
public:
    explicit Reader(const QString& fileName)
        : m_file(QFileInfo(fileName).fileName())
        , m_dir(fileName.isEmpty() ? QDir::currentPath() : QFileInfo(fileName).absolutePath())
    {
    }

    /** "デザイン "my.json": "destCall.points" の値 "-3" は使えません (why)." */
    bool refuse(const QString& key, const QString& value, const QString& why)
    {
        if (m_error.isEmpty()) {
            m_error = QStringLiteral("デザイン \"%1\": \"%2\" の値 \"%3\" は使えません (%4).")
                          .arg(m_file.isEmpty() ? QStringLiteral("(名前なし)") : m_file, key, value, why);
        }
        return false;
    }
    bool refuse(const QString& key, const QJsonValue& value, const QString& why)
    {
        return refuse(key, shownValue(value), why);
    }
    bool fail(const QString& text)
    {
        if (m_error.isEmpty()) {
            m_error = QStringLiteral("デザイン \"%1\": %2")
                          .arg(m_file.isEmpty() ? QStringLiteral("(名前なし)") : m_file, text);
        }
        return false;
    }
    const QString& error() const { return m_error; }
    const QDir& dir() const { return m_dir; }

    bool number(const QJsonObject& o, const QString& prefix, const char* key, double* out)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined()) {
            return true;
        }
        if (!v.isDouble() || !std::isfinite(v.toDouble())) {
            return refuse(prefix + QLatin1String(key), v, QStringLiteral("数ではありません"));
        }
        *out = v.toDouble();
        return true;
    }
    bool boolean(const QJsonObject& o, const QString& prefix, const char* key, bool* out)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined()) {
            return true;
        }
        if (!v.isBool()) {
            return refuse(prefix + QLatin1String(key), v, QStringLiteral("true か false です"));
        }
        *out = v.toBool();
        return true;
    }
    bool string(const QJsonObject& o, const QString& prefix, const char* key, QString* out)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined()) {
            return true;
        }
        if (!v.isString()) {
            return refuse(prefix + QLatin1String(key), v, QStringLiteral("文字列ではありません"));
        }
        *out = v.toString();
        return true;
    }
    /** Refuses any key of @p o not among @p known. */
    bool onlyKnown(const QJsonObject& o, const QString& prefix, std::initializer_list<const char*> known)
    {
        for (auto it = o.begin(); it != o.end(); ++it) {
            bool found = false;
            for (const char* k : known) {
                found = found || it.key() == QLatin1String(k);
            }
            if (!found) {
                return fail(QStringLiteral("\"%1%2\" という項目はありません.").arg(prefix, it.key().left(40)));
            }
        }
        return true;
    }

private:
    QString m_file;
    QDir m_dir;
    QString m_error;
};

bool readElement(Reader& r, const QJsonValue& value, DesignElement& e, CardDesign& d)
{
    const QString prefix = e.id + QLatin1Char('.');
    if (!value.isObject()) {
        return r.refuse(e.id, value, QStringLiteral("{ } で囲んだ項目の集まりではありません"));
    }
    const QJsonObject o = value.toObject();
    const bool table = e.id == QLatin1String("contacts");
    if (table) {
        if (!r.onlyKnown(o, prefix,
                         {"shown", "x", "y", "width", "height", "points", "bold", "align", "valign", "captions",
                          "lines", "rowHeight", "columns"})) {
            return false;
        }
    } else if (designTakesText(e.id)) {
        if (!r.onlyKnown(o, prefix,
                         {"shown", "x", "y", "width", "height", "points", "bold", "align", "valign", "text"})) {
            return false;
        }
    } else if (!r.onlyKnown(o, prefix, {"shown", "x", "y", "width", "height", "points", "bold", "align", "valign"})) {
        return false;
    }
    e.shown = true;
    double x = e.box.x();
    double y = e.box.y();
    double w = e.box.width();
    double h = e.box.height();
    if (!r.boolean(o, prefix, "shown", &e.shown) || !r.number(o, prefix, "x", &x) || !r.number(o, prefix, "y", &y)
        || !r.number(o, prefix, "width", &w) || !r.number(o, prefix, "height", &h)
        || !r.number(o, prefix, "points", &e.points) || !r.boolean(o, prefix, "bold", &e.bold)
        || !r.string(o, prefix, "text", &e.text)) {
        return false;
    }
    e.box = QRectF(x, y, w, h);
    for (const bool horizontal : {true, false}) {
        const char* key = horizontal ? "align" : "valign";
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined()) {
            continue;
        }
        const QLatin1String* names = horizontal ? kHorizontal : kVertical;
        const Qt::Alignment* flags = horizontal ? kHorizontalFlags : kVerticalFlags;
        const Qt::Alignment mask = horizontal ? Qt::AlignHorizontal_Mask : Qt::AlignVertical_Mask;
        int found = -1;
        for (int i = 0; i < 3; ++i) {
            if (v.isString() && v.toString() == names[i]) {
                found = i;
            }
        }
        if (found < 0) {
            return r.refuse(prefix + QLatin1String(key), v,
                            QStringLiteral("%1, %2, %3 のどれかです").arg(names[0], names[1], names[2]));
        }
        e.align = (e.align & ~mask) | flags[found];
    }
    if (!table) {
        return true;
    }
    if (!r.boolean(o, prefix, "captions", &d.captions) || !r.boolean(o, prefix, "lines", &d.tableLines)
        || !r.number(o, prefix, "rowHeight", &d.rowHeight)) {
        return false;
    }
    const QJsonValue columns = o.value(QLatin1String("columns"));
    if (columns.isUndefined()) {
        return true;
    }
    if (!columns.isObject()) {
        return r.refuse(prefix + QLatin1String("columns"), columns,
                        QStringLiteral("{ } で囲んだ列の集まりではありません"));
    }
    const QJsonObject cs = columns.toObject();
    for (auto it = cs.begin(); it != cs.end(); ++it) {
        if (!designColumnIds().contains(it.key())) {
            return r.fail(QStringLiteral("\"%1columns.%2\" という列はありません (%3).")
                              .arg(prefix, it.key().left(40), designColumnIds().join(QStringLiteral(", "))));
        }
    }
    for (DesignColumn& c : d.columns) {
        const QJsonValue v = cs.value(c.id);
        if (v.isUndefined()) {
            continue;
        }
        const QString cp = prefix + QStringLiteral("columns.") + c.id + QLatin1Char('.');
        if (!v.isObject()) {
            return r.refuse(cp.chopped(1), v, QStringLiteral("{ } で囲んだ項目の集まりではありません"));
        }
        const QJsonObject co = v.toObject();
        if (!r.onlyKnown(co, cp, {"shown", "width"}) || !r.boolean(co, cp, "shown", &c.shown)
            || !r.number(co, cp, "width", &c.width)) {
            return false;
        }
    }
    return true;
}

bool checkDesign(Reader& r, const CardDesign& d)
{
    if (d.title.size() > 100) {
        return r.refuse(QStringLiteral("title"), d.title, QStringLiteral("100 文字までです"));
    }
    if (d.size != QSizeF(100, 148)) {
        return r.refuse(QStringLiteral("size"),
                        QStringLiteral("%1 x %2").arg(shortest(d.size.width()), shortest(d.size.height())),
                        QStringLiteral("カードは 100 x 148 mm のはがきです"));
    }
    const double bottom = d.size.height() - kBureauMargin;
    std::set<QString> seen;
    for (const DesignElement& e : d.elements) {
        const QString prefix = e.id + QLatin1Char('.');
        if (!designElementIds().contains(e.id) && designFreeTextNumber(e.id) == 0) {
            return r.fail(QStringLiteral("\"elements.%1\" という要素はありません.").arg(e.id.left(40)));
        }
        if (!seen.insert(e.id).second) {
            return r.fail(QStringLiteral("要素 \"%1\" が二つあります.").arg(e.id));
        }
        const QRectF& b = e.box;
        const double values[] = {b.x(), b.y(), b.width(), b.height(), e.points};
        const char* keys[] = {"x", "y", "width", "height", "points"};
        for (int i = 0; i < 5; ++i) {
            if (!std::isfinite(values[i])) {
                return r.refuse(prefix + QLatin1String(keys[i]), shortest(values[i]),
                                QStringLiteral("数ではありません"));
            }
        }
        if (b.x() < 0 || b.x() >= d.size.width()) {
            return r.refuse(prefix + QLatin1String("x"), shortest(b.x()), QStringLiteral("カードの外です"));
        }
        if (b.y() < 0 || b.y() >= bottom) {
            return r.refuse(prefix + QLatin1String("y"), shortest(b.y()),
                            QStringLiteral("カードの外か, 下 %1 mm のビューロー欄です").arg(kBureauMargin));
        }
        // A hundredth of a millimetre of slack: a box dragged to the edge may carry a rounding error.
        if (b.width() <= 0 || b.right() > d.size.width() + 0.01) {
            return r.refuse(prefix + QLatin1String("width"), shortest(b.width()),
                            b.width() <= 0 ? QStringLiteral("0 より大きい幅です")
                                           : QStringLiteral("カードの右端を越えます"));
        }
        if (b.height() <= 0 || b.bottom() > bottom + 0.01) {
            return r.refuse(prefix + QLatin1String("height"), shortest(b.height()),
                            b.height() <= 0 ? QStringLiteral("0 より大きい高さです")
                                            : QStringLiteral("下 %1 mm のビューロー欄にかかります").arg(kBureauMargin));
        }
        if (e.points < kLegiblePoints || e.points > kLargestPoints) {
            return r.refuse(
                prefix + QLatin1String("points"), shortest(e.points),
                QStringLiteral("文字の大きさは %1〜%2 ポイントです").arg(kLegiblePoints).arg(kLargestPoints));
        }
        if (e.text.size() > 200) {
            return r.refuse(prefix + QLatin1String("text"), e.text, QStringLiteral("200 文字までです"));
        }
        const Qt::Alignment h = e.align & Qt::AlignHorizontal_Mask;
        const Qt::Alignment v = e.align & Qt::AlignVertical_Mask;
        if ((h != Qt::AlignLeft && h != Qt::AlignHCenter && h != Qt::AlignRight)
            || (v != Qt::AlignTop && v != Qt::AlignVCenter && v != Qt::AlignBottom)) {
            return r.refuse(prefix + QLatin1String("align"), QString::number(static_cast<int>(e.align)),
                            QStringLiteral("left, center, right と top, center, bottom です"));
        }
    }
    std::set<QString> columns;
    bool anyShown = false;
    for (const DesignColumn& c : d.columns) {
        const QString key = QStringLiteral("contacts.columns.") + c.id;
        if (!designColumnIds().contains(c.id) || !columns.insert(c.id).second) {
            return r.fail(QStringLiteral("\"%1\" という列は使えません.").arg(key.left(60)));
        }
        if (!std::isfinite(c.width) || c.width < 1 || c.width > 100) {
            return r.refuse(key + QStringLiteral(".width"), shortest(c.width), QStringLiteral("1〜100 の割合です"));
        }
        anyShown = anyShown || c.shown;
    }
    const DesignElement* table = d.element(QStringLiteral("contacts"));
    if (table && table->shown && !anyShown) {
        return r.fail(QStringLiteral("交信表 (\"contacts\") に見せる列が一つもありません."));
    }
    if (!std::isfinite(d.rowHeight) || d.rowHeight < 3 || d.rowHeight > 30) {
        return r.refuse(QStringLiteral("contacts.rowHeight"), shortest(d.rowHeight), QStringLiteral("3〜30 mm です"));
    }
    if (!d.background.isEmpty()) {
        const QFileInfo image(d.background);
        const QString suffix = image.suffix().toLower();
        if (suffix != QLatin1String("png") && suffix != QLatin1String("jpg") && suffix != QLatin1String("jpeg")
            && suffix != QLatin1String("svg")) {
            return r.refuse(QStringLiteral("background"), d.background, QStringLiteral("PNG, JPEG, SVG の画像です"));
        }
        if (!image.isFile() || !image.isReadable()) {
            return r.refuse(QStringLiteral("background"), d.background, QStringLiteral("画像ファイルがありません"));
        }
    }
    return true;
}

QJsonObject elementJson(const DesignElement& e)
{
    QJsonObject o;
    o.insert(QStringLiteral("shown"), e.shown);
    o.insert(QStringLiteral("x"), e.box.x());
    o.insert(QStringLiteral("y"), e.box.y());
    o.insert(QStringLiteral("width"), e.box.width());
    o.insert(QStringLiteral("height"), e.box.height());
    o.insert(QStringLiteral("points"), e.points);
    o.insert(QStringLiteral("bold"), e.bold);
    for (int i = 0; i < 3; ++i) {
        if (e.align & kHorizontalFlags[i]) {
            o.insert(QStringLiteral("align"), QString(kHorizontal[i]));
        }
        if (e.align & kVerticalFlags[i]) {
            o.insert(QStringLiteral("valign"), QString(kVertical[i]));
        }
    }
    if (designTakesText(e.id)) {
        o.insert(QStringLiteral("text"), e.text);
    }
    return o;
}

/** A design id that is a plain file name of its own. */
bool goodId(const QString& id)
{
    return !id.isEmpty() && id.size() <= 100 && !id.startsWith(QLatin1Char('.')) && !id.contains(QLatin1Char('/'))
        && !id.contains(QLatin1Char('\\')) && !id.contains(QChar(0));
}

} // namespace

QStringList designElementIds()
{
    QStringList ids;
    for (const ElementName& e : kElements) {
        ids << QString::fromLatin1(e.id);
    }
    return ids;
}

QString designElementTitle(const QString& id)
{
    for (const ElementName& e : kElements) {
        if (id == QLatin1String(e.id)) {
            return QString::fromUtf8(e.title);
        }
    }
    const int n = designFreeTextNumber(id);
    return n > 0 ? QStringLiteral("自由テキスト %1").arg(n) : QString();
}

QStringList designColumnIds()
{
    QStringList ids;
    for (const ElementName& c : kColumns) {
        ids << QString::fromLatin1(c.id);
    }
    return ids;
}

std::vector<CardDesign> shippedCardDesigns()
{
    return {plainDesign(), preprintedDesign(), englishDesign()};
}

CardDesign shippedCardDesign(const QString& id)
{
    for (const CardDesign& d : shippedCardDesigns()) {
        if (d.id == id) {
            return d;
        }
    }
    return plainDesign();
}

QString cardDesignsFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("KELBO/designs"));
}

bool parseCardDesign(const QByteArray& json, CardDesign& design, QString* error, const QString& fileName)
{
    Reader r(fileName);
    const auto done = [&](bool ok) {
        if (error) {
            *error = ok ? QString() : r.error();
        }
        return ok;
    };
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (doc.isNull() || !doc.isObject()) {
        return done(r.fail(doc.isNull() ? QStringLiteral("JSON として読めません (%1 バイト目: %2).")
                                              .arg(parseError.offset + 1)
                                              .arg(parseError.errorString())
                                        : QStringLiteral("{ } で囲んだデザインではありません.")));
    }
    const QJsonObject o = doc.object();
    if (!r.onlyKnown(o, QString(), {"format", "title", "size", "roman", "background", "elements"})) {
        return done(false);
    }
    double format = 1;
    if (!r.number(o, QString(), "format", &format)) {
        return done(false);
    }
    if (format != 1) {
        return done(r.refuse(QStringLiteral("format"), shortest(format),
                             QStringLiteral("この版が読めるのは 1 です. 新しい版で作られたデザインかもしれません")));
    }
    CardDesign d = plainDesign();
    d.id = fileName.isEmpty() ? QString() : QFileInfo(fileName).fileName();
    if (d.id.endsWith(QLatin1String(".json"))) {
        d.id.chop(5);
    }
    d.shipped = false;
    d.title.clear();
    for (DesignElement& e : d.elements) {
        e.shown = false;
    }
    if (!r.string(o, QString(), "title", &d.title) || !r.boolean(o, QString(), "roman", &d.roman)
        || !r.string(o, QString(), "background", &d.background)) {
        return done(false);
    }
    if (o.contains(QLatin1String("size"))) {
        const QJsonValue s = o.value(QLatin1String("size"));
        if (!s.isObject()) {
            return done(
                r.refuse(QStringLiteral("size"), s, QStringLiteral("{ \"width\": 100, \"height\": 148 } の形です")));
        }
        double w = d.size.width();
        double h = d.size.height();
        if (!r.onlyKnown(s.toObject(), QStringLiteral("size."), {"width", "height"})
            || !r.number(s.toObject(), QStringLiteral("size."), "width", &w)
            || !r.number(s.toObject(), QStringLiteral("size."), "height", &h)) {
            return done(false);
        }
        d.size = QSizeF(w, h);
    }
    if (!d.background.isEmpty()) {
        d.background = QFileInfo(r.dir(), d.background).absoluteFilePath();
    }
    const QJsonValue elements = o.value(QLatin1String("elements"));
    if (!elements.isUndefined() && !elements.isObject()) {
        return done(
            r.refuse(QStringLiteral("elements"), elements, QStringLiteral("{ } で囲んだ要素の集まりではありません")));
    }
    const QJsonObject es = elements.toObject();
    std::map<int, QString> texts;
    for (auto it = es.begin(); it != es.end(); ++it) {
        const int n = designFreeTextNumber(it.key());
        if (n > 0) {
            texts[n] = it.key();
        } else if (!d.element(it.key())) {
            return done(r.fail(QStringLiteral("\"elements.%1\" という要素はありません.").arg(it.key().left(40))));
        }
    }
    for (DesignElement& e : d.elements) {
        if (es.contains(e.id) && !readElement(r, es.value(e.id), e, d)) {
            return done(false);
        }
    }
    // Free texts are drawn last, over the rest, in their numbers' order.
    for (const auto& [n, id] : texts) {
        DesignElement e = element("", 6, 100, 88, 5, 8, false, kLeft);
        e.id = id;
        if (!readElement(r, es.value(id), e, d)) {
            return done(false);
        }
        d.elements.push_back(e);
    }
    if (!checkDesign(r, d)) {
        return done(false);
    }
    design = d;
    return done(true);
}

bool checkCardDesign(const CardDesign& design, QString* error, const QString& fileName)
{
    Reader r(fileName.isEmpty() ? design.id + QStringLiteral(".json") : fileName);
    const bool ok = checkDesign(r, design);
    if (error) {
        *error = r.error();
    }
    return ok;
}

QByteArray cardDesignJson(const CardDesign& design)
{
    QJsonObject o;
    o.insert(QStringLiteral("format"), 1);
    o.insert(QStringLiteral("title"), design.title);
    QJsonObject size;
    size.insert(QStringLiteral("width"), design.size.width());
    size.insert(QStringLiteral("height"), design.size.height());
    o.insert(QStringLiteral("size"), size);
    o.insert(QStringLiteral("roman"), design.roman);
    if (!design.background.isEmpty()) {
        o.insert(QStringLiteral("background"), design.background);
    }
    QJsonObject elements;
    for (const DesignElement& e : design.elements) {
        QJsonObject eo = elementJson(e);
        if (e.id == QLatin1String("contacts")) {
            eo.insert(QStringLiteral("captions"), design.captions);
            eo.insert(QStringLiteral("lines"), design.tableLines);
            eo.insert(QStringLiteral("rowHeight"), design.rowHeight);
            QJsonObject columns;
            for (const DesignColumn& c : design.columns) {
                QJsonObject co;
                co.insert(QStringLiteral("shown"), c.shown);
                co.insert(QStringLiteral("width"), c.width);
                columns.insert(c.id, co);
            }
            eo.insert(QStringLiteral("columns"), columns);
        }
        elements.insert(e.id, eo);
    }
    o.insert(QStringLiteral("elements"), elements);
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

bool loadCardDesign(const QString& path, CardDesign& design, QString* error)
{
    QFile f(path);
    // A design is a few kilobytes; a file of megabytes is no design and is not read whole.
    if (!f.open(QIODevice::ReadOnly) || f.size() > 1024 * 1024) {
        if (error) {
            *error = QStringLiteral("デザイン \"%1\" を読めません%2.")
                         .arg(QFileInfo(path).fileName(), f.isOpen() ? QStringLiteral(" (大きすぎます)") : QString());
        }
        return false;
    }
    return parseCardDesign(f.readAll(), design, error, path);
}

std::vector<CardDesign> cardDesigns(QStringList* problems, const QString& folder)
{
    std::vector<CardDesign> out = shippedCardDesigns();
    const QDir dir(folder);
    for (const QString& name : dir.entryList({QStringLiteral("*.json")}, QDir::Files | QDir::Readable, QDir::Name)) {
        CardDesign d;
        QString error;
        const QString id = name.chopped(5);
        bool shipped = false;
        for (const CardDesign& s : shippedCardDesigns()) {
            shipped = shipped || s.id == id;
        }
        if (shipped) {
            error = QStringLiteral("デザイン \"%1\": 付属のデザインと同じ名前なので使いません.").arg(name);
        } else if (loadCardDesign(dir.filePath(name), d, &error)) {
            out.push_back(d);
            continue;
        }
        if (problems) {
            *problems << error;
        }
    }
    return out;
}

bool findCardDesign(const QString& id, CardDesign& design, QString* error, const QString& folder)
{
    for (const CardDesign& s : shippedCardDesigns()) {
        if (s.id == id) {
            design = s;
            if (error) {
                error->clear();
            }
            return true;
        }
    }
    design = plainDesign();
    const QString path = QDir(folder).filePath(id + QStringLiteral(".json"));
    if (!goodId(id) || !QFileInfo::exists(path)) {
        if (error) {
            *error = QStringLiteral("デザイン \"%1\" が見つかりません (%2).").arg(id.left(100), path);
        }
        return false;
    }
    CardDesign read;
    if (!loadCardDesign(path, read, error)) {
        return false;
    }
    design = read;
    return true;
}

bool saveCardDesign(const CardDesign& design, QString* error, const QString& folder)
{
    const auto fail = [error](const QString& text) {
        if (error) {
            *error = text;
        }
        return false;
    };
    if (!goodId(design.id)) {
        return fail(QStringLiteral("デザインの名前 \"%1\" はファイル名に使えません.").arg(design.id.left(100)));
    }
    for (const CardDesign& s : shippedCardDesigns()) {
        if (s.id == design.id) {
            return fail(QStringLiteral("付属のデザイン \"%1\" は書き換えられません. 別の名前で保存してください.")
                            .arg(design.id));
        }
    }
    if (!checkCardDesign(design, error)) {
        return false;
    }
    QDir().mkpath(folder);
    CardDesign written = design;
    // An image in the designs folder is named by its file name alone, so that the folder can move.
    if (!written.background.isEmpty() && QFileInfo(written.background).absolutePath() == QDir(folder).absolutePath()) {
        written.background = QFileInfo(written.background).fileName();
    }
    QSaveFile f(QDir(folder).filePath(design.id + QStringLiteral(".json")));
    if (!f.open(QIODevice::WriteOnly) || f.write(cardDesignJson(written)) < 0 || !f.commit()) {
        return fail(QStringLiteral("デザイン \"%1\" を %2 に保存できません.").arg(design.id, folder));
    }
    if (error) {
        error->clear();
    }
    return true;
}
