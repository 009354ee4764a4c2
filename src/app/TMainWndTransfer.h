#ifndef KELBO_APP_TMAINWNDTRANSFER_H
#define KELBO_APP_TMAINWNDTRANSFER_H

#include <memory>

/** @brief The main window's link to the card program: the automation object and what the last transfer handed
 * over. Defined in TMainWndTransfer.cpp, with the main window's transfer, poll and send-mark handlers. */
struct TransferLink;
struct TransferLinkDeleter
{
    void operator()(TransferLink* link) const;
};
using TransferLinkPtr = std::unique_ptr<TransferLink, TransferLinkDeleter>;

/** @brief A fresh, empty link (no card program object yet). */
TransferLinkPtr makeTransferLink();

#endif
