#ifndef KELBO_CARDPRINTER_LABELSHEETLAYOUT_H
#define KELBO_CARDPRINTER_LABELSHEETLAYOUT_H

#include "CardLayout.h"
#include "CardSettings.h"
#include "LabelSheet.h"

#include <QPageLayout>
#include <QString>
#include <vector>

class QPainter;
class QPagedPaintDevice;

/** @brief How many contacts with one station a label of @p sheet carries: as many as fit at a legible size, at most
 * a card's five; 0 when not even one does. */
int contactsPerLabel(const LabelSheet& sheet);

/** @brief The page of @p sheet, the whole sheet printable. */
QPageLayout labelPageLayout(const LabelSheet& sheet);

/** @brief Draws @p cards as labels on @p device, one page per sheet, the first in cell @p start (1-based) of the
 * first sheet, each sheet moved and scaled by @p calibration (for the printer it goes to). With @p outlines every
 * cell's edge is drawn faintly and the cells before @p start are shaded (for a preview: real sheets have their own
 * edges). */
void paintLabels(QPainter& painter, QPagedPaintDevice& device, const std::vector<Card>& cards,
                 const CardSettings& settings, const LabelSheet& sheet, int start, bool outlines = false,
                 const PrinterCalibration& calibration = PrinterCalibration());

/** @brief Writes @p cards as labels into a new PDF at @p path (moved and scaled by @p calibration); false with
 * @p error set when it cannot. */
bool writeLabelsPdf(const QString& path, const std::vector<Card>& cards, const CardSettings& settings,
                    const LabelSheet& sheet, int start, QString* error,
                    const PrinterCalibration& calibration = PrinterCalibration());

#endif
