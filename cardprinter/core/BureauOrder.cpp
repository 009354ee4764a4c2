#include "BureauOrder.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

/** A call: a prefix ending in a digit, then a suffix of letters. */
const QRegularExpression& callShape()
{
    static const QRegularExpression shape(QStringLiteral(R"(^([A-Z0-9]*[0-9])([A-Z]+)$)"));
    return shape;
}

/** A Japanese call: JA–JS, 7J–7N or 8J–8N, the area digit (more digits for some special stations), the suffix. */
const QRegularExpression& japaneseShape()
{
    static const QRegularExpression shape(QStringLiteral(R"(^(J[A-S]|7[J-N]|8[J-N])([0-9])[0-9]*([A-Z]+)$)"));
    return shape;
}

/** What follows a call after a slash without naming a place: portable, mobile, maritime, QRP, lighthouse... */
bool isModifier(const QString& part)
{
    static const QStringList modifiers
        = {QStringLiteral("P"),   QStringLiteral("M"),    QStringLiteral("A"),  QStringLiteral("B"),
           QStringLiteral("R"),   QStringLiteral("J"),    QStringLiteral("MM"), QStringLiteral("AM"),
           QStringLiteral("QRP"), QStringLiteral("QRPP"), QStringLiteral("LH"), QStringLiteral("YL"),
           QStringLiteral("BCN"), QStringLiteral("LGT"),  QStringLiteral("PM")};
    return part.size() == 1 ? part[0].isLetter() : modifiers.contains(part);
}

/** The letters after the last digit of a call. */
qsizetype suffixLength(const QString& part)
{
    qsizetype n = 0;
    while (n < part.size() && part[part.size() - 1 - n].isLetter()) {
        ++n;
    }
    return n;
}

/** The part of a call with slashes that names where the station was, when another part than the operator's call
 * does: "DL" of "DL/JA1ABC", "KH6" of "JA1ABC/KH6", "3" of "JA1ABC/3"; "" when none does. */
QString placePart(const QStringList& parts, const QString& home)
{
    const qsizetype at = parts.indexOf(home);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString& p = parts[i];
        if (i == at || p.isEmpty()) {
            continue;
        }
        if (i < at) {
            return p; // a prefix before the call always names the place
        }
        if (!isModifier(p)) {
            return p;
        }
    }
    return QString();
}

/** What names the place of @p call whose operator is @p home: the place part, else the home call, with the
 * digit of "/3" put into it ("UA9ABC/1" was in "UA1ABC"'s place). */
QString placeCall(const QString& call, const QString& home)
{
    if (home.isEmpty()) {
        return call;
    }
    const QString place = placePart(call.split(QLatin1Char('/')), home);
    if (place.isEmpty()) {
        return home;
    }
    if (place.size() == 1 && place[0].isDigit()) {
        const QRegularExpressionMatch m = callShape().match(home);
        QString prefix = m.captured(1);
        prefix.back() = place[0];
        return prefix + m.captured(2);
    }
    return place;
}

/** Maritime or aeronautical mobile: in no country. */
bool atSea(const QString& call)
{
    const QStringList parts = call.split(QLatin1Char('/'));
    return parts.size() > 1 && (parts.back() == QLatin1String("MM") || parts.back() == QLatin1String("AM"));
}

/** Area 0 comes after 9. */
QChar areaRank(QChar digit)
{
    return digit == QLatin1Char('0') ? QLatin1Char(':') : digit;
}

} // namespace

QString homeCall(const QString& call)
{
    const QString upper = call.trimmed().toUpper();
    QString best;
    for (const QString& part : upper.split(QLatin1Char('/'))) {
        if (!callShape().match(part).hasMatch()) {
            continue;
        }
        // The longest part; of two as long, the one with more letters after its digit ("W1AW" of "VP2V/W1AW"),
        // then the later one.
        if (part.size() > best.size() || (part.size() == best.size() && suffixLength(part) >= suffixLength(best))) {
            best = part;
        }
    }
    return best;
}

BureauOrder::BureauOrder(CountryFile countries)
    : m_countries(std::move(countries))
{
    m_usa = m_countries.byMainPrefix(QStringLiteral("K"));
}

bool BureauOrder::japaneseEntity(int entity) const
{
    if (entity < 0) {
        return false;
    }
    const QString main = m_countries.entity(entity).mainPrefix;
    return main == QLatin1String("JA") || main.startsWith(QLatin1String("JD/"));
}

