#ifndef KELBO_APP_TMAINWND_H
#define KELBO_APP_TMAINWND_H

#include "app/TMainWndTransfer.h"

#include <QWidget>

/** @brief The main window. */
class TMainWnd : public QWidget
{
    Q_OBJECT
public:
    explicit TMainWnd(QWidget* parent = nullptr);

    int SendFieldIndex = -1;
    int PrintPhase = 0;

    // The transfer, poll and send-mark handlers (TMainWndTransfer.cpp).
    void CARDOBtnClick();
    void TimerTimer();
    /** Closing form of the send-mark update, then "DeleteLog" after a transfer; false when the user chose Cancel. */
    bool CloseSendMarks();

private:
    TransferLinkPtr m_link;
};

#endif
