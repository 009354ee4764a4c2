#include "convert/ConvExpression.h"

#include <cstring>

ConvExprKind ClassifyConvExpression(std::string_view expr)
{
    for (const ConvExpression& e : kConvExpressions) {
        if (e.match == ConvExprMatch::Word && e.text.size() == expr.size()
            && std::memcmp(e.text.data(), expr.data(), expr.size()) == 0) {
            return e.kind;
        }
    }
    if (expr.size() >= 4 && expr.compare(0, 3, "QSL") == 0
        && std::memchr(kQslOpenBrackets, expr[3], sizeof kQslOpenBrackets) != nullptr) {
        return ConvExprKind::Bracket;
    }
    for (const ConvExpression& e : kConvExpressions) {
        if (e.match == ConvExprMatch::Prefix && expr.substr(0, e.text.size()) == e.text) {
            return e.kind;
        }
    }
    return ConvExprKind::Template;
}
