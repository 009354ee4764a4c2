#ifndef KELBO_COMMON_ANSWER_H
#define KELBO_COMMON_ANSWER_H

/** @brief The button a message box or a question was closed with. */
enum class Answer
{
    Ok,
    Yes,
    No,
    Cancel
};

#endif
