// The card program object on a private bus with the card program.
#include "CardProgramBus.h"
#include "FakeCard.h"
#include "cardlink/CardAutomation.h"
#include "common/KelboError.h"

#include <gtest/gtest.h>

namespace {

std::string failureOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const KelboError& e) {
        return e.what();
    }
    return "no error";
}

class CardAutomationTest : public ::testing::Test
{
protected:
    void SetUp() override { cardbus::pdfFolder(); }
    void TearDown() override { cardbus::stop(); }
};

TEST_F(CardAutomationTest, CallGetAndPutByNameReachTheStartedCardProgram)
{
    ASSERT_EQ(cardbus::pid(), 0u);
    auto c = DBusCardAutomation::create();
    ASSERT_TRUE(c);
    EXPECT_NE(cardbus::pid(), 0u) << "creating the object starts the card program";

    c->call(QStringLiteral("ShowWindow"), {5});
    c->put(QStringLiteral("Modified"), 0);
    c->call(QStringLiteral("DeleteLog"));
    c->call(QStringLiteral("AddLogPos"),
            {QStringLiteral("24.04.28,0912,JA1ZQX,59,7.045,SSB,,\"山田\",\"\",\"\",,,0"), 7});
    c->call(QStringLiteral("AddLogPos"), {QStringLiteral("24.04.28,0937,JH3KVW,599,7.012,CW,,\"\",\"\",\"\",,,0"), 9});
    EXPECT_EQ(c->get(QStringLiteral("GetLogCount")), 2); // a property
    EXPECT_EQ(c->get(QStringLiteral("GetPrintedPos"), {1}), -1); // a method returning an int
    ASSERT_FALSE(cardbus::printLines({1}).isEmpty());
    EXPECT_EQ(c->get(QStringLiteral("PrintStat")), 2);
    EXPECT_EQ(c->get(QStringLiteral("GetPrintedPos"), {1}), 9);
    c->put(QStringLiteral("PrintStat"), 0);
    EXPECT_EQ(c->get(QStringLiteral("PrintStat")), 0);

    // Failures say what went wrong in the program's words, the bus's own text on the second line.
    EXPECT_EQ(failureOf([&] {
                  c->get(QStringLiteral("GetPrintedPos"), {5});
              }).rfind("CARDOが GetPrintedPos を受け付けませんでした。\norg.freedesktop.DBus.Error.InvalidArgs: ", 0),
              0u);
    EXPECT_EQ(
        failureOf([&] {
            c->call(QStringLiteral("NoSuchOperation"));
        }).rfind("CARDOが NoSuchOperation を受け付けませんでした。\norg.freedesktop.DBus.Error.UnknownMethod: ", 0),
        0u);
    // The position must go as an int: anything else is another method.
    EXPECT_EQ(failureOf([&] {
                  c->call(QStringLiteral("AddLogPos"), {QStringLiteral("x"), QStringLiteral("1")});
              }).rfind("CARDOが AddLogPos を受け付けませんでした。\norg.freedesktop.DBus.Error.UnknownMethod: ", 0),
              0u);
}

TEST_F(CardAutomationTest, NoRegisteredServiceMeansNoObject)
{
    cardbus::OwnBus bare(false, QStringLiteral("bare"));
    ASSERT_TRUE(bare.connection && bare.connection->isConnected());
    QString why;
    EXPECT_FALSE(DBusCardAutomation::create(*bare.connection, cardbus::kService, &why));
    EXPECT_TRUE(why.contains(QStringLiteral("ServiceUnknown"))) << why.toStdString();

    EXPECT_FALSE(DBusCardAutomation::create(QDBusConnection::sessionBus(), QStringLiteral("CARDO.Nowhere")));
}

TEST_F(CardAutomationTest, CardProgramStartedByHandIsUsedWithoutAServiceFile)
{
    cardbus::OwnBus bare(false, QStringLiteral("by-hand"));
    ASSERT_TRUE(bare.connection && bare.connection->isConnected());
    FakeCard running({}, *bare.connection, bare.address);
    QString why;
    auto c = DBusCardAutomation::create(*bare.connection, cardbus::kService, &why);
    ASSERT_TRUE(c) << why.toStdString();
    c->call(QStringLiteral("NewDoc"));
    EXPECT_EQ(running.calls(), QStringList{QStringLiteral("NewDoc()")});
}

TEST_F(CardAutomationTest, PipelinedReadsStayUnderThePlainBusLimit)
{
    cardbus::OwnBus plain(true, QStringLiteral("plain"));
    ASSERT_TRUE(plain.connection && plain.connection->isConnected());
    auto c = DBusCardAutomation::create(*plain.connection);
    ASSERT_TRUE(c);
    c->call(QStringLiteral("DeleteLog"));
    const int lines = 3000;
    for (int i = 0; i < lines; ++i) {
        c->call(QStringLiteral("AddLogPos"), {QStringLiteral("line %1").arg(i), i * 2});
    }
    EXPECT_EQ(c->get(QStringLiteral("GetLogCount")), lines);
    EXPECT_EQ(c->getEach(QStringLiteral("GetPrintedPos"), lines), std::vector<int>(lines, -1));
    c->call(QStringLiteral("DeleteLog"));
    c.reset();
}

TEST_F(CardAutomationTest, CallsFailOnceTheCardProgramIsGoneInsteadOfStartingANewOne)
{
    auto c = DBusCardAutomation::create();
    ASSERT_TRUE(c);
    cardbus::stop();
    EXPECT_EQ(failureOf([&] { c->get(QStringLiteral("PrintStat")); }).rfind("CARDOが応答しません。\n", 0), 0u);
    EXPECT_TRUE(c->gone());
    EXPECT_EQ(cardbus::pid(), 0u);
}

} // namespace
