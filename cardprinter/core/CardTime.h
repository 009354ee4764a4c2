#ifndef KELBO_CARDPRINTER_CARDTIME_H
#define KELBO_CARDPRINTER_CARDTIME_H

#include <QDate>
#include <QString>

/** @brief Which zone the cards print their times in. The lines always carry Japanese time (the log program shifts
 * UTC logs to JST). */
enum class CardZones
{
    ForeignUtc, // domestic cards JST, foreign cards UTC
    AllJst,
    AllUtc,
};

/** @brief The setting's text in the settings file ("ForeignUtc", "AllJst", "AllUtc"). */
QString cardZonesKey(CardZones zones);
/** @brief The setting read back; false when @p key names none. */
bool cardZonesFromKey(const QString& key, CardZones* zones);

/** @brief A contact's date and time as a card prints them. */
struct CardTime
{
    QDate date; // invalid when the line's date was no date
    QString time; // "HH:mm", or the line's text when it was no time
    QString zone; // "JST" or "UTC": the zone @p time is in
};

/** @brief The Japanese @p date and @p hhmm of a line in UTC when @p utc, the date rolled back with the nine hours
 * (over a month's, a year's end and 29 February). A date or time that is not one stays as it came, in JST: a time
 * that cannot be converted is never labelled UTC. */
CardTime cardTime(const QDate& date, const QString& hhmm, bool utc);

#endif
