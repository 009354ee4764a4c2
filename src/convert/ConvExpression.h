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

/** @brief One expression of the vocabulary: its text (CP932), what it does, how it is recognised, whether the
 * definition dialog offers it in its list, and the one-line hint the list shows for it. */
struct ConvExpression
{
    std::string_view text;
    ConvExprKind kind;
    ConvExprMatch match;
    bool offered;
    const char* hint; // one line for the dialog's list (UTF-8)
};

/** @brief Every keyword of the conversion engine and every expression the definition dialog offers, in the
 * dialog's order. The classifier and the dialog's list are both taken from here. */
inline constexpr ConvExpression kConvExpressions[] = {
    {"ADDQSL", ConvExprKind::AddQsl, ConvExprMatch::Word, true, "内容を備考(QSL)の後ろに空白で区切って付け足す"},
    {"CALL", ConvExprKind::Call, ConvExprMatch::Word, true, "コールサイン"},
    {"DD", ConvExprKind::DD, ConvExprMatch::Word, true, "日"},
    {"DD MON", ConvExprKind::DDMON, ConvExprMatch::Word, true, "日と英語の月名 (例: 05 MAY)"},
    {"DD MON 'YY", ConvExprKind::DDMONapYY, ConvExprMatch::Word, true, "日, 英語の月名, 年 (例: 05 MAY '24)"},
    {"DD/MM/YY", ConvExprKind::DDslashMMslashYY, ConvExprMatch::Word, true, "日/月/年 (例: 05/05/24)"},
    {"ENV", ConvExprKind::Env, ConvExprMatch::Word, true, "環境番号 (数字)"},
    {"FREQ", ConvExprKind::Freq, ConvExprMatch::Word, true, "周波数 (MHz)"},
    {"HH", ConvExprKind::HH, ConvExprMatch::Word, true, "時"},
    {"HH:mm", ConvExprKind::HHcolonmm, ConvExprMatch::Word, true, "時:分 (例: 12:34)"},
    {"HHmm", ConvExprKind::HHmm, ConvExprMatch::Word, true, "時分 (例: 1234)"},
    {"HHmmJ", ConvExprKind::HHmmJ, ConvExprMatch::Word, true,
     "時分と末尾のJ/I (日本時間) または U/Z (UTC) (例: 1234J)"},
    {"KHz", ConvExprKind::KHz, ConvExprMatch::Word, true, "周波数 (kHz, MHzに直す)"},
    {"mBAND", ConvExprKind::Band, ConvExprMatch::Prefix, true, "バンド (メートル, 周波数に直す) (例: 40m)"},
    {"MM", ConvExprKind::MM, ConvExprMatch::Word, true, "月 (数字)"},
    {"mm", ConvExprKind::mm, ConvExprMatch::Word, true, "分"},
    {"MODE", ConvExprKind::Mode, ConvExprMatch::Word, true, "モード"},
    {"MON", ConvExprKind::MON, ConvExprMatch::Word, true, "英語の月名 (例: MAY)"},
    {"MON DD", ConvExprKind::MONDD, ConvExprMatch::Word, true, "英語の月名と日 (例: MAY 05)"},
    {"NAME", ConvExprKind::Name, ConvExprMatch::Word, true, "名前"},
    {"NULL", ConvExprKind::Template, ConvExprMatch::None, true, "変換しない"},
    {"POWER", ConvExprKind::Power, ConvExprMatch::Word, true, "電力"},
    {"QSL", ConvExprKind::Qsl, ConvExprMatch::Word, true, "備考 (QSL欄)"},
    {"QSL(...)", ConvExprKind::Bracket, ConvExprMatch::None, true,
     "備考に ラベル(内容) の形で付け足す (... をラベルに書き換える)"},
    {"QSL[...]", ConvExprKind::Bracket, ConvExprMatch::None, true,
     "備考に ラベル[内容] の形で付け足す (... をラベルに書き換える)"},
    {"QSL{...}", ConvExprKind::Bracket, ConvExprMatch::None, true,
     "備考に ラベル{内容} の形で付け足す (... をラベルに書き換える)"},
    {"QSL\xA2...\xA3", ConvExprKind::Bracket, ConvExprMatch::None, true,
     "備考に ラベル｢内容｣ の形で付け足す (... をラベルに書き換える)"},
    {"QSL<...>", ConvExprKind::Bracket, ConvExprMatch::None, true,
     "備考に ラベル<内容> の形で付け足す (... をラベルに書き換える)"},
    {"QTH", ConvExprKind::Qth, ConvExprMatch::Word, true, "QTH (運用地)"},
    {"RECV", ConvExprKind::Recv, ConvExprMatch::Word, true, "受信マーク (最初の1文字)"},
    {"RST", ConvExprKind::Rst, ConvExprMatch::Word, true, "RSTレポート"},
    {"SEND", ConvExprKind::Send, ConvExprMatch::Word, true, "送信マーク: 空なら未送信, 印刷後にマークを書き込む欄"},
    {"YY", ConvExprKind::YY, ConvExprMatch::Word, true, "年 (下2桁)"},
    {"'YY", ConvExprKind::apYY, ConvExprMatch::Word, true, "年 ('付き下2桁, 例: '24)"},
    {"'YY DD MON", ConvExprKind::apYYDDMON, ConvExprMatch::Word, true, "年, 日, 英語の月名 (例: '24 05 MAY)"},
    {"YY.MM.DD", ConvExprKind::YYdotMMdotDD, ConvExprMatch::Word, true, "年.月.日 (例: 24.05.05)"},
    {"YY/MM/DD", ConvExprKind::YYslashMMslashDD, ConvExprMatch::Word, true,
     "年/月/日 (例: 24/05/05 または 2024/05/05)"},
    {"YYDDMM", ConvExprKind::YYDDMM, ConvExprMatch::Word, true, "年日月の6桁 (例: 240505)"},
    {"YYMMDD", ConvExprKind::YYMMDD, ConvExprMatch::Word, true, "年月日の6桁 (例: 240505)"},
    {"YY-MM-DD", ConvExprKind::YYdashMMdashDD, ConvExprMatch::Word, true, "年-月-日 (例: 24-05-05)"},
    {"YY-MM-DD HH:mm", ConvExprKind::YYMMDDHHcolonmm, ConvExprMatch::Word, true, "年-月-日 時:分 (例: 24-05-05 12:34)"},
    {"YY-MM-DD HHmm", ConvExprKind::YYMMDDHHmm, ConvExprMatch::Word, true, "年-月-日 時分 (例: 24-05-05 1234)"},
    {"YYYY", ConvExprKind::YYYY, ConvExprMatch::Word, true, "年 (4桁)"},
};

/** @brief Opening bytes that may follow "QSL" in a bracket form, and their closing bytes at the same index. 0xA2 /
 * 0xA3 are the single-byte half-width corner brackets. */
inline constexpr char kQslOpenBrackets[] = {'[', '\xA2', '{', '<', '('};
inline constexpr char kQslCloseBrackets[] = {']', '\xA3', '}', '>', ')'};

/** @brief The kind of @p expr (CP932, without its NUL): a whole-word keyword, a bracket form ("QSL" and an opening
 * bracket), a band expression (beginning with "mBAND"), or else a template. */
ConvExprKind ClassifyConvExpression(std::string_view expr);

#endif
