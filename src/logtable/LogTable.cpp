#include "logtable/LogTable.h"

#include "common/Cp932.h"
#include "common/KelboError.h"
#include "logtable/TableEngine.h"
#include "logtable/TableSupport.h"

#include <algorithm>
#include <dirent.h>
#include <exception>
#include <sys/stat.h>

LogTable::~LogTable()
{
    if (m_listener) {
        m_listener->tableDestroyed();
    }
}

WriteBatch::~WriteBatch()
{
    if (m_table) {
        try {
            m_table->EndWriteBatch();
        } catch (const std::exception&) {
        }
    }
}

void WriteBatch::end()
{
    LogTable* table = m_table;
    m_table = nullptr;
    if (table) {
        table->EndWriteBatch();
    }
}

void LogTable::FieldTexts(std::vector<std::string>& texts) const
{
    const auto count = static_cast<std::size_t>(FieldCount());
    texts.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        texts[i] = FieldText(static_cast<int>(i));
    }
}

std::string LogTable::FieldNameUtf8(int position) const
{
    return cp932::toUtf8(FieldName(position));
}

void LogTable::RecordUtf8(long row, std::vector<std::string>& texts) const
{
    const auto count = static_cast<std::size_t>(FieldCount());
    texts.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        texts[i] = cp932::toUtf8(CellText(row, static_cast<int>(i)));
    }
}

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

void LogTable::notifyRecord(long position)
{
    if (m_listener && GridAttached()) {
        m_listener->recordChanged(position);
    }
}

std::unique_ptr<TableEngine> openTableFile(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    const std::string extension
        = dot == std::string::npos || (slash != std::string::npos && dot < slash) ? "" : path.substr(dot);
    if (cp932::equalsNoCase(extension, ".db")) {
        return openParadoxTable(path);
    }
    if (cp932::equalsNoCase(extension, ".dbf")) {
        return openDbaseTable(path);
    }
    if (cp932::equalsNoCase(extension, ".txt") || cp932::equalsNoCase(extension, ".csv")) {
        return openTextTable(path);
    }
    if (cp932::equalsNoCase(extension, ".adi") || cp932::equalsNoCase(extension, ".adif")) {
        return openAdifTable(path);
    }
    throw KelboError(logtable::openError(
        path,
        extension.empty() ? "拡張子がありません (.db, .dbf, .txt, .csv, .adi, .adif のどれかを指定してください)"
                          : "拡張子 " + extension + " のテーブルには対応していません"));
}

namespace {

/** DIR/NAME; when no file has that exact name, the one file whose name differs only in letter case (names
 * typed for a case-blind file system, such as LOG.DB for log.db). */
std::string resolvePath(const std::string& dir, const std::string& name)
{
    std::string folder = dir;
    if (!folder.empty() && folder.back() != '/') {
        folder += '/';
    }
    const std::string path = folder + name;
    struct stat st
    {
    };
    if (::stat(path.c_str(), &st) == 0 || name.find('/') != std::string::npos) {
        return path;
    }
    DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d) {
        return path;
    }
    std::string found;
    int matches = 0;
    while (const dirent* e = ::readdir(d)) {
        if (cp932::equalsNoCase(e->d_name, name)) {
            found = folder + e->d_name;
            ++matches;
        }
    }
    ::closedir(d);
    return matches == 1 ? found : path;
}

/** The operator's table: the current record, the pending edit and the grid notifications over one engine. */
class EngineTable : public LogTable
{
public:
    explicit EngineTable(TableEngineOpener open = {})
        : m_open(std::move(open))
    {
    }

    /** Open over @p engine without a file of its own. */
    EngineTable(std::unique_ptr<TableEngine> engine, const std::string& path) { attach(std::move(engine), path); }

    ~EngineTable() override
    {
        // Nothing may escape a destructor; a failed write has nowhere to be shown here.
        try {
            CloseTable();
        } catch (const KelboError&) {
        }
    }

    void OpenTable(const std::string& dir, const std::string& name) override
    {
        CloseTable();
        const std::string path = resolvePath(dir, name);
        attach(m_open ? m_open(path) : openTableFile(path), path);
    }

