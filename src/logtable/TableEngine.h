#ifndef KELBO_LOGTABLE_TABLEENGINE_H
#define KELBO_LOGTABLE_TABLEENGINE_H

#include "common/Cp932.h"
#include "logtable/SendMarkRule.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

/** @brief One open table file of one format. Opened by its factory, closed by its destructor.
 *
 * Rows are 0-based positions in table order; texts are CP932 bytes in the forms of LogTable::FieldText. */
class TableEngine
{
public:
    virtual ~TableEngine() = default;

    virtual int fieldCount() const = 0;
    virtual std::string fieldName(int field) const = 0;
    /** @brief Declared width in bytes of a field that SetFieldText may fill; 0 when the format gives none. */
    virtual std::size_t fieldWidth(int field) const = 0;
    virtual long recordCount() const = 0;
    /** @brief Texts of every field of @p row, @p texts resized to fieldCount(). */
    virtual void readRecord(long row, std::vector<std::string>& texts) = 0;
    /** @brief The texts of @p row in UTF-8 as the table holds them, characters CP932 cannot hold included (the
     * table shown as it is, not as a card gets it). */
    virtual void readRecordUtf8(long row, std::vector<std::string>& texts)
    {
        readRecord(row, texts);
        for (std::string& text : texts) {
            text = cp932::toUtf8(text);
        }
    }
    /** @brief The field's name in UTF-8, as the table holds it. */
    virtual std::string fieldNameUtf8(int field) const { return cp932::toUtf8(fieldName(field)); }
    /** @brief Writes the given fields (texts already cut to their width) of @p row to disk, synced, under a
     * lock, changing no other bytes of the record; throws KelboError and writes nothing when it cannot. */
    virtual void writeRecord(long row, const std::vector<std::pair<int, std::string>>& changes) = 0;

    /** @brief From here until endBatch, writeRecord opens and locks the file once (at its first call), checks each
     * record as before and writes only the fields' bytes, but syncs nothing yet; a text table keeps its edits in
     * memory (and shows them to readRecord). */
    virtual void beginBatch() = 0;
    /** @brief Ends the batch: syncs the written spans once and reads them back (a text table is rewritten once),
     * then unlocks. Throws KelboError when that fails; the batch is over either way. No effect outside a batch. */
    virtual void endBatch() = 0;

    /** @brief What the engine could not read when it opened the file (records skipped, a memo file missing or
     * damaged ...), in UTF-8, one sentence per problem that names the file; "" when everything read. The table
     * still opens with what could be read. */
    virtual std::string readNote() const { return {}; }
    /** @brief @p listener is called each time the note grows after the table opened (a memo found damaged when
     * it is read, say). */
    virtual void setNoteListener(std::function<void()> listener) { static_cast<void>(listener); }

    /** @brief How this format tells a sent contact; the program's own rule unless the format has its own. */
    virtual SendMarkRule sendMarkRule() const { return {}; }
};

/** @brief The engine of each format; each throws KelboError naming the file and the reason. */
std::unique_ptr<TableEngine> openParadoxTable(const std::string& path);
std::unique_ptr<TableEngine> openDbaseTable(const std::string& path);
std::unique_ptr<TableEngine> openTextTable(const std::string& path);
std::unique_ptr<TableEngine> openAdifTable(const std::string& path);

/** @brief Chooses the engine by the extension of @p path (case-blind): .db, .dbf, .txt, .csv, .adi or .adif. */
std::unique_ptr<TableEngine> openTableFile(const std::string& path);

#endif
