#ifndef KELBO_COMMON_KELBOERROR_H
#define KELBO_COMMON_KELBOERROR_H

#include <stdexcept>
#include <string>

/** @brief The one error type of KELBO: thrown by the table engines, the automation and the settings file.
 *
 * The text is the error's own message in UTF-8, ready to be shown by the standard error display. */
class KelboError : public std::runtime_error
{
public:
    explicit KelboError(const std::string& message)
        : std::runtime_error(message)
    {
    }
};

/** @brief A write refused because of what one record holds (a line that readers may split otherwise, a value that
 * this record cannot take): nothing was written, and other records of the table can still be. */
class RecordRefusedError : public KelboError
{
public:
    using KelboError::KelboError;
};

/** @brief Message of an operation on a closed table. */
inline constexpr const char* kClosedDatasetMessage = "ﾃﾞｰﾀｾｯﾄは閉じているため, この操作は実行できません";

#endif
