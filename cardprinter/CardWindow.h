#ifndef KELBO_CARDOSTANDIN_CARDWINDOW_H
#define KELBO_CARDOSTANDIN_CARDWINDOW_H

#include <QWidget>

class CardoApplication;
class QLabel;
class QTableView;
class QPushButton;

/** @brief The card program's window: the held lines, and a button that prints the chosen ones as cards. */
class CardWindow : public QWidget
{
    Q_OBJECT
public:
    explicit CardWindow(CardoApplication& app);
    /** Chooses every line for printing. */
    void chooseAll();
    void setStatus(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void printChosen();

    CardoApplication& m_app;
    QTableView* m_list = nullptr;
    QPushButton* m_print = nullptr;
    QLabel* m_status = nullptr;
};

#endif
