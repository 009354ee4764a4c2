#ifndef KELBO_APP_UNSENTCOUNT_H
#define KELBO_APP_UNSENTCOUNT_H

#include "logtable/SendMarkRule.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <string>
#include <vector>

class LogTable;

/** @brief Counts the records of the open table that are not yet sent, in short steps between events, so that a log
 * of a million records shows its first screen at once and the window never freezes while the count follows.
 *
 * Records are read once, in table order, through LogTable::CellText, and the state each was counted with is kept (one
 * bit a record). Records that changed are told with recheck, which reads only those: an update or an undo never
 * makes the whole table be read again, whenever the count steps ran meanwhile. Steps wait while the grid is detached (a
 * transfer or an update moves through the table). */
class UnsentCount : public QObject
{
    Q_OBJECT
public:
    explicit UnsentCount(QObject* parent = nullptr);

    /** @brief Starts over on @p table's field @p sendField (the count stops when the table is closed or the field
     * is outside it). The first step runs at once, so that a small table is counted before this returns. */
    void start(LogTable& table, int sendField);
    /** @brief Stops counting; nothing is counted until the next start. */
    void stop();

    /** @brief True while there is a field to count in (a start with an open table and a field inside it). */
    bool active() const { return m_table != nullptr; }
    /** @brief True once every record has been read. */
    bool done() const { return m_table != nullptr && m_counted >= m_records; }
    /** @brief True when a record could not be read: the count stops there. */
    bool failed() const { return m_failed; }
    long records() const { return m_records; }
    long counted() const { return m_counted; }
    /** @brief Unsent records among those counted so far. */
    long unsent() const { return m_unsent; }

    /** @brief The records at @p positions may have changed: those already counted are read again and the count
     * corrected by what each of them held when it was counted. */
    void recheck(const std::vector<long>& positions);

signals:
    /** @brief The count moved on, finished, failed or was corrected. */
    void updated();

private:
    void step();
    bool unsentAt(long row) const;

    LogTable* m_table = nullptr;
    int m_field = -1;
    SendMarkRule m_rule;
    long m_records = 0;
    long m_counted = 0;
    long m_unsent = 0;
    bool m_failed = false;
    std::vector<bool> m_states; // unsent or not, as each record was counted
    QTimer m_timer;
    QElapsedTimer m_told; // since the last updated() of a count under way
};

#endif
