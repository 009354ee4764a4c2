#ifndef KELBO_CARDPRINTER_CARDLAYOUT_H
#define KELBO_CARDPRINTER_CARDLAYOUT_H

#include "BureauOrder.h"
#include "CardSettings.h"
#include "Contact.h"

#include <QFont>
#include <QPageLayout>
#include <QString>
#include <vector>

class QPainter;
class QPagedPaintDevice;

/** @brief One card: up to five contacts with one station, and its running number. */
struct Card
{
    std::vector<Contact> contacts;
    std::vector<qint64> lines; // the serial numbers of the held lines the contacts came from
    int number = 0;
    bool utc = false; // its times are printed in UTC (the lines carry JST)
    QString entity; // the DXCC entity printed under the call, or ""
};

/** Most contacts printed on one card. */
constexpr int kContactsPerCard = 5;

/** @brief Cards for @p contacts (with their held lines' serial numbers) in the order given: one each, or, with grouping
 * on, the contacts with one station gathered onto cards of up to @p perCard (five, or fewer on a small label) where
 * that station first comes. Numbered from @p settings.nextCardNumber on. */
std::vector<Card> makeCards(const std::vector<Contact>& contacts, const std::vector<qint64>& lines,
                            const CardSettings& settings, int perCard = kContactsPerCard);

/** @brief Gives @p cards their zone and country: a card to a station outside Japan prints UTC (as @p settings
 * choose) and, when they say so, the station's DXCC entity. */
void placeCards(std::vector<Card>& cards, const BureauOrder& order, const CardSettings& settings);

/** @brief The font printed cards use: a Japanese gothic whose PDF text layer reads back as written (digits and
 * kanji alike), at @p points. */
QFont cardFont(double points, bool bold = false);

/** @brief Draws @p cards, one page each, on @p device through @p painter (already begun on it). */
void paintCards(QPainter& painter, QPagedPaintDevice& device, const std::vector<Card>& cards,
                const CardSettings& settings);

/** @brief The page of every card: a Japanese postcard, 100 x 148 mm portrait, the whole sheet. */
QPageLayout cardPageLayout();

/** @brief Writes @p cards into a new PDF at @p path; false with @p error set when it cannot. */
bool writeCardsPdf(const QString& path, const std::vector<Card>& cards, const CardSettings& settings, QString* error);

/** @brief A contact's date as cards print it, in the settings' form ("30 APR 2024"). */
QString cardDateText(const Contact& c, const CardTime& t, const CardSettings& s);
/** @brief A contact's frequency as cards print it: MHz, or the band when the settings say so. */
QString cardFrequencyText(const Contact& c, const CardSettings& s);

#endif
