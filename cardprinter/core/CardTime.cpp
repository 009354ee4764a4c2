#include "CardTime.h"

#include <QDateTime>
#include <QRegularExpression>

QString cardZonesKey(CardZones zones)
{
    switch (zones) {
    case CardZones::AllJst:
        return QStringLiteral("AllJst");
    case CardZones::AllUtc:
        return QStringLiteral("AllUtc");
    case CardZones::ForeignUtc:
        break;
    }
    return QStringLiteral("ForeignUtc");
}

bool cardZonesFromKey(const QString& key, CardZones* zones)
{
    for (const CardZones z : {CardZones::ForeignUtc, CardZones::AllJst, CardZones::AllUtc}) {
        if (key == cardZonesKey(z)) {
            *zones = z;
            return true;
        }
    }
    return false;
}

CardTime cardTime(const QDate& date, const QString& hhmm, bool utc)
{
    static const QRegularExpression digits(QStringLiteral(R"(^(\d\d)(\d\d)$)"));
    const QRegularExpressionMatch m = digits.match(hhmm);
    const QTime time = m.hasMatch() ? QTime(m.captured(1).toInt(), m.captured(2).toInt()) : QTime();
    CardTime out;
    out.date = date;
    out.time = time.isValid() ? time.toString(QStringLiteral("HH:mm")) : hhmm;
    out.zone = QStringLiteral("JST");
    if (!utc || !time.isValid() || !date.isValid()) {
        return out;
    }
    // Japan keeps no summer time: JST is UTC+9 all year.
    const QDateTime inUtc = QDateTime(date, time, Qt::UTC).addSecs(-9 * 3600);
    out.date = inUtc.date();
    out.time = inUtc.time().toString(QStringLiteral("HH:mm"));
    out.zone = QStringLiteral("UTC");
    return out;
}
