#ifndef KELBO_APP_WINDOWPLACE_H
#define KELBO_APP_WINDOWPLACE_H

#include <QRect>
#include <QSize>
#include <QString>

class QWidget;

/** @brief The client size of KELBO's main window on a start without a remembered place, on a screen whose free area
 * is @p available: three fifths of it, at least the design size 632 x 366 and at most 1200 x 800. */
QSize kelboClientSize(const QRect& available);
/** @brief Where KELBO's main window opens on a screen whose free area is @p available: that size with its frame,
 * centred from top to bottom and near the left edge, leaving the right part of the screen to the card program. */
QRect kelboWindowPlace(const QRect& available);

/** @brief The client area for a window of @p wanted size that opens beside @p other on @p available and does not
 * cover it: on the side with more room (narrower than wanted when the room is, but not below a usable width),
 * else below it, else at the right edge of the screen, covering as little of @p other as it can. Room is left for
 * the window's frame. */
QRect placeBeside(const QRect& available, const QRect& other, QSize wanted);

/** @brief Gives @p window the place and size it had when it was last hidden, remembered under "Window/Geometry"
 * in the settings file @p settingsFile, or else opens it beside KELBO's main window; from now on its place and
 * size are remembered whenever it is hidden or closed, and when the program ends. */
void keepWindowPlace(QWidget* window, const QString& settingsFile);

#endif