    void CloseTable() override
    {
        if (!m_engine) {
            return;
        }
        struct Closer
        {
            EngineTable* table;
            ~Closer()
            {
                table->m_batchDepth = 0;
                table->m_engine.reset();
                table->m_path.clear();
                table->m_editing = false;
                table->m_pending.clear();
                table->m_cachedRow = -1;
                table->m_cachedTexts.clear();
                table->notifyReset();
                table->notifyCurrent();
            }
        } closer{this};
        if (m_batchDepth > 0) {
            m_batchDepth = 1;
            EndWriteBatch();
        } else {
            Post();
        }
    }

    bool IsOpen() const override { return m_engine != nullptr; }

    int FieldCount() const override { return m_engine ? m_engine->fieldCount() : 0; }

    std::size_t FieldWidth(int position) const override
    {
        return m_engine && position >= 0 && position < m_engine->fieldCount() ? m_engine->fieldWidth(position) : 0;
    }

    std::string FieldName(int position) const override
    {
        requireOpen();
        requireField(position);
        return m_engine->fieldName(position);
    }
    std::string FieldNameUtf8(int position) const override
    {
        requireOpen();
        requireField(position);
        return m_engine->fieldNameUtf8(position);
    }
    void RecordUtf8(long row, std::vector<std::string>& texts) const override
    {
        requireOpen();
        m_engine->readRecordUtf8(row, texts);
    }

    std::string FieldText(int position) const override
    {
        requireOpen();
        requireField(position);
        if (m_editing) {
            for (const auto& change : m_pending) {
                if (change.first == position) {
                    return change.second;
                }
            }
        }
        return cell(m_position, position);
    }

    void FieldTexts(std::vector<std::string>& texts) const override
    {
        requireOpen();
        const auto count = static_cast<std::size_t>(m_engine->fieldCount());
        texts.resize(count);
        const std::vector<std::string>* row = nullptr;
        if (m_position >= 0 && m_position < m_engine->recordCount()) {
            row = &rowTexts(m_position);
        }
        for (std::size_t i = 0; i < count; ++i) {
            if (row && i < row->size()) {
                texts[i] = (*row)[i];
            } else {
                texts[i].clear();
            }
        }
        if (m_editing) {
            for (const auto& change : m_pending) {
                texts[static_cast<std::size_t>(change.first)] = change.second;
            }
        }
    }

    void MoveFirst() override { moveTo(0, false); }

    void MoveNext() override
    {
        requireOpen();
        moveTo(m_position + 1, true);
    }

    void MoveBy(long count) override
    {
        requireOpen();
        moveTo(m_position + count, count > 0);
    }

    bool AtEnd() const override { return m_engine ? m_atEnd : true; }

    void EditRecord() override
    {
        requireOpen();
        if (m_position >= m_engine->recordCount()) {
            throw KelboError("テーブル " + m_path + " に編集するレコードがありません");
        }
        if (!m_editing) {
            m_editing = true;
            m_pending.clear();
        }
    }

    void SetFieldText(int position, const std::string& text) override
    {
        requireOpen();
        requireField(position);
        if (!m_editing) {
            throw KelboError("データセットが編集モードではありません");
        }
        std::string value = text.substr(0, std::min(text.find('\0'), text.size()));
        const std::size_t width = m_engine->fieldWidth(position);
        if (width > 0) {
            value = cp932::cut(value, width);
        }
        for (auto& change : m_pending) {
            if (change.first == position) {
                change.second = value;
                return;
            }
        }
        m_pending.emplace_back(position, value);
    }

    void Post() override
    {
        if (!m_engine || !m_editing) {
            return;
        }
        // The edit ends whether or not the write succeeds: a failed write is reported once, not on every
        // later move.
        auto pending = std::move(m_pending);
        m_pending.clear();
        m_editing = false;
        if (pending.empty()) {
            return;
        }
        m_cachedRow = -1;
        m_engine->writeRecord(m_position, pending);
        notifyRecord(m_position);
    }

    void BeginWriteBatch() override
    {
        requireOpen();
        if (m_batchDepth++ == 0) {
            m_engine->beginBatch();
        }
    }

