#ifndef KELBO_CARDPRINTER_CARDSETTINGS_H
#define KELBO_CARDPRINTER_CARDSETTINGS_H

#include "CardTime.h"
#include "LabelSheet.h"

#include <QString>
#include <QStringList>
#include <map>

/** @brief How far a printer's cards come out of place: added when printing on that printer, so that the data lands
 * in a pre-printed card's boxes. The card is first scaled about its top-left corner, then moved. */
struct PrinterCalibration
{
    double x = 0; // mm to the right
    double y = 0; // mm down
    double scale = 100; // percent

    bool isNone() const { return x == 0 && y == 0 && scale == 100; }
    bool operator==(const PrinterCalibration& o) const { return x == o.x && y == o.y && scale == o.scale; }
};

/** @brief The calibration a printer may be given: offsets within 20 mm, scale 80 % to 120 %. */
constexpr double kMaxCalibrationOffset = 20.0;
constexpr double kMinCalibrationScale = 80.0;
constexpr double kMaxCalibrationScale = 120.0;

/** @brief What the operator sets once: the own station as printed on every card, and how cards are made. Kept in
 * the card program's own settings file under the user's config folder. */
struct CardSettings
{
    QString call;
    QString name;
    QString address;
    QString qth;
    QString grid;
    QString jcc; // JCC or JCG number
    QString rig;
    QString antenna;
    QString freeLine;
    // The own station for foreign cards, in Latin letters; a line left empty is not printed on them.
    QString nameRoman;
    QString addressRoman;
    QString qthRoman;

    QString dateFormat = QStringLiteral("yyyy-MM-dd"); // one of dateFormats()
    CardZones zones = CardZones::ForeignUtc; // the lines carry JST: domestic cards print it, foreign ones UTC
    bool entityOnCard = true; // the DXCC entity of a foreign station under its call
    bool leaveOutElectronic = true; // contacts whose QSL text says LoTW/eQSL only or NO QSL are not printed
    bool showBand = false; // the band ("40m") instead of the frequency in MHz
    bool groupContacts = false; // up to five contacts with the same station on one card
    bool bureauOrder = true; // print in the order a QSL bureau wants
    bool slashedZero = true; // call signs with a slashed zero, so that 0 and O are told apart
    int nextCardNumber = 1; // 1 .. kMaxCardNumber
    QString printer; // the printer last printed on ("" for the system's default)
    QString domesticDesign = QStringLiteral("plain"); // the card design for stations in Japan
    QString foreignDesign = QStringLiteral("plain"); // and for those abroad
    std::map<QString, PrinterCalibration> calibrations; // by printer; a PDF file is never calibrated

    /** The calibration of @p printer: none for a printer without one and for a PDF file (""). */
    PrinterCalibration calibrationFor(const QString& printer) const
    {
        const auto it = calibrations.find(printer);
        return printer.isEmpty() || it == calibrations.end() ? PrinterCalibration() : it->second;
    }
    /** The design of a card to a station in Japan (@p domestic) or abroad. */
    const QString& designFor(bool domestic) const { return domestic ? domesticDesign : foreignDesign; }

    bool printLabels = false; // contact data on label sheets instead of postcards
    QString labelSheet = QStringLiteral("A4-24"); // a preset's key, or "Custom"
    LabelSheet customLabels; // the operator's own sheet
    int labelStart = 1; // where the next label goes on a partly used sheet (1-based)
    /** The sheet labels are printed on: the preset chosen, else the operator's own. */
    LabelSheet labels() const;

    /** The date forms offered, as QDate formats. */
    static QStringList dateFormats();
    /** Whether a card prints its times in UTC: a foreign card (@p domestic false) by default. */
    bool printsUtc(bool domestic) const
    {
        return zones == CardZones::AllUtc || (zones == CardZones::ForeignUtc && !domestic);
    }
};

/** @brief The highest card number: nine digits fit the card, and a number never wraps. */
constexpr int kMaxCardNumber = 999999999;

/** @brief The settings file: "$XDG_CONFIG_HOME/KELBO/kelbo-cardprinter.ini". */
QString cardSettingsPath();

/** @brief Reads @p path; values missing or out of range keep their defaults. A file that exists but cannot be read,
 * or whose next card number is missing or no number in range, is damaged: @p damage then says why (numbering must
 * not restart at 1 behind the operator's back). */
CardSettings loadCardSettings(const QString& path = cardSettingsPath(), QString* damage = nullptr);

/** @brief Writes @p s to @p path; false when the file could not be written. */
bool saveCardSettings(const CardSettings& s, const QString& path = cardSettingsPath());

/** @brief Writes only the next card number to @p path, leaving the rest of the file as the operator set it; true
 * only when the file on disk reads back @p number. */
bool saveNextCardNumber(int number, const QString& path = cardSettingsPath());

/** @brief Writes only the printer last printed on to @p path. */
bool savePrinter(const QString& printer, const QString& path = cardSettingsPath());

/** @brief Writes only the label choice of @p s (labels or cards, the sheet, the own sheet, the start cell) to
 * @p path. */
bool saveLabelChoice(const CardSettings& s, const QString& path = cardSettingsPath());

#endif
