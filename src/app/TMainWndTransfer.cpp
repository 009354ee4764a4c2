#include "app/TMainWndTransfer.h"

#include "app/TMainWnd.h"

struct TransferLink
{
};

void TransferLinkDeleter::operator()(TransferLink* link) const
{
    delete link;
}

TransferLinkPtr makeTransferLink()
{
    return TransferLinkPtr(new TransferLink);
}

void TMainWnd::CARDOBtnClick() {}

void TMainWnd::TimerTimer() {}

bool TMainWnd::CloseSendMarks()
{
    return true;
}
