#include "cardlink/TransferWalk.h"

#include "cardlink/CardLogLine.h"
#include "convert/DateTime.h"
#include "logtable/LogTable.h"

TransferWalk::TransferWalk(LogTable& table, const ConvDefTable& defs, bool utcToJst, bool allSend)
    : m_table(table)
    , m_plan(defs)
    , m_utcFlag(utcToJst ? 1 : 0)
    , m_allSend(allSend)
    , m_rule(table.sendMarkRule())
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
        if (ConvertForTransfer(m_views.data(), static_cast<int>(m_views.size()), m_plan, m_utcFlag != 0, m_allSend,
                               m_rule, m_record)) {
            m_line.clear();
            AppendCardLogLine(m_record, m_line);
            return true;
        }
    }
    return false;
}

bool ConvertForTransfer(const std::string_view* texts, int count, const ConvDefPlan& plan, bool utcToJst, bool allSend,
                        const SendMarkRule& rule, CardRecord& record)
{
    if (ConvertRecord(texts, count, plan, record, utcToJst ? 1 : 0) != 0) {
        ShiftToJst(record);
    }
    // A format's own "not yet sent" (ADIF's N, R, Q) and "not received" are no marks on the card.
    if (record.SendChar != '\0' && record.SendChar != ' ' && rule.isUnsentChar(record.SendChar)) {
        record.SendChar = '\0';
    }
    if (rule.isUnreceivedChar(record.RecvChar)) {
        record.RecvChar = '\0';
    }
    return IsRecordPassed(record, allSend, rule);
}
