#ifndef KELBO_CARDPRINTER_BUREAUORDER_H
#define KELBO_CARDPRINTER_BUREAUORDER_H

#include <QString>

/** @brief A key whose plain text order is the order a QSL bureau wants its cards in: Japanese calls first, by call
 * area 1 to 9 and then 0, then by suffix, then by prefix; then foreign calls by prefix and suffix; then whatever is
 * no call sign. A portable call sorts with the station's own call ("JA1ABC/3" and "DL/JA1ABC" with "JA1ABC"). */
QString bureauKey(const QString& call);

#endif
