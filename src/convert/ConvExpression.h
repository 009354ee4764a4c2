#ifndef KELBO_CONVERT_CONVEXPRESSION_H
#define KELBO_CONVERT_CONVEXPRESSION_H

#include <cstddef>
#include <cstdint>
#include <string_view>

/** @brief What a conversion expression does with its field text. */
enum class ConvExprKind : std::uint8_t
{
    Template, // not a keyword: the expression is a field template ("NULL" and "" among them)
    // dates and times
    YYdotMMdotDD,
    YYMMDD,
    YYDDMM,
    YYslashMMslashDD,
    DDslashMMslashYY,
    YYdashMMdashDD,
    YYMMDDHHcolonmm,
    YYMMDDHHmm,
    DDMONapYY,
    apYYDDMON,
    HHmm,
    HHmmJ,
    HHcolonmm,
    YY,
    apYY,
    YYYY,
    MM,
    DD,
    HH,
    mm,
    MON,
    DDMON,
    MONDD,
    // texts
    Call,
    Rst,
    Mode,
    Freq,
    KHz,
    Band, // "mBAND" followed by the band's text
    Power,
    Name,
    Qth,
    Qsl,
    Send,
    Recv,
    Env,
    AddQsl,
    Bracket, // "QSL" followed by an opening bracket
};

/** @brief How an expression of the vocabulary is recognised. */
enum class ConvExprMatch : std::uint8_t
{
    Word, // the whole expression, compared exactly
    Prefix, // an expression that begins with these bytes (the dialog offers an example of the form)
    None, // offered in the dialog only: not a keyword
};

/** @brief One expression of the vocabulary: its text (CP932), what it does, how it is recognised and whether the
 * definition dialog offers it in its list. */
struct ConvExpression
{
    std::string_view text;
    ConvExprKind kind;
    ConvExprMatch match;
    bool offered;
};

/** @brief Every keyword of the conversion engine and every expression the definition dialog offers, in the
 * dialog's order. The classifier and the dialog's list are both taken from here. */
inline constexpr ConvExpression kConvExpressions[] = {
    {"ADDQSL", ConvExprKind::AddQsl, ConvExprMatch::Word, true},
    {"CALL", ConvExprKind::Call, ConvExprMatch::Word, true},
    {"DD", ConvExprKind::DD, ConvExprMatch::Word, true},
    {"DD MON", ConvExprKind::DDMON, ConvExprMatch::Word, true},
    {"DD MON 'YY", ConvExprKind::DDMONapYY, ConvExprMatch::Word, true},
    {"DD/MM/YY", ConvExprKind::DDslashMMslashYY, ConvExprMatch::Word, true},
    {"ENV", ConvExprKind::Env, ConvExprMatch::Word, true},
    {"FREQ", ConvExprKind::Freq, ConvExprMatch::Word, true},
    {"HH", ConvExprKind::HH, ConvExprMatch::Word, true},
    {"HH:mm", ConvExprKind::HHcolonmm, ConvExprMatch::Word, true},
    {"HHmm", ConvExprKind::HHmm, ConvExprMatch::Word, true},
    {"HHmmJ", ConvExprKind::HHmmJ, ConvExprMatch::Word, true},
    {"KHz", ConvExprKind::KHz, ConvExprMatch::Word, true},
    {"mBAND", ConvExprKind::Band, ConvExprMatch::Prefix, true},
    {"MM", ConvExprKind::MM, ConvExprMatch::Word, true},
    {"mm", ConvExprKind::mm, ConvExprMatch::Word, true},
    {"MODE", ConvExprKind::Mode, ConvExprMatch::Word, true},
    {"MON", ConvExprKind::MON, ConvExprMatch::Word, true},
    {"MON DD", ConvExprKind::MONDD, ConvExprMatch::Word, true},
    {"NAME", ConvExprKind::Name, ConvExprMatch::Word, true},
    {"NULL", ConvExprKind::Template, ConvExprMatch::None, true},
    {"POWER", ConvExprKind::Power, ConvExprMatch::Word, true},
    {"QSL", ConvExprKind::Qsl, ConvExprMatch::Word, true},
    {"QSL(...)", ConvExprKind::Bracket, ConvExprMatch::None, true},
    {"QSL[...]", ConvExprKind::Bracket, ConvExprMatch::None, true},
    {"QSL{...}", ConvExprKind::Bracket, ConvExprMatch::None, true},
    {"QSL\xA2...\xA3", ConvExprKind::Bracket, ConvExprMatch::None, true},
    {"QSL<...>", ConvExprKind::Bracket, ConvExprMatch::None, true},
    {"QTH", ConvExprKind::Qth, ConvExprMatch::Word, true},
    {"RECV", ConvExprKind::Recv, ConvExprMatch::Word, true},
    {"RST", ConvExprKind::Rst, ConvExprMatch::Word, true},
    {"SEND", ConvExprKind::Send, ConvExprMatch::Word, true},
    {"YY", ConvExprKind::YY, ConvExprMatch::Word, true},
    {"'YY", ConvExprKind::apYY, ConvExprMatch::Word, true},
    {"'YY DD MON", ConvExprKind::apYYDDMON, ConvExprMatch::Word, true},
    {"YY.MM.DD", ConvExprKind::YYdotMMdotDD, ConvExprMatch::Word, true},
    {"YY/MM/DD", ConvExprKind::YYslashMMslashDD, ConvExprMatch::Word, true},
    {"YYDDMM", ConvExprKind::YYDDMM, ConvExprMatch::Word, true},
    {"YYMMDD", ConvExprKind::YYMMDD, ConvExprMatch::Word, true},
    {"YY-MM-DD", ConvExprKind::YYdashMMdashDD, ConvExprMatch::Word, true},
    {"YY-MM-DD HH:mm", ConvExprKind::YYMMDDHHcolonmm, ConvExprMatch::Word, true},
    {"YY-MM-DD HHmm", ConvExprKind::YYMMDDHHmm, ConvExprMatch::Word, true},
    {"YYYY", ConvExprKind::YYYY, ConvExprMatch::Word, true},
};

/** @brief Opening bytes that may follow "QSL" in a bracket form, and their closing bytes at the same index. 0xA2 /
 * 0xA3 are the single-byte half-width corner brackets. */
inline constexpr char kQslOpenBrackets[] = {'[', '\xA2', '{', '<', '('};
inline constexpr char kQslCloseBrackets[] = {']', '\xA3', '}', '>', ')'};

/** @brief The kind of @p expr (CP932, without its NUL): a whole-word keyword, a bracket form ("QSL" and an opening
 * bracket), a band expression (beginning with "mBAND"), or else a template. */
ConvExprKind ClassifyConvExpression(std::string_view expr);

#endif
