#ifndef KELBO_CARDPRINTER_CARDLAYOUT_H
#define KELBO_CARDPRINTER_CARDLAYOUT_H

#include "BureauOrder.h"
#include "CardDesign.h"
#include "CardSettings.h"
#include "Contact.h"

#include <QFont>
#include <QPageLayout>
#include <QString>
#include <functional>
#include <vector>

class QPainter;
class QPagedPaintDevice;
class QPdfWriter;

/** @brief One card: up to five contacts with one station, and its running number. */
struct Card
{
    std::vector<Contact> contacts;
    std::vector<qint64> lines; // the serial numbers of the held lines the contacts came from
    int number = 0;
    bool utc = false; // its times are printed in UTC (the lines carry JST)
    QString entity; // the DXCC entity printed under the call, or ""
    bool domestic = true; // to a station in Japan: printed with the settings' design for domestic cards
};

/** Most contacts printed on one card. */
constexpr int kContactsPerCard = 5;

/** @brief Cards for @p contacts (with their held lines' serial numbers) in the order given: one each, or, with grouping
 * on, the contacts with one station gathered onto cards of up to @p perCard (five, or fewer on a small label) where
 * that station first comes. Numbered from @p settings.nextCardNumber on. */
std::vector<Card> makeCards(const std::vector<Contact>& contacts, const std::vector<qint64>& lines,
                            const CardSettings& settings, int perCard = kContactsPerCard);

/** @brief Gives @p cards their zone, country and design: a card to a station outside Japan prints UTC (as @p settings
 * choose), when they say so the station's DXCC entity, and takes the design for foreign cards. */
void placeCards(std::vector<Card>& cards, const BureauOrder& order, const CardSettings& settings);

/** @brief The font printed cards use: a Japanese gothic whose PDF text layer reads back as written (digits and
 * kanji alike), at @p points. */
QFont cardFont(double points, bool bold = false);

/** @brief Draws @p card as @p design places its elements, at @p dotsPerMm, the card's top-left corner at the
 * painter's origin. Every design shares what makes a card correct: the zone of its times, the route and manager, the
 * card number, the slashed zero, no text below kLegiblePoints (what does not fit is shortened with an ellipsis) and
 * nothing in the lowest kBureauMargin mm. A preview of a design calls it as printing does. */
void paintDesignedCard(QPainter& painter, double dotsPerMm, const CardDesign& design, const Card& card,
                       const CardSettings& settings);

/** @brief The designs @p settings choose for domestic and foreign cards; "" when both can be read, else why not
 * (printing is then refused: a card meant for a pre-printed back must not come out plain). */
QString cardDesignProblem(const CardSettings& settings, const QString& folder = cardDesignsFolder());
/** @brief The same for the designs @p cards are printed in only: a design for foreign cards that cannot be read does
 * not stop domestic ones. */
QString cardDesignProblem(const CardSettings& settings, const std::vector<Card>& cards,
                          const QString& folder = cardDesignsFolder());

/** @brief Draws @p cards, one page each, on @p device through @p painter (already begun on it), each in the design
 * @p settings choose for it (the plain design where that cannot be read), moved and scaled by @p calibration. */
void paintCards(QPainter& painter, QPagedPaintDevice& device, const std::vector<Card>& cards,
                const CardSettings& settings, const PrinterCalibration& calibration = PrinterCalibration());

/** @brief The outline of every element @p design shows, named, over a card at @p dotsPerMm. */
void paintDesignOutlines(QPainter& painter, double dotsPerMm, const CardDesign& design);

/** @brief A page to calibrate a printer with: a millimetre grid numbered every 10 mm and @p design's boxes. */
void paintTestPage(QPainter& painter, double dotsPerMm, const CardDesign& design);

/** @brief Writes the test page of @p design, moved and scaled by @p calibration, into a new PDF at @p path. */
bool writeTestPagePdf(const QString& path, const CardDesign& design, const PrinterCalibration& calibration,
                      QString* error);

/** @brief The page of every card: a Japanese postcard, 100 x 148 mm portrait, the whole sheet. */
QPageLayout cardPageLayout();

/** @brief Writes a new PDF at @p path, titled @p title, its pages laid out as @p layout and drawn by @p paint (the
 * painter already begun on the writer); false with @p error set when the file cannot be written. */
bool writeCardPdf(const QString& path, const QString& title, const QPageLayout& layout, QString* error,
                  const std::function<void(QPainter&, QPdfWriter&)>& paint);

/** @brief Writes @p cards into a new PDF at @p path (moved and scaled by @p calibration, for the printer it goes
 * to); false with @p error set when it cannot. */
bool writeCardsPdf(const QString& path, const std::vector<Card>& cards, const CardSettings& settings, QString* error,
                   const PrinterCalibration& calibration = PrinterCalibration());

/** @brief A contact's date as cards print it, in the settings' form ("30 APR 2024"). */
QString cardDateText(const Contact& c, const CardTime& t, const CardSettings& s);
/** @brief A contact's frequency as cards print it: MHz, or the band when the settings say so. */
QString cardFrequencyText(const Contact& c, const CardSettings& s);

#endif
