#ifndef KELBO_COMMON_CODEPAGE_H
#define KELBO_COMMON_CODEPAGE_H

#include <memory>
#include <optional>
#include <string>
#include <string_view>

/** @brief The code page a table's texts are stored in, and what the tables declare of it. */
namespace codepage {

/** @brief A table's code page: its texts to CP932 (what the program works with) and to UTF-8 (what a person sees),
 * and CP932 texts back into it. The converters are opened once, when the table opens; no name is looked up per
 * value. Not for use from two threads at once. */
class CodePage
{
public:
    /** @brief CP932 itself: values pass as stored, only broken or undefined codes become '?'. */
    CodePage();
    /** @brief The code page glibc's iconv knows as @p iconvName; isValid() false when iconv does not know it. */
    explicit CodePage(const std::string& iconvName);
    ~CodePage();
    CodePage(CodePage&&) noexcept;
    CodePage& operator=(CodePage&&) noexcept;

    bool isValid() const;
    bool isCp932() const;
    /** @brief The iconv name ("CP932" for CP932 itself). */
    const std::string& name() const;

    /** @brief The stored bytes @p raw as CP932: a character CP932 cannot hold, and a byte that is no character of
     * the code page, becomes '?'. The result is always well-formed CP932 without undefined codes. */
    std::string toCp932(std::string_view raw) const;
    /** @brief The stored bytes @p raw in UTF-8; a byte that is no character of the code page becomes U+FFFD. */
    std::string toUtf8(std::string_view raw) const;
    /** @brief The CP932 text @p text in this code page, at most @p capacity bytes and never half a character;
     * nullopt when a character of it has no form in this code page (or it is no well-formed CP932). */
    std::optional<std::string> fromCp932(std::string_view text, std::size_t capacity) const;

private:
    struct Converters;
    std::string m_name;
    std::unique_ptr<Converters> m_cv;
};

/** @brief The iconv name of a dBASE language-driver byte; "" when the byte declares nothing (0), nullopt when the
 * byte is not one this program knows. */
std::optional<std::string> dbaseLanguageDriver(unsigned char ldid);

/** @brief The iconv name a `.cpg` file's content names ("UTF-8", "1252", "ANSI 1251", "88591", "LDID/87" ...); ""
 * when it is empty, nullopt when it names nothing this program knows. */
std::optional<std::string> cpgCodePage(std::string_view content);

/** @brief The iconv name of a Paradox header's code page number; "" for 0, nullopt when unknown. */
std::optional<std::string> paradoxCodePage(int number);

/** @brief True when @p s is well-formed CP932: every lead byte followed by a trail byte, and every character one
 * that CP932 defines. */
bool isWellFormedCp932(std::string_view s);

/** @brief @p s with every broken or undefined CP932 code replaced by '?'; @p s itself when it is well-formed. */
std::string sanitizeCp932(std::string_view s);

} // namespace codepage

#endif