BureauPlace BureauOrder::placeOf(const QString& call) const
{
    const QString upper = call.trimmed().toUpper();
    const QString home = homeCall(upper);
    BureauPlace out;
    if (home.isEmpty()) {
        out.key = QStringLiteral("4 ") + upper;
        return out;
    }
    const int entity = hasCountryFile() ? m_countries.lookup(home) : -1;
    const QRegularExpressionMatch jp = japaneseShape().match(home);
    // Every call of Japan's prefixes is licensed in Japan and goes through Japan's bureau, wherever the station was
    // ("8J1RL" at the Antarctic base included).
    if (jp.hasMatch()) {
        const QString prefix = jp.captured(1);
        QChar area = jp.captured(2)[0];
        // 7K1–7N4 were all issued in area 1, whatever their digit.
        if (prefix[0] == QLatin1Char('7') && prefix[1] >= QLatin1Char('K') && area >= QLatin1Char('1')
            && area <= QLatin1Char('4')) {
            area = QLatin1Char('1');
        }
        // The J series first, then 7J–7N, then 8J–8N.
        const QChar series = prefix[0] == QLatin1Char('J') ? QLatin1Char('a')
            : prefix[0] == QLatin1Char('7')                ? QLatin1Char('b')
                                                           : QLatin1Char('c');
        out.domestic = true;
        out.key = QStringLiteral("1 %1 %2%3 %4 %5").arg(areaRank(area), series, prefix[1], jp.captured(3), upper);
        out.bundle = QStringLiteral("%1エリア").arg(area);
        return out;
    }
    const QRegularExpressionMatch m = callShape().match(home);
    const QString prefix = m.captured(1);
    const QString suffix = m.captured(2);
    if (entity < 0) {
        out.key = QStringLiteral("3 %1 %2 %3").arg(prefix, suffix, upper);
        out.bundle = prefix;
        return out;
    }
    const int bundle = m_countries.entity(entity).bundle;
    const DxccEntity& e = m_countries.entity(bundle);
    QString district = QStringLiteral("-");
    out.bundle = e.name;
    if (bundle == m_usa) {
        district = areaRank(prefix.back());
        out.bundle += QStringLiteral(" %1エリア").arg(prefix.back());
    }
    out.key = QStringLiteral("2 %1 %2 %3 %4 %5 %6")
                  .arg(e.mainPrefix)
                  .arg(bundle, 4, 10, QLatin1Char('0'))
                  .arg(district, prefix, suffix, upper);
    return out;
}

BureauPlace BureauOrder::place(const QString& call, const QString& manager) const
{
    if (!homeCall(manager).isEmpty()) {
        BureauPlace p = placeOf(manager);
        p.key += QLatin1Char(' ') + call.trimmed().toUpper();
        return p;
    }
    return placeOf(call);
}

int BureauOrder::locationEntity(const QString& call) const
{
    if (!hasCountryFile()) {
        return -1;
    }
    const QString upper = call.trimmed().toUpper();
    const int exact = m_countries.exact(upper);
    const QString home = homeCall(upper);
    if (exact >= 0 || home.isEmpty()) {
        return exact >= 0 ? exact : m_countries.lookup(upper);
    }
    if (atSea(upper)) {
        return -1;
    }
    return m_countries.lookup(placeCall(upper, home));
}

bool BureauOrder::inJapan(const QString& call) const
{
    if (hasCountryFile()) {
        return japaneseEntity(locationEntity(call));
    }
    const QString upper = call.trimmed().toUpper();
    const QString place = placeCall(upper, homeCall(upper));
    if (atSea(upper)) {
        return false;
    }
    static const QRegularExpression japan(QStringLiteral(R"(^(J[A-S]|7[J-N]|8[J-N])[0-9])"));
    return japan.match(place).hasMatch();
}

QString BureauOrder::locationName(const QString& call) const
{
    const int e = locationEntity(call);
    if (e < 0 || m_countries.entity(e).mainPrefix == QLatin1String("JA")) {
        return QString();
    }
    return m_countries.entity(e).name;
}

QString bureauKey(const QString& call)
{
    static const BureauOrder withoutCountries;
    return withoutCountries.place(call).key;
}
