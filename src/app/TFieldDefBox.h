#ifndef KELBO_APP_TFIELDDEFBOX_H
#define KELBO_APP_TFIELDDEFBOX_H

#include "convert/ConvDefTable.h"

#include <QDialog>
#include <QStringList>

class LogTable;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QToolButton;
class FieldDefGridModel;

/** @brief The field definition dialog: edits a working copy of the conversion definition beside the open
 * table's field names and the current record's values.
 *
 * The dialog copies @p live when it is built and never writes it: the caller takes Entries() after an OK.
 * The navigator moves @p table's current record, which the main window's grid shares. */
class TFieldDefBox : public QDialog
{
    Q_OBJECT
public:
    TFieldDefBox(QWidget* owner, const ConvDefTable& live, LogTable& table, const QString& baseDir);
    ~TFieldDefBox() override;

    /** @brief The transfer options the preview line converts with: "UTC→JST" and "すべて引き渡す". */
    void SetPreviewOptions(bool utcToJst, bool allSend);

    /** @brief Shows the dialog modally; true when it ended with OK. */
    bool Execute();
    /** @brief The working copy: what OK hands back. */
    const ConvDefTable& Entries() const { return m_entries; }

    /** @brief Text of a grid cell, rows counted as the grid shows them: row 0 holds the column titles, rows
     * 1-64 the entries 0-63. */
    QString CellText(int col, int row) const;
    /** @brief Selected grid row (1-64), 0 when none. */
    int SelectedRow() const;
    /** @brief Selects grid row @p row (1-64) and shows its entry in the expression box. */
    void SelectRow(int row);

    void GridClick();
    void FieldEditChange(const QString& text);
    void NULLBtnClick();
    void LoadBtnClick();
    void SaveBtnClick();
    void AutoBtnClick();
    void DBNavigatorClick();

    QTableView* Grid = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* LoadBtn = nullptr;
    QPushButton* SaveBtn = nullptr;
    QPushButton* AutoBtn = nullptr;
    QPushButton* NULLBtn = nullptr;
    QWidget* DBNavigator = nullptr;
    QToolButton* NavFirst = nullptr;
    QToolButton* NavPrior = nullptr;
    QToolButton* NavNext = nullptr;
    QToolButton* NavLast = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* FieldEdit = nullptr;
    QPushButton* CancelBtn = nullptr;
    QLabel* PreviewLabel = nullptr;
    /** @brief The card line the current record gives with the working definition, as a transfer hands it
     * over (greyed when a transfer would not pass the record). */
    QLineEdit* Preview = nullptr;

private:
    void moveRecord(QToolButton* button);
    void refreshGrid();
    void updateNavigator();
    void refreshPreview();

    ConvDefTable m_entries;
    LogTable& m_table;
    QString m_baseDir;
    FieldDefGridModel* m_model = nullptr;
    bool m_previewUtc = true;
    bool m_previewAllSend = false;
};

/** @brief The 43 expressions the dialog's expression box offers, in the order of its list. */
const QStringList& ConvExprVocabulary();
/** @brief A one-line explanation of @p expression from ConvExprVocabulary (its tooltip in the list). */
QString ConvExprHint(const QString& expression);

#endif
