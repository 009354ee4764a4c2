// Lines that cannot go on a card as they stand are found before printing, each with its reason.
#include "CardCheck.h"

#include <gtest/gtest.h>

namespace {

TEST(CardCheck, ImpossibleValuesAreFoundWithTheirReason)
{
    const struct
    {
        const char* line;
        const char* problem; // a word of the reason; "" for a printable line
    } cases[] = {
        {R"(24.04.28,1208,JA1ZQX,59,7.045,SSB,,"","","",,,0)", ""},
        {R"(24.04.28,0000,7K1XYZ/3,59,,SSB,,"","","",,,0)", ""}, // no frequency: the column stays empty
        {R"(99.12.31,2359,DL/JA1ABC,59,145.0,FM,,"","","",,,0)", ""},
        {R"(24.13.45,1208,JA1ZQX,59,7.045,SSB,,"","","",,,0)", "日付「24.13.45」"},
        {R"(,1208,JA1ZQX,59,7.045,SSB,,"","","",,,0)", "日付がありません"},
        {R"(24.02.30,1208,JA1ZQX,59,7.045,SSB,,"","","",,,0)", "日付"},
        {R"(24.04.28,2460,JA1ZQX,59,7.045,SSB,,"","","",,,0)", "時刻「2460」"},
        {R"(24.04.28,2400,JA1ZQX,59,7.045,SSB,,"","","",,,0)", "時刻"},
        {R"(24.04.28,12:08,JA1ZQX,59,7.045,SSB,,"","","",,,0)", "時刻"},
        {R"(24.04.28,,JA1ZQX,59,7.045,SSB,,"","","",,,0)", "時刻がありません"},
        {R"(24.04.28,1208,山田,59,7.045,SSB,,"","","",,,0)", "コールサイン"},
        {R"(24.04.28,1208,JAZQX,59,7.045,SSB,,"","","",,,0)", "コールサイン"},
        {R"(24.04.28,1208,JA1ZQX,59,7,045,SSB,,"","","",,,0)", "行の形式"},
        {R"(24.04.28,1208,JA1ZQX,59,7.0.45,SSB,,"","","",,,0)", "周波数「7.0.45」"},
        {R"(24.04.28,1208,JA1ZQX,59,7045000,SSB,,"","","",,,0)", "周波数"},
        {"a line of another shape", "行の形式"},
    };
    for (const auto& c : cases) {
        const QString problem = contactProblem(parseContact(QString::fromUtf8(c.line)));
        if (*c.problem == '\0') {
            EXPECT_TRUE(problem.isEmpty()) << c.line << ": " << problem.toStdString();
        } else {
            EXPECT_TRUE(problem.contains(QString::fromUtf8(c.problem))) << c.line << ": " << problem.toStdString();
        }
    }
}

} // namespace
