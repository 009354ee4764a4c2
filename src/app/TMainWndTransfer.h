#ifndef KELBO_APP_TMAINWNDTRANSFER_H
#define KELBO_APP_TMAINWNDTRANSFER_H

#include <memory>

class CardLink;

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

/** @brief The transfer and send-mark logic behind @p link. */
CardLink& cardLinkOf(TransferLink& link);
/** @brief Puts @p core behind @p link (for a card program reached another way, e.g. in tests). */
void setCardLink(TransferLink& link, std::unique_ptr<CardLink> core);

#endif
