#ifndef KELBO_CARDPRINTER_CONTACT_H
#define KELBO_CARDPRINTER_CONTACT_H

#include <QDate>
#include <QString>
#include <QStringList>

/** @brief The 13 fields of a card line: date, time, call, report, frequency, mode, power, name, QTH, QSL text,
 * send mark, receive mark, environment number. Empty when the line does not have that shape. */
QStringList splitCardLine(const QString& line);

/** @brief One contact as read from a card line. */
struct Contact
{
    bool ok = false; // false: the line has another shape and only `line` is known
    QString line;
    QString dateText; // "YY.MM.DD" as handed over
    QDate date; // invalid when dateText is no date
    QString time; // "HHmm"
    QString call;
    QString rst;
    QString freq;
    QString mode;
    QString power;
    QString name;
    QString qth;
    QString qsl; // as handed over, labelled remarks included
    QString sendMark;
    QString recvMark;

    /** A QSL card of the other station has arrived. */
    bool cardReceived() const { return !recvMark.trimmed().isEmpty(); }
};

/** @brief Reads one card line. */
Contact parseContact(const QString& line);

/** @brief The QSL text taken apart: the manager a card goes via ("VIA[..]", "MGR[..]"), and the rest as the
 * operator would write it ("REM[TNX FB QSO]" reads "TNX FB QSO", "END｢1234｣" reads "END 1234"). */
struct QslText
{
    QString via;
    QString remarks;
};
QslText splitQslText(const QString& qsl);

/** @brief "HHmm" as "HH:mm"; other texts unchanged. */
QString formatTime(const QString& hhmm);

/** @brief The amateur band of a frequency in MHz ("7.045" reads "40m"); "" when it is no band's. */
QString bandOf(const QString& mhz);

#endif
