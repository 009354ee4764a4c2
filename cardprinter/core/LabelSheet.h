#ifndef KELBO_CARDPRINTER_LABELSHEET_H
#define KELBO_CARDPRINTER_LABELSHEET_H

#include <QRectF>
#include <QString>
#include <vector>

/** @brief A sheet of self-adhesive labels, in mm from the page's upper left corner: the page, a grid of columns x
 * rows labels of one size, the margins above and left of the first label and the gaps between labels. Labels are
 * used row by row, left to right, as they are peeled off a sheet. */
struct LabelSheet
{
    QString key = QStringLiteral("Custom"); // a preset's key ("A4-24"), or "Custom"
    double pageWidth = 210;
    double pageHeight = 297;
    int columns = 3;
    int rows = 8;
    double labelWidth = 70;
    double labelHeight = 37;
    double top = 0.5;
    double left = 0;
    double hGap = 0; // between two labels of a row
    double vGap = 0; // between two rows
    QString unreadable; // a value of the settings file that is no number ("Labels/CustomTop「abc」"), else ""

    /** How many labels the sheet has; 0 for a grid of no rows or columns. */
    int cells() const;
    /** Label @p index (0-based, row by row) of the sheet, in mm. */
    QRectF cell(int index) const;
    /** Where a label's print goes: the cell less a little room inside its edge, and never nearer the page's edge than
     * a printer can print. */
    QRectF printable(int index) const;
    /** "" when the sheet can be printed on, else what is wrong, in the operator's words, naming the value. */
    QString problem() const;
    /** How the sheet is shown: "A4 24面 (3 x 8, 70 x 37 mm)". */
    QString caption() const;
    /** The paper in the print system's words: "iso_a4_210x297mm", or a custom size. */
    QString media() const;
};

/** @brief The common A4 sheets: 12, 18, 21 and 24 labels. */
const std::vector<LabelSheet>& labelSheetPresets();

/** @brief The preset named @p key, else nullptr. */
const LabelSheet* labelSheetPreset(const QString& key);

/** @brief Where label @p k (0-based) of a run lands when the first goes to cell @p start (1-based) of the first
 * sheet. */
struct LabelPlace
{
    int sheet = 0; // 0-based
    int cell = 0; // 0-based on its sheet
    QRectF rect; // mm
};
LabelPlace labelPlace(const LabelSheet& sheet, int start, int k);

/** @brief Sheets that @p count labels take from cell @p start on. */
int labelSheetCount(const LabelSheet& sheet, int start, int count);

/** @brief The labels of a run that sheets @p from..@p to (1-based) carry, as [@p first, @p last) indexes; their
 * start cell when only they are printed (a later sheet begins at its first cell). */
struct LabelRange
{
    int first = 0;
    int last = 0;
    int start = 1;
};
LabelRange labelsOnSheets(const LabelSheet& sheet, int start, int count, int from, int to);

/** @brief The start cell proposed after a run whose last label went to cell @p lastCell (0-based) of its sheet: the
 * next one, or the first of a new sheet once the sheet is used up. */
int nextLabelStart(const LabelSheet& sheet, int lastCell);

/** @brief Room left free inside each label's edge (mm): labels are die-cut with some play, and the print with it. */
constexpr double kLabelPadding = 2;
/** @brief What printers leave unprinted at the page's edge (mm); labels there are printed inside it. */
constexpr double kPageMargin = 4;
/** @brief The smallest label a card's contact data fits on (mm), at the page's edge too: the destination call, a
 * contact's date, time, frequency, mode and report, PSE/TNX and the card number at a legible size. */
constexpr double kMinLabelWidth = 60;
constexpr double kMinLabelHeight = 25;

#endif
