#ifndef KELBO_CARDPRINTER_CARDWINDOW_H
#define KELBO_CARDPRINTER_CARDWINDOW_H

#include <QList>
#include <QWidget>

class CardoApplication;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QSortFilterProxyModel;
class QTableView;

/** @brief The card program's window: the held contacts as a table, and 印刷 for the chosen ones. */
class CardWindow : public QWidget
{
    Q_OBJECT
public:
    explicit CardWindow(CardoApplication& app);

    QTableView* list() const { return m_list; }
    QLineEdit* filter() const { return m_filter; }
    QSortFilterProxyModel* proxy() const { return m_proxy; }
    QLabel* counts() const { return m_counts; }
    /** What 印刷 prints on: "はがき" or "ラベル". */
    QComboBox* media() const { return m_media; }
    /** The label sheet: the presets, then the operator's own (choosing it opens its measures). */
    QComboBox* sheet() const { return m_sheet; }
    /** The cell the first label goes to on a partly used sheet. */
    QSpinBox* start() const { return m_start; }

    /** The chosen held rows in the order the list shows them. */
    QList<int> chosenRows() const;
    void chooseAll();
    void chooseNone();
    /** Puts the list in the bureau's order. */
    void sortForBureau();
    /** A transfer ended: the list takes the settings' order; nothing is chosen. */
    void linesArrived();
    /** 印刷: the chosen lines through the preview and print dialog; true when cards were printed. */
    bool printChosen();
    /** A line of news beside the counts. */
    void setStatus(const QString& text);
    /** 設定: the settings dialog. */
    void editSettings();
    /** デザイン: the design dialog, previewing the chosen contact. */
    void editDesigns();
    /** A print job ended: the operator is told when its cards did not come out. */
    void jobEnded(bool printed, const QString& message);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void updateCounts();
    /** Shows the label choice the settings hold. */
    void showLabelChoice();
    /** Keeps the label choice the operator made; @p editOwn: the own sheet's measures are asked for. */
    void labelChoiceMade(bool editOwn);

    CardoApplication& m_app;
    QSortFilterProxyModel* m_proxy = nullptr;
    QTableView* m_list = nullptr;
    QLineEdit* m_filter = nullptr;
    QPushButton* m_print = nullptr;
    QLabel* m_counts = nullptr;
    QLabel* m_status = nullptr;
    QComboBox* m_media = nullptr;
    QComboBox* m_sheet = nullptr;
    QLabel* m_startCaption = nullptr;
    QSpinBox* m_start = nullptr;
};

#endif