    void EndWriteBatch() override
    {
        if (m_batchDepth == 0 || --m_batchDepth > 0 || !m_engine) {
            return;
        }
        // The batch ends even when the last edit is refused: what was posted before it is still written.
        std::exception_ptr postError;
        try {
            Post();
        } catch (...) {
            postError = std::current_exception();
        }
        m_cachedRow = -1;
        try {
            m_engine->endBatch();
        } catch (const KelboError&) {
            // A text table may not have taken the edits it showed: the grid reads again.
            notifyReset();
            throw;
        }
        if (postError) {
            std::rethrow_exception(postError);
        }
    }

    long RecordCount() const override { return m_engine ? m_engine->recordCount() : 0; }

    long RecNo() const override { return m_engine ? m_position : -1; }

    void MoveTo(long position) override
    {
        requireOpen();
        moveTo(std::max(0L, std::min(position, m_engine->recordCount() - 1)), false);
    }

    std::string CellText(long row, int field) const override
    {
        requireOpen();
        requireField(field);
        return cell(row, field);
    }

    std::string ReadNote() const override { return m_engine ? m_engine->readNote() : std::string(); }
    SendMarkRule sendMarkRule() const override { return m_engine ? m_engine->sendMarkRule() : SendMarkRule(); }
    std::string FilePath() const override { return m_path; }

private:
    void attach(std::unique_ptr<TableEngine> engine, const std::string& path)
    {
        if (!engine) {
            throw KelboError(logtable::openError(path, "このテーブルを読む手段がありません"));
        }
        m_engine = std::move(engine);
        m_engine->setNoteListener([this] { notifyNote(); });
        m_path = path;
        m_position = 0;
        m_atEnd = m_engine->recordCount() == 0;
        m_cachedRow = -1;
        notifyReset();
        notifyCurrent();
    }

    void requireOpen() const
    {
        if (!m_engine) {
            logtable::throwClosed();
        }
    }

    void requireField(int position) const
    {
        if (position < 0 || position >= m_engine->fieldCount()) {
            throw KelboError("テーブル " + m_path + " にフィールド番号 " + std::to_string(position + 1)
                             + " はありません");
        }
    }

    /** Posts a pending edit, then moves to @p target clamped to the table; @p forward tells whether passing
     * the last record sets AtEnd. */
    void moveTo(long target, bool forward)
    {
        requireOpen();
        Post();
        const long count = m_engine->recordCount();
        if (count == 0) {
            m_position = 0;
            m_atEnd = true;
        } else if (target >= count) {
            m_position = forward ? count : count - 1;
            m_atEnd = forward;
        } else {
            m_position = std::max(0L, target);
            m_atEnd = false;
        }
        notifyCurrent();
    }

    std::string cell(long row, int field) const
    {
        if (row < 0 || row >= m_engine->recordCount()) {
            return "";
        }
        const std::vector<std::string>& texts = rowTexts(row);
        return static_cast<std::size_t>(field) < texts.size() ? texts[static_cast<std::size_t>(field)] : std::string();
    }

    /** The texts of @p row (in the table), read once and kept until another row is read. */
    const std::vector<std::string>& rowTexts(long row) const
    {
        if (row != m_cachedRow) {
            m_cachedRow = -1;
            m_engine->readRecord(row, m_cachedTexts);
            m_cachedRow = row;
        }
        return m_cachedTexts;
    }

    TableEngineOpener m_open;
    std::unique_ptr<TableEngine> m_engine;
    std::string m_path;
    long m_position = 0;
    bool m_atEnd = true;
    bool m_editing = false;
    int m_batchDepth = 0;
    std::vector<std::pair<int, std::string>> m_pending;
    mutable long m_cachedRow = -1;
    mutable std::vector<std::string> m_cachedTexts;
};

} // namespace

std::unique_ptr<LogTable> createLogTable()
{
    return std::make_unique<EngineTable>();
}

std::unique_ptr<LogTable> createLogTable(TableEngineOpener open)
{
    return std::make_unique<EngineTable>(std::move(open));
}

std::unique_ptr<LogTable> createLogTable(std::unique_ptr<TableEngine> engine, const std::string& path)
{
    return std::make_unique<EngineTable>(std::move(engine), path);
}
