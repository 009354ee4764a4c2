#include "cardlink/TransferWalk.h"

#include "cardlink/CardLogLine.h"
#include "convert/DateTime.h"
#include "logtable/LogTable.h"

TransferWalk::TransferWalk(LogTable& table, const ConvDefTable& defs, bool utcToJst, bool allSend)
    : m_table(table)
    , m_plan(defs)
    , m_utcFlag(utcToJst ? 1 : 0)
    , m_allSend(allSend)
    , m_record{}
{
    m_line.reserve(768);
}

bool TransferWalk::next()
{
    if (m_started) {
        m_table.MoveNext();
    } else {
        m_started = true;
        m_table.MoveFirst();
    }
    for (; !m_table.AtEnd(); m_table.MoveNext()) {
        ++m_position;
        m_table.FieldTexts(m_texts);
        m_views.assign(m_texts.begin(), m_texts.end());
        if (ConvertRecord(m_views.data(), static_cast<int>(m_views.size()), m_plan, m_record, m_utcFlag) != 0) {
            ShiftToJst(m_record);
        }
        if (IsRecordPassed(m_record, m_allSend)) {
            m_line.clear();
            AppendCardLogLine(m_record, m_line);
            return true;
        }
    }
    return false;
}
