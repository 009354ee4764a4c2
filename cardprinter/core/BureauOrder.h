#ifndef KELBO_CARDPRINTER_BUREAUORDER_H
#define KELBO_CARDPRINTER_BUREAUORDER_H

#include "CountryFile.h"

#include <QString>

/** @brief The call that receives a card of a call with slashes: the part that names the operator ("JA1ABC" of
 * "JA1ABC/3", "DL/JA1ABC" and "JA1ABC/P"); "" when no part looks like a call. Upper case. */
QString homeCall(const QString& call);

/** @brief Where a card goes in a QSL bureau's sorting. */
struct BureauPlace
{
    QString key; // its plain text order is the bureau's order
    QString bundle; // the bundle it goes into: "1エリア", "Fed. Rep. of Germany", "United States of America 4エリア"
    bool domestic = false; // sorted by Japan's bureau into call areas
};

/** @brief The order a QSL bureau wants its cards in. Japanese calls (JA–JS, 7J–7N, 8J–8N; JD1 included) first, by
 * call area 1 to 9 and then 0 (7K1–7N4 are all area 1), then prefix (JA…JS, 7J…7N, 8J…8N), then suffix; then the
 * foreign calls by DXCC entity in the order of the entity's main prefix, the USA by call district 1 to 9 and 0; then
 * calls of no known entity by prefix; then whatever is no call. A card sorts with the call that receives it: the
 * operator's own call of a portable call ("JA1ABC/3" in area 1, "DL/JA1ABC" with JA1ABC), the manager's when it goes
 * via one. Without a country file the foreign calls sort by their literal prefix. */
class BureauOrder
{
public:
    /** Without a country file. */
    BureauOrder() = default;
    explicit BureauOrder(CountryFile countries);

    bool hasCountryFile() const { return !m_countries.isEmpty(); }
    const CountryFile& countryFile() const { return m_countries; }

    /** The place of a card for @p call, sent via @p manager when that is a call. */
    BureauPlace place(const QString& call, const QString& manager = QString()) const;

    /** The DXCC entity @p call was in ("DL/JA1ABC" in Germany, "JA1ABC/3" in Japan); -1 when not known. */
    int locationEntity(const QString& call) const;
    /** Whether @p call was in Japan (JD1 islands included) for the contact; without a country file by its prefix. */
    bool inJapan(const QString& call) const;
    /** The name of the DXCC entity @p call was in, for the card; "" in Japan or when not known. */
    QString locationName(const QString& call) const;

private:
    BureauPlace placeOf(const QString& call) const;
    bool japaneseEntity(int entity) const;

    CountryFile m_countries;
    int m_usa = -1;
};

/** @brief The bureau order of @p call without a country file (BureauOrder().place(call).key). */
QString bureauKey(const QString& call);

#endif
