#include "Contact.h"

#include <QRegularExpression>
#include <algorithm>

QStringList splitCardLine(const QString& line)
{
    // Only the three texts in the middle are quoted and nothing is escaped: take the plain fields from both ends.
    static const QRegularExpression shape(
        QString::fromLatin1(
            R"re(^([^,]*),([^,]*),([^,]*),([^,]*),([^,]*),([^,]*),([^,]*),"(.*)","(.*)","(.*)",(.?),(.?),(-?\d+)$)re"),
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = shape.match(line);
    if (!m.hasMatch()) {
        return {};
    }
    QStringList out;
    for (int i = 1; i <= 13; ++i) {
        out << m.captured(i);
    }
    return out;
}

namespace {

/** A two-digit year: this century unless that lies more than a year ahead, for logs kept since the last one. */
QDate dateOf(const QString& text)
{
    static const QRegularExpression yymmdd(QStringLiteral(R"(^(\d\d)\.(\d\d)\.(\d\d)$)"));
    const QRegularExpressionMatch m = yymmdd.match(text);
    if (!m.hasMatch()) {
        return {};
    }
    int year = 2000 + m.captured(1).toInt();
    if (year > QDate::currentDate().year() + 1) {
        year -= 100;
    }
    return QDate(year, m.captured(2).toInt(), m.captured(3).toInt());
}

} // namespace

Contact parseContact(const QString& line)
{
    Contact c;
    c.line = line;
    const QStringList f = splitCardLine(line);
    if (f.isEmpty()) {
        return c;
    }
    c.ok = true;
    c.dateText = f[0];
    c.date = dateOf(f[0]);
    c.time = f[1];
    c.call = f[2].trimmed();
    c.rst = f[3].trimmed();
    c.freq = f[4].trimmed();
    c.mode = f[5].trimmed();
    c.power = f[6].trimmed();
    c.name = f[7].trimmed();
    c.qth = f[8].trimmed();
    c.qsl = f[9].trimmed();
    c.sendMark = f[10];
    c.recvMark = f[11];
    return c;
}

namespace {

bool isAsciiAlnum(QChar c)
{
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
}

/** A call sign: a prefix of one to three characters, a digit, then letters and digits ending in a letter ("N7RO",
 * "3D2AG"), and perhaps one "/..." after it. */
bool isCallSign(const QString& word)
{
    const qsizetype slash = word.indexOf(QLatin1Char('/'));
    const QString main = slash < 0 ? word : word.left(slash);
    if (slash >= 0) {
        const QString rest = word.mid(slash + 1);
        if (rest.isEmpty() || !std::all_of(rest.begin(), rest.end(), isAsciiAlnum)) {
            return false;
        }
    }
    if (main.size() < 3 || !std::all_of(main.begin(), main.end(), isAsciiAlnum) || !main.back().isLetter()) {
        return false;
    }
    for (qsizetype i = 1; i <= 3 && i <= main.size() - 2; ++i) {
        if (main[i].isDigit()) {
            return true;
        }
    }
    return false;
}

/** The words of a QSL text in upper case, without punctuation; "E-QSL" reads "EQSL", "QSL'S" reads "QSL S". Words
 * of other scripts stay words: "備考" is no separator. */
QStringList routeWords(const QString& text)
{
    QString t = text.toUpper();
    if (t.contains(QLatin1Char('-'))) {
        t.replace(QLatin1String("E-QSL"), QLatin1String("EQSL"));
    }
    if (std::any_of(t.begin(), t.end(), [](QChar c) { return c.unicode() >= 0x80; })) {
        t.replace(QStringLiteral("ビューロー"), QLatin1String(" BUREAU "));
        t.replace(QStringLiteral("ビューロ"), QLatin1String(" BUREAU "));
        t.replace(QStringLiteral("直接"), QLatin1String(" DIRECT "));
        t.replace(QStringLiteral("不要"), QLatin1String(" NOQSL "));
    }
    QStringList words;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= t.size(); ++i) {
        const bool inWord = i < t.size() && (t[i].isLetterOrNumber() || t[i] == QLatin1Char('/'));
        if (inWord && start < 0) {
            start = i;
        } else if (!inWord && start >= 0) {
            words << t.mid(start, i - start);
            start = -1;
        }
    }
    return words;
}

enum Word
{
    Other,
    BureauWord,
    DirectWord,
    ElectronicWord,
    NoQslWord,
    Linking, // VIA, MGR, QSL, OR, AND, ONLY, NO: route words only around them
};

Word wordOf(const QString& w)
{
    if (w == QLatin1String("JARL") || w == QLatin1String("BURO") || w == QLatin1String("BUREAU")) {
        return BureauWord;
    }
    if (w == QLatin1String("DIRECT")) {
        return DirectWord;
    }
    if (w == QLatin1String("LOTW") || w.startsWith(QLatin1String("EQSL"))) {
        return ElectronicWord;
    }
    if (w == QLatin1String("NOQSL")) {
        return NoQslWord;
    }
    static const QStringList linking
        = {QStringLiteral("VIA"),  QStringLiteral("MGR"),  QStringLiteral("MANAGER"), QStringLiteral("QSL"),
           QStringLiteral("QSLS"), QStringLiteral("OR"),   QStringLiteral("AND"),     QStringLiteral("ONLY"),
           QStringLiteral("NO"),   QStringLiteral("CARD"), QStringLiteral("NET"),     QStringLiteral("CC")};
    return linking.contains(w) ? Linking : Other;
}

/** The route of @p words: a paper route (the bureau before direct) over an electronic one, that over NO QSL. "NO"
 * before a route word takes it back ("NO BURO"); "NO QSL" and "NO CARD" say no card is wanted. */
QslRoute routeOf(const QStringList& words)
{
    bool bureau = false;
    bool direct = false;
    bool electronic = false;
    bool none = false;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const bool negated = i > 0 && words[i - 1] == QLatin1String("NO");
        for (const QString& part : words[i].split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
            const Word w = wordOf(part);
            if (negated
                && (part == QLatin1String("QSL") || part == QLatin1String("QSLS") || part == QLatin1String("CARD"))) {
                none = true;
            } else if (!negated) {
                bureau = bureau || w == BureauWord;
                direct = direct || w == DirectWord;
                electronic = electronic || w == ElectronicWord;
                none = none || w == NoQslWord;
            }
        }
    }
    if (bureau) {
        return QslRoute::Bureau;
    }
    if (direct) {
        return QslRoute::Direct;
    }
    if (electronic) {
        return QslRoute::Electronic;
    }
    return none ? QslRoute::NoQsl : QslRoute::None;
}

} // namespace

