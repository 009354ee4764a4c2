#ifndef KELBO_CARDOSTANDIN_CARDPRINTER_H
#define KELBO_CARDOSTANDIN_CARDPRINTER_H

#include <QString>
#include <QStringList>
#include <vector>

/** @brief The 13 fields of a card line: date, time, call, report, frequency, mode, power, name, QTH, QSL text,
 * send mark, receive mark, environment number. Empty when the line does not have that shape. */
QStringList splitCardLine(const QString& line);

/** @brief Where printed cards go: $CARDO_STANDIN_PDF_DIR, else the home folder. */
QString cardsFolder();

/** @brief Prints @p lines as cards, one 100 x 148 mm page each, into a new PDF in @p folder. Returns the file's
 * path, or "" with @p error set. */
QString printCards(const std::vector<QString>& lines, const QString& folder, QString* error);

#endif
