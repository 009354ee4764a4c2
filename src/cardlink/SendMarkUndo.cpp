#include "cardlink/SendMarkUndo.h"

#include "cardlink/CardLink.h"
#include "common/Cp932.h"
#include "logtable/LogTable.h"

void SendMarkUndo::remember(const LogTable& table, int sendField, std::vector<Mark> marks)
{
    m_table = TableFileIdentity::of(table);
    m_sendField = sendField;
    m_dateField = -1;
    const SendMarkRule rule = table.sendMarkRule();
    for (int i = 0; !rule.sendField.empty() && i < table.FieldCount(); ++i) {
        if (cp932::equalsNoCase(table.FieldName(i), rule.sendField)) {
            m_sendField = i; // the format's own send field, wherever it stands
            break;
        }
    }
    const std::string dateName = rule.dateField;
    for (int i = 0; !dateName.empty() && i < table.FieldCount(); ++i) {
        if (i != m_sendField && cp932::equalsNoCase(table.FieldName(i), dateName)) {
            m_dateField = i;
            break;
        }
    }
    m_marks = std::move(marks);
    for (Mark& m : m_marks) {
        // What the fields really hold: a mark longer than the field is cut by the table.
        m.written = table.CellText(m.position, m_sendField);
        m.writtenDate = m_dateField >= 0 ? table.CellText(m.position, m_dateField) : std::string();
    }
}

bool SendMarkUndo::available(const LogTable& table) const
{
    // A table opened again, or replaced by another program, is not the one the marks went into: its file
    // (a delimited table is rewritten by every update) must be the one left by the update.
    return !m_marks.empty() && table.IsOpen() && m_sendField >= 0 && m_sendField < table.FieldCount()
        && TableFileIdentity::of(table) == m_table;
}

void SendMarkUndo::forget()
{
    m_marks.clear();
    m_table = TableFileIdentity();
}

SendMarkUndo::Result SendMarkUndo::undo(LogTable& table)
{
    Result result;
    if (!available(table)) {
        return result;
    }
    const long current = table.RecNo();
    table.DetachGrid();
    try {
        WriteBatch batch(table);
        const RecordPrint print(table, WrittenFieldNames(table, m_sendField));
        std::vector<std::string> texts;
        for (const Mark& m : m_marks) {
            table.MoveTo(m.position);
            if (table.RecNo() != m.position || table.AtEnd()) {
                ++result.skipped;
                continue;
            }
            table.FieldTexts(texts);
            const auto send = static_cast<std::size_t>(m_sendField);
            if (m_sendField < 0 || send >= texts.size() || print(texts) != m.fingerprint || texts[send] != m.written
                || (m_dateField >= 0 && texts[static_cast<std::size_t>(m_dateField)] != m.writtenDate)) {
                ++result.skipped;
                continue;
            }
            table.EditRecord();
            table.SetFieldText(m_sendField, m.previous);
            if (m_dateField >= 0) {
                table.SetFieldText(m_dateField, m.previousDate);
            }
            ++result.restored;
        }
        batch.end();
        table.MoveTo(current);
    } catch (...) {
        table.AttachGrid();
        // Our own writes may have replaced the file: a second try must still know it.
        m_table = TableFileIdentity::of(table);
        throw;
    }
    table.AttachGrid();
    forget();
    return result;
}
