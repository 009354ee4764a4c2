#ifndef KELBO_LOGTABLE_SENDMARKRULE_H
#define KELBO_LOGTABLE_SENDMARKRULE_H

#include <string>
#include <string_view>

/** @brief How a log format tells a sent contact: which send marks count as not yet sent and what the send-mark
 * update writes. The default is the program's own: no mark or a blank is not yet sent, and the update writes the
 * text of the send-mark box. */
struct SendMarkRule
{
    /** Marks (first characters, ASCII case ignored) that also count as not yet sent, besides none and a blank. */
    std::string unsentMarks;
    /** The mark the update writes whatever the send-mark box says; "" writes the box's text. */
    std::string mark;
    /** Name of a field that gets the day of the update (YYYYMMDD, UTC) beside the mark; "" for none. */
    std::string dateField;
    /** Received marks (first characters, ASCII case ignored) that say the card has not come, so that the card line
     * carries no received mark for them. */
    std::string unreceivedMarks;
    /** Name of the field that holds the send mark in this format whatever the definition says; "" for none. */
    std::string sendField = {};

    /** @brief True when a send mark beginning with @p first (0 for none) counts as not yet sent. */
    bool isUnsentChar(char first) const
    {
        if (first == '\0' || first == ' ') {
            return true;
        }
        const char upper = first >= 'a' && first <= 'z' ? static_cast<char>(first - 'a' + 'A') : first;
        return unsentMarks.find(upper) != std::string::npos;
    }
    /** @brief True when the text of a SEND field counts as not yet sent. */
    bool isUnsent(std::string_view text) const { return isUnsentChar(text.empty() ? '\0' : text.front()); }
    /** @brief True when a received mark beginning with @p first says that no card came. */
    bool isUnreceivedChar(char first) const
    {
        const char upper = first >= 'a' && first <= 'z' ? static_cast<char>(first - 'a' + 'A') : first;
        return first != '\0' && unreceivedMarks.find(upper) != std::string::npos;
    }
};

#endif
