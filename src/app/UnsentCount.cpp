#include "app/UnsentCount.h"

#include "logtable/LogTable.h"

#include <exception>

namespace {
// One step reads for about this long, then lets the window handle its events.
constexpr qint64 kStepMs = 12;
// Rows read between looks at the clock.
constexpr long kRowsPerLook = 256;
// Least time between two tellings of how far the count got.
constexpr qint64 kTellMs = 250;
} // namespace

UnsentCount::UnsentCount(QObject* parent)
    : QObject(parent)
{
    m_timer.setInterval(0);
    connect(&m_timer, &QTimer::timeout, this, &UnsentCount::step);
}

void UnsentCount::start(LogTable& table, int sendField)
{
    stop();
    if (!table.IsOpen() || sendField < 0 || sendField >= table.FieldCount()) {
        emit updated();
        return;
    }
    m_table = &table;
    m_field = sendField;
    m_rule = table.sendMarkRule();
    m_records = table.RecordCount();
    m_states.reserve(static_cast<std::size_t>(m_records));
    step();
}

void UnsentCount::stop()
{
    m_timer.stop();
    m_table = nullptr;
    m_field = -1;
    m_records = 0;
    m_counted = 0;
    m_unsent = 0;
    m_failed = false;
    m_states.clear();
    m_states.shrink_to_fit();
    m_told.invalidate();
}

bool UnsentCount::unsentAt(long row) const
{
    return m_rule.isUnsent(m_table->CellText(row, m_field));
}

void UnsentCount::step()
{
    if (m_table == nullptr || m_failed || m_counted >= m_records || !m_table->IsOpen()) {
        m_timer.stop();
        return;
    }
    if (!m_table->GridAttached()) {
        // A transfer or an update is moving through the table: wait for it.
        m_timer.start();
        return;
    }
    QElapsedTimer clock;
    clock.start();
    try {
        while (m_counted < m_records) {
            const long end = std::min(m_records, m_counted + kRowsPerLook);
            for (; m_counted < end; ++m_counted) {
                const bool unsent = unsentAt(m_counted);
                m_states.push_back(unsent);
                m_unsent += unsent;
            }
            if (clock.elapsed() >= kStepMs) {
                break;
            }
        }
    } catch (const std::exception&) {
        // The failure itself shows where the operator acts on the table; the status line says the count stopped.
        m_failed = true;
    }
    if (m_counted < m_records && !m_failed) {
        m_timer.start();
        // How far the count got is told a few times a second: each telling repaints the status line.
        if (m_told.isValid() && m_told.elapsed() < kTellMs) {
            return;
        }
    } else {
        m_timer.stop();
    }
    m_told.start();
    emit updated();
}

void UnsentCount::recheck(const std::vector<long>& positions)
{
    if (m_table == nullptr || m_failed) {
        return;
    }
    try {
        for (long p : positions) {
            // Records not counted yet are read when the count gets to them.
            if (p < 0 || p >= m_counted) {
                continue;
            }
            const bool now = unsentAt(p);
            const auto at = static_cast<std::size_t>(p);
            if (now != m_states[at]) {
                m_unsent += now ? 1 : -1;
                m_states[at] = now;
            }
        }
    } catch (const std::exception&) {
        m_failed = true;
    }
    emit updated();
}