namespace {

/** A call sign standing first or after VIA, MGR or MANAGER ("QSL VIA N7RO", "VIA MANAGER EA6DB"); "" when none. */
QString managerOf(const QStringList& words)
{
    bool afterVia = true;
    for (const QString& w : words) {
        if (afterVia && isCallSign(w)) {
            return w;
        }
        afterVia = w == QLatin1String("VIA") || w == QLatin1String("MGR") || w == QLatin1String("MANAGER")
            || (afterVia && w == QLatin1String("QSL"));
    }
    return QString();
}

} // namespace

QslText readVia(const QString& text)
{
    QslText out;
    const QStringList words = routeWords(text);
    out.via = managerOf(words);
    out.route = routeOf(words);
    return out;
}

QslText splitQslText(const QString& qsl)
{
    // A labelled remark is a label glued to a bracketed value: VIA[VK2ABC], My｢599｣, REM{TNX}, END<1234>.
    // Round brackets are left alone: they are common in free text.
    static const QRegularExpression labelled(
        QStringLiteral(R"((^|\s)([^\s\[｢{<]+)(?:\[([^\]]*)\]|｢([^｣]*)｣|\{([^}]*)\}|<([^>]*)>))"));
    QslText out;
    QStringList parts;
    qsizetype at = 0;
    bool viaSeen = false;
    QStringList viaWords;
    QRegularExpressionMatchIterator it = labelled.globalMatch(qsl);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        parts << qsl.mid(at, m.capturedStart(0) - at).trimmed();
        at = m.capturedEnd(0);
        const QString label = m.captured(2);
        QString value;
        for (int g = 3; g <= 6; ++g) {
            if (m.capturedStart(g) >= 0) {
                value = m.captured(g).trimmed();
            }
        }
        const QString key = label.toUpper();
        if (key == QLatin1String("VIA") || key == QLatin1String("MGR")) {
            // The first manager named is the manager; the route is what all VIA texts say together.
            if (!value.isEmpty()) {
                viaSeen = true;
                const QStringList words = routeWords(value);
                if (out.via.isEmpty()) {
                    out.via = managerOf(words);
                }
                if (!viaWords.isEmpty()) {
                    viaWords << QStringLiteral("|"); // a "NO" at the end of one text says nothing of the next
                }
                viaWords << words;
            }
        } else if (key == QLatin1String("REM") || key == QLatin1String("RMKS")) {
            parts << value;
        } else if (!value.isEmpty()) {
            parts << label + QLatin1Char(' ') + value;
        }
    }
    parts << qsl.mid(at).trimmed();
    parts.removeAll(QString());
    out.remarks = parts.join(QLatin1Char(' '));
    if (viaSeen) {
        out.route = routeOf(viaWords);
    }
    if (!viaSeen && !out.remarks.isEmpty() && out.remarks.size() <= 40) {
        // Remarks of route words alone ("JARL", "NO QSL", "LoTW only") say the route, not a remark.
        const QStringList words = routeWords(out.remarks);
        bool routeOnly = !words.isEmpty();
        for (const QString& w : words) {
            routeOnly = routeOnly && wordOf(w) != Other;
        }
        const QslRoute route = routeOnly ? routeOf(words) : QslRoute::None;
        if (route != QslRoute::None) {
            out.route = route;
            out.remarks.clear();
        }
    }
    return out;
}

