#include "logtable/LogTable.h"

void LogTable::AttachGrid()
{
    if (m_detachCount > 0 && --m_detachCount == 0) {
        // The table moved while the grid was away: let it catch up in one step.
        notifyReset();
        notifyCurrent();
    }
}

void LogTable::notifyReset()
{
    if (m_listener && GridAttached()) {
        m_listener->tableReset();
    }
}

void LogTable::notifyCurrent()
{
    if (m_listener && GridAttached()) {
        m_listener->currentChanged(IsOpen() ? RecNo() : -1);
    }
}
