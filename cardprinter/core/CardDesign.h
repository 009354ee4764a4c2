#ifndef KELBO_CARDPRINTER_CARDDESIGN_H
#define KELBO_CARDPRINTER_CARDDESIGN_H

// Card designs: where each element of a card goes, kept as one JSON file a design. Qt Core only, so that the fuzz
// target reads designs without a display; the cards are drawn from a design by paintDesignedCard() (CardLayout.h).

#include <QByteArray>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <vector>

/** @brief One element of a card design. What it draws is fixed by its id (see designElementIds()); the design says
 * where, how large and whether at all. */
struct DesignElement
{
    QString id; // one of designElementIds(), or a free text "text1" .. "text20"
    bool shown = true;
    QRectF box; // in mm from the card's top-left corner
    double points = 8; // font size; a text that does not fit is made smaller, never below kLegiblePoints
    bool bold = false;
    Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter; // one horizontal and one vertical flag
    QString text; // what a free text or a caption prints ("To Radio"); unused by the other elements

    bool operator==(const DesignElement& o) const;
    bool operator!=(const DesignElement& o) const { return !(*this == o); }
};

/** @brief A column of the contact table: "date", "time", "freq" (MHz or band), "mode", "rst", "power". */
struct DesignColumn
{
    QString id;
    bool shown = true;
    double width = 10; // a share of the table's width among the columns shown (the power column only when a
                       // contact on the card has a power)

    bool operator==(const DesignColumn& o) const { return id == o.id && shown == o.shown && width == o.width; }
};

/** @brief A card design: the elements of a card with their places, and the contact table's columns.
 *
 * The file ("<id>.json" in cardDesignsFolder()) reads:
 * @code
 * { "format": 1, "title": "My card", "roman": false, "background": "back.png",
 *   "elements": {
 *     "destCall": { "shown": true, "x": 8, "y": 39.5, "width": 84, "height": 11.5, "points": 30, "bold": true,
 *                   "align": "center", "valign": "center" },
 *     "text1": { "x": 6, "y": 100, "width": 88, "height": 5, "points": 9, "text": "Hope to see you again" },
 *     "contacts": { ..., "captions": true, "lines": true, "rowHeight": 6,
 *                   "columns": { "date": { "shown": true, "width": 24 }, ... } } } }
 * @endcode
 * An element or key left out keeps the value of the plain design; an element left out is not printed. */
struct CardDesign
{
    QString id; // the file name without ".json"; "plain", "preprinted", "english" for the shipped ones
    QString title; // as the operator names it
    QSizeF size{100, 148}; // mm: a Japanese postcard, portrait
    QString background; // an image printed over the whole card (PNG, JPEG or SVG; absolute path), or ""
    bool shipped = false; // built into the program: always there, never overwritten
    bool roman = false; // for foreign stations: the romanised own name, address and QTH, and no text that is not
                        // Latin-1 (such a field is left out, never printed half)
    std::vector<DesignElement> elements; // in drawing order
    std::vector<DesignColumn> columns; // of the contact table, left to right
    bool captions = true; // the contact table's caption row ("Date", "Time (JST)", ...)
    bool tableLines = true; // its frame, lines and shaded caption row
    double rowHeight = 6; // mm of a contact's row; rows are made lower when the box cannot hold them all

    const DesignElement* element(const QString& id) const;
    DesignElement* element(const QString& id);
    bool operator==(const CardDesign& o) const;
    bool operator!=(const CardDesign& o) const { return !(*this == o); }
};

/** @brief The smallest font on a card: read at arm's length by a sorting volunteer or a DX station. */
constexpr double kLegiblePoints = 7.0;
/** @brief The largest font a design may ask for. */
constexpr double kLargestPoints = 72.0;
/** @brief The lowest part of a card (mm) that stays free for the bureau's coding: no element may reach into it. */
constexpr double kBureauMargin = 10.0;
/** @brief Most free texts a design may carry ("text1" .. "text20"). */
constexpr int kMaxFreeTexts = 20;

/** @brief The elements a design places, in the plain card's drawing order: "ownCall", "ownName", "ownAddress",
 * "ownQth" (QTH, JCC/JCG and grid locator), "stationRule", "toRadioFrame", "toRadioCaption", "destCall", "manager"
 * (via), "route", "entity" (DXCC), "opQth" (the other station's OP and QTH), "tableCaption", "contacts",
 * "remarks", "pseTnx", "rigAntenna", "freeLine", "seventyThree", "cardNumber". Free texts are "text1" ... */
QStringList designElementIds();
/** @brief The element's name for the operator ("相手局のコールサイン", "自由テキスト 2"); "" for no element. */
QString designElementTitle(const QString& id);
/** @brief The number of a free text ("text7" is 7), else 0. */
int designFreeTextNumber(const QString& id);
/** @brief Whether element @p id prints a text of the design's own: a free text or a caption. */
bool designTakesText(const QString& id);
/** @brief The contact table's column ids in their usual order. */
QStringList designColumnIds();

/** @brief The designs the card printer ships, always there: "plain" (the card as it has always been printed),
 * "preprinted" (the contact data alone, into the boxes of a pre-printed card back) and "english" (for foreign
 * stations: romanised own station, nothing but Latin-1). */
std::vector<CardDesign> shippedCardDesigns();
/** @brief The shipped design @p id, else the plain one. */
CardDesign shippedCardDesign(const QString& id);

/** @brief The folder of the operator's designs: "$XDG_CONFIG_HOME/KELBO/designs/" (beside the settings file). */
QString cardDesignsFolder();

/** @brief Reads a design file's bytes into @p design (its id and title as the file gives them, not shipped).
 * Strict: an unknown element or key, a value of the wrong type, a size or place outside the card or in the bureau's
 * margin, a font below kLegiblePoints or above kLargestPoints, a background image that is not there: false, with
 * @p error naming the file @p fileName, the key and the value in the program's words. A relative background is
 * looked for beside @p fileName. */
bool parseCardDesign(const QByteArray& json, CardDesign& design, QString* error, const QString& fileName = QString());
/** @brief Whether @p design may be printed (the checks parseCardDesign() makes); false with @p error naming the
 * key and value otherwise. */
bool checkCardDesign(const CardDesign& design, QString* error, const QString& fileName = QString());
/** @brief The design as its file holds it; parseCardDesign() reads it back the same. */
QByteArray cardDesignJson(const CardDesign& design);

/** @brief Reads the design file @p path; its id is the file name without ".json". */
bool loadCardDesign(const QString& path, CardDesign& design, QString* error);
/** @brief The shipped designs, then every readable design in @p folder (by file name). A file that is refused is
 * left out and named in @p problems; a file named as a shipped design is refused too (those are never replaced). */
std::vector<CardDesign> cardDesigns(QStringList* problems = nullptr, const QString& folder = cardDesignsFolder());
/** @brief The design @p id: a shipped one, else "<id>.json" in @p folder. False with @p error when that file is
 * missing or refused; @p design is then the plain design, so that a caller that goes on prints a whole card. */
bool findCardDesign(const QString& id, CardDesign& design, QString* error, const QString& folder = cardDesignsFolder());
/** @brief Writes @p design to "<id>.json" in @p folder, whole or not at all. Refused (false, @p error) for a shipped
 * id, an id that is no plain file name, or a design checkCardDesign() refuses. */
bool saveCardDesign(const CardDesign& design, QString* error, const QString& folder = cardDesignsFolder());

#endif
