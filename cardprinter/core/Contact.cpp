#include "Contact.h"

#include <QRegularExpression>

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

QslText splitQslText(const QString& qsl)
{
    // A labelled remark is a label glued to a bracketed value: VIA[VK2ABC], My｢599｣, REM{TNX}, END<1234>.
    // Round brackets are left alone: they are common in free text.
    static const QRegularExpression labelled(
        QStringLiteral(R"((^|\s)([^\s\[｢{<]+)(?:\[([^\]]*)\]|｢([^｣]*)｣|\{([^}]*)\}|<([^>]*)>))"));
    QslText out;
    QStringList parts;
    qsizetype at = 0;
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
            if (out.via.isEmpty()) {
                out.via = value;
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
    return out;
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
