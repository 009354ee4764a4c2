#ifndef KELBO_CARDPRINTER_CARDCHECK_H
#define KELBO_CARDPRINTER_CARDCHECK_H

#include "Contact.h"

#include <QString>

/** @brief Why @p c cannot go on a card as it stands: a line of another shape, no date or an impossible one, a time
 * that is no time of day ("2460"), a call sign that is none, a frequency that is no number of MHz. "" when it can. */
QString contactProblem(const Contact& c);

#endif