QString routeText(QslRoute route)
{
    switch (route) {
    case QslRoute::Bureau:
        return QStringLiteral("via Bureau");
    case QslRoute::Direct:
        return QStringLiteral("Direct");
    default:
        return QString();
    }
}

QString leftOutReason(const Contact& c)
{
    return c.ok ? leftOutReason(splitQslText(c.qsl)) : QString();
}

QString leftOutReason(const QslText& q)
{
    if (!q.via.isEmpty()) {
        return QString();
    }
    if (q.route == QslRoute::Electronic) {
        return QStringLiteral("電子QSLのみ");
    }
    return q.route == QslRoute::NoQsl ? QStringLiteral("NO QSL") : QString();
}

QString formatTime(const QString& hhmm)
{
    static const QRegularExpression digits(QStringLiteral(R"(^\d\d\d\d$)"));
    return digits.match(hhmm).hasMatch() ? hhmm.left(2) + QLatin1Char(':') + hhmm.mid(2) : hhmm;
}

QString bandOf(const QString& mhz)
{
    bool ok = false;
    const double f = mhz.toDouble(&ok);
    if (!ok) {
        return QString();
    }
    static const struct
    {
        double low;
        double high;
        const char* band;
    } bands[] = {
        {0.1357, 0.1378, "2200m"},   {0.472, 0.479, "630m"},   {1.8, 2.0, "160m"},      {3.5, 4.0, "80m"},
        {5.3, 5.5, "60m"},           {7.0, 7.3, "40m"},        {10.1, 10.15, "30m"},    {14.0, 14.35, "20m"},
        {18.068, 18.168, "17m"},     {21.0, 21.45, "15m"},     {24.89, 24.99, "12m"},   {28.0, 29.7, "10m"},
        {50.0, 54.0, "6m"},          {144.0, 148.0, "2m"},     {220.0, 225.0, "1.25m"}, {430.0, 440.0, "70cm"},
        {1240.0, 1300.0, "23cm"},    {2300.0, 2450.0, "13cm"}, {5650.0, 5850.0, "6cm"}, {10000.0, 10500.0, "3cm"},
        {24000.0, 24250.0, "1.2cm"},
    };
    for (const auto& b : bands) {
        if (f >= b.low && f <= b.high) {
            return QString::fromLatin1(b.band);
        }
    }
    return QString();
}
