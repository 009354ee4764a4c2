// The definition belongs to a table: bound to its field names at every connect, remembered per table file.
#include "app/TMainWnd.h"
#include "app/UserDialogs.h"
#include "convdef/Guess.h"
#include "convdef/TableDefinition.h"

#include <QLineEdit>
#include <vector>

namespace {

const QString kOtherTableDefinition = QStringLiteral(
    "このテーブルのフィールド名は, 今の変換定義を作ったテーブルと違います.\r\n\r\n"
    "このテーブルに合わせて変換定義を自動推測しますか？\r\n(推測しないときは, 今の変換定義をそのまま使います)");

} // namespace

std::string TMainWnd::definitionStorePath() const
{
    return TableDefinitionStore::PathIn(BaseDir.toStdString());
}

void TMainWnd::BindDefinitionToTable()
{
    m_connectedDir = EditDir->text();
    m_connectedLog = EditLog->text();
    if (!m_table->IsOpen()) {
        return;
    }
    const std::string path = m_table->FilePath();
    const std::vector<std::string> names = fieldNamesOf(*m_table);
    const std::string sendField = m_table->sendMarkRule().sendField;
    TableDefinitionStore store = TableDefinitionStore::Load(definitionStorePath());

    // The definition in use stays on its own table, and on any table while it belongs to none (as read at start, or
    // edited with no table open) and fits its fields (found by name wherever they stand now). Otherwise the one
    // last used with this table comes back; when neither fits, the user is asked once.
    ConvDefTable defs = m_convDef;
    BoundDefinition bound = BindDefinition(defs, m_defNames, names, sendField);
    ConvDefTable stored;
    ConvDefNames storedNames;
    if (m_defTable != path && (bound.mismatch || !m_defTable.empty()) && store.Find(path, stored, storedNames)) {
        BoundDefinition own = BindDefinition(stored, storedNames, names, sendField);
        if (!own.mismatch || bound.mismatch) {
            defs = stored;
            bound = std::move(own);
        }
    }
    if (!bound.mismatch) {
        m_convDef = bound.entries;
    } else if (dialogs().YesNoBox(this, kOtherTableDefinition) == Answer::Yes) {
        m_convDef = GuessConvDef(*m_table);
        PlaceSendEntry(m_convDef, names, sendField);
    } else {
        // Kept as it stands, position by position; from now on it belongs to this table.
        m_convDef = defs;
        PlaceSendEntry(m_convDef, names, sendField);
    }
    m_defNames = NamesOfFields(names);
    m_defTable = path;
    store.Put(path, m_convDef, m_defNames);
    // A folder that cannot be written keeps the definition for this run only.
    store.Save();
    SendFieldIndex = FindSendField();
}

void TMainWnd::DefinitionEdited()
{
    if (!m_table->IsOpen()) {
        m_defTable.clear(); // made for no table in particular
        return;
    }
    m_defTable = m_table->FilePath();
    m_defNames = NamesOfFields(fieldNamesOf(*m_table));
    TableDefinitionStore store = TableDefinitionStore::Load(definitionStorePath());
    store.Put(m_table->FilePath(), m_convDef, m_defNames);
    store.Save();
}

bool TMainWnd::BoxesNameOpenTable() const
{
    return m_table->IsOpen() && EditDir->text() == m_connectedDir && EditLog->text() == m_connectedLog;
}
