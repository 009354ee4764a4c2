// The windows on the desktop: the face they are drawn in, and where the card window opens and comes back.
#include "app/UiLocale.h"
#include "app/WindowPlace.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <ostream>

void PrintTo(const QString& text, std::ostream* os)
{
    *os << text.toStdString();
}

namespace {

QFont fontOf(const QString& family, int points = 10)
{
    QFont f(family);
    f.setPointSize(points);
    return f;
}

TEST(UiFont, AJapaneseFaceLeadsUnlessTheDesktopsIsAProportionalJapaneseOne)
{
    const QStringList all = {QStringLiteral("DejaVu Sans"), QStringLiteral("VL Gothic"), QStringLiteral("VL PGothic"),
                             QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")};
    const QStringList onlyCardFont = {QStringLiteral("VL Gothic"), QStringLiteral("VL PGothic")};
    struct Case
    {
        const char* name;
        DesktopFace face;
        QStringList installed;
        QStringList families;
    };
    const Case cases[] = {
        {"a Latin desktop face follows the Japanese one",
         {QStringLiteral("DejaVu Sans"), false, false},
         all,
         {QStringLiteral("Noto Sans CJK JP"), QStringLiteral("DejaVu Sans")}},
        {"a monospaced default Japanese sans is dropped",
         {QStringLiteral("VL Gothic"), true, true},
         all,
         {QStringLiteral("Noto Sans CJK JP")}},
        {"only the card font package: its proportional face",
         {QStringLiteral("VL Gothic"), true, true},
         onlyCardFont,
         {QStringLiteral("VL PGothic")}},
        {"the desktop's proportional Japanese face stays",
         {QStringLiteral("IPAPGothic"), false, true},
         all,
         {QStringLiteral("Sans Serif")}},
        {"no proportional Japanese face installed: the desktop's stays",
         {QStringLiteral("VL Gothic"), true, true},
         {QStringLiteral("VL Gothic")},
         {QStringLiteral("Sans Serif")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QFont font = uiFont(fontOf(QStringLiteral("Sans Serif"), 11), c.face, c.installed);
        EXPECT_EQ(font.families(), c.families);
        EXPECT_EQ(font.pointSize(), 11);
    }
}

// With the fonts this program depends on: the face fontconfig makes the default Japanese sans is seen to be
// monospaced (fontconfig does not mark it so), and the windows' font made from it is a proportional one.
TEST(UiFont, TheWindowsFontIsProportionalWithTheInstalledFaces)
{
    const QStringList installed = QFontDatabase::families();
    if (!installed.contains(QStringLiteral("VL Gothic")) || !installed.contains(QStringLiteral("VL PGothic"))) {
        GTEST_SKIP() << "fonts-vlgothic is not installed";
    }
    const QFont monospaced = fontOf(QStringLiteral("VL Gothic"));
    ASSERT_EQ(QFontInfo(monospaced).family(), QStringLiteral("VL Gothic"));
    EXPECT_TRUE(isMonospaced(monospaced));
    EXPECT_FALSE(isMonospaced(fontOf(QStringLiteral("VL PGothic"))));

    const QFont ui = uiFont(monospaced, {QStringLiteral("VL Gothic"), true, true}, installed);
    EXPECT_FALSE(isMonospaced(ui)) << QFontInfo(ui).family().toStdString();
    EXPECT_NE(QFontInfo(ui).family(), QStringLiteral("VL Gothic"));
}

TEST(WindowPlace, TheCardWindowOpensBesideKelboAndOnTheScreen)
{
    const QSize wanted(1040, 560);
    const QRect screens[] = {QRect(0, 0, 1920, 1050), QRect(0, 0, 3840, 2100), QRect(1920, 0, 1920, 1170)};
    for (const QRect& available : screens) {
        SCOPED_TRACE(QStringLiteral("%1x%2").arg(available.width()).arg(available.height()).toStdString());
        const QRect kelbo = kelboWindowPlace(available);
        EXPECT_EQ(kelbo.size(), kelboClientSize(available) + QSize(8, 34));
        EXPECT_TRUE(available.contains(kelbo));
        const QRect card = placeBeside(available, kelbo, wanted);
        // With its frame (borders, title bar) it stays on the screen and off KELBO's window.
        const QRect framed = card.adjusted(-8, -36, 8, 8);
        EXPECT_TRUE(available.contains(framed)) << framed.x() << "," << framed.y();
        EXPECT_FALSE(framed.intersects(kelbo));
        EXPECT_GE(card.width(), 480);
        EXPECT_LE(card.width(), wanted.width());
        EXPECT_EQ(card.height(), wanted.height());
    }
    // A wide screen has room for all of it.
    EXPECT_EQ(placeBeside(QRect(0, 0, 3840, 2100), kelboWindowPlace(QRect(0, 0, 3840, 2100)), wanted).size(), wanted);
}

TEST(WindowPlace, OnASmallScreenItCoversAsLittleOfKelboAsItCan)
{
    for (const QRect& available : {QRect(0, 0, 1366, 740), QRect(0, 0, 1280, 1024)}) {
        SCOPED_TRACE(QStringLiteral("%1x%2").arg(available.width()).arg(available.height()).toStdString());
        const QRect kelbo = kelboWindowPlace(available);
        const QRect card = placeBeside(available, kelbo, QSize(1040, 560));
        EXPECT_TRUE(available.contains(card.adjusted(-8, -36, 8, 8)));
        EXPECT_GE(card.width(), 480);
        EXPECT_LE(card.right(), available.right() - 8);
        // KELBO's left part, with its buttons, stays free.
        EXPECT_GT(card.left(), kelbo.center().x());
    }
}

TEST(WindowPlace, TheWindowComesBackWhereItWasLeft)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString ini = dir.filePath(QStringLiteral("kelbo-cardprinter.ini"));
    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Station]\nCall=QX1ABC\n");
    file.close();
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();

    QRect left;
    {
        QWidget first;
        first.resize(1040, 560);
        keepWindowPlace(&first, ini);
        EXPECT_EQ(first.geometry(), placeBeside(available, kelboWindowPlace(available), QSize(1040, 560)));
        first.show();
        first.setGeometry(40, 60, 500, 300);
        left = first.geometry();
        first.hide();
    }
    EXPECT_EQ(QSettings(ini, QSettings::IniFormat).value(QStringLiteral("Station/Call")).toString(),
              QStringLiteral("QX1ABC"));
    QWidget again;
    again.resize(1040, 560);
    keepWindowPlace(&again, ini);
    EXPECT_EQ(again.geometry(), left);

    // A damaged value is no place: the window opens beside KELBO again.
    QSettings(ini, QSettings::IniFormat).setValue(QStringLiteral("Window/Geometry"), QByteArray("damaged"));
    QWidget damaged;
    damaged.resize(1040, 560);
    keepWindowPlace(&damaged, ini);
    EXPECT_EQ(damaged.geometry(), placeBeside(available, kelboWindowPlace(available), QSize(1040, 560)));
}

} // namespace
