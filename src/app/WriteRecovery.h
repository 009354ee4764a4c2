#ifndef KELBO_APP_WRITERECOVERY_H
#define KELBO_APP_WRITERECOVERY_H

class QWidget;

/** @brief At start: log writes that a crash cut off are undone (or found finished) before anything is opened, and
 * the operator is told about each in one warning. */
void RecoverInterruptedWrites(QWidget* owner);

#endif
