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

/** @brief How the other station takes QSL cards, as its QSL text says. */
enum class QslRoute
{
    None, // not said
    Bureau, // JARL, BURO, BUREAU, with or without a country ("G BURO", "RSGB BUREAU")
    Direct,
    Electronic, // LoTW or eQSL only: no paper card
    NoQsl,
};

/** @brief The QSL text taken apart: the QSL manager, a call sign after "VIA[..]"/"MGR[..]" (also "VIA[QSL VIA
 * N7RO]"); the route the words in them name; and the rest as the operator would write it ("REM[TNX FB QSO]" reads
 * "TNX FB QSO", "END｢1234｣" reads "END 1234"). A route is never a manager: "VIA[JARL]" is the bureau, and a "VIA"
 * text that is neither (an address) is not printed. An unlabelled text of route words only ("NO QSL") is the route. */
struct QslText
{
    QString via; // the manager's call, or ""
    QslRoute route = QslRoute::None;
    QString remarks;
};
QslText splitQslText(const QString& qsl);

/** @brief The manager and route a "VIA" text names ("VIA MANAGER EA6DB (BUREAU OR DIRECT)"). */
QslText readVia(const QString& text);

/** @brief What the card says of @p route: "via Bureau", "Direct", else "". */
QString routeText(QslRoute route);

/** @brief Why @p c is left out of printing when electronic-only and NO QSL contacts are: "電子QSLのみ", "NO QSL";
 * "" when it is printed. A contact via a manager is printed. */
QString leftOutReason(const Contact& c);
/** @brief The same for a QSL text already taken apart. */
QString leftOutReason(const QslText& q);

/** @brief "HHmm" as "HH:mm"; other texts unchanged. */
QString formatTime(const QString& hhmm);

/** @brief The amateur band of a frequency in MHz ("7.045" reads "40m"); "" when it is no band's. */
QString bandOf(const QString& mhz);

#endif
