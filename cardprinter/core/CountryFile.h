#ifndef KELBO_CARDPRINTER_COUNTRYFILE_H
#define KELBO_CARDPRINTER_COUNTRYFILE_H

#include <QByteArray>
#include <QHash>
#include <QString>
#include <vector>

/** @brief One country of the prefix list: a DXCC entity, or a part of one that only other awards count (its main
 * prefix starts with '*' in the file, as "*IT9" Sicily). */
struct DxccEntity
{
    QString name; // "Fed. Rep. of Germany"
    QString mainPrefix; // "DL", "JD/o"; without the '*'
    bool dxcc = true; // false: counted by other awards only
    int bundle = 0; // the DXCC entity its cards go with: itself, or the entity a '*' part lies in
};

/** @brief The DXCC country file ("cty.dat", as Debian's hamradio-files installs it): for each entity a line
 * "Name: CQ: ITU: continent: lat: long: UTC offset: main prefix:" and then its prefixes up to ';'. A prefix may
 * carry overrides in (), [], <>, {} and ~~, which are left aside; "=CALL" is one exact call. */
class CountryFile
{
public:
    /** Where Debian installs the file. */
    static QString defaultPath();

    /** Reads @p path; false with @p error set (in the program's words) when it is missing or not a country file. */
    bool load(const QString& path, QString* error = nullptr);
    /** Reads the file's text; false with @p error set when it holds no country or breaks the format. */
    bool parse(const QByteArray& text, QString* error = nullptr);

    bool isEmpty() const { return m_entities.empty(); }
    int entityCount() const { return static_cast<int>(m_entities.size()); }
    const DxccEntity& entity(int index) const { return m_entities[static_cast<std::size_t>(index)]; }

    /** The entity of @p call as written (upper case, slashes included): an exact call first, else the longest
     * prefix that begins it; -1 when none does. */
    int lookup(const QString& call) const;
    /** The entity of @p call when the file lists it as an exact call; -1 when it does not. */
    int exact(const QString& call) const { return m_exact.value(call, -1); }
    /** The entity whose main prefix is @p prefix ("K", "JA"); -1 when there is none. */
    int byMainPrefix(const QString& prefix) const;

private:
    std::vector<DxccEntity> m_entities;
    QHash<QString, int> m_exact;
    QHash<QString, int> m_prefixes;
    QHash<QString, int> m_main;
    int m_longestPrefix = 0;
};

#endif
