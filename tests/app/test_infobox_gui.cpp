// The progress box: its text is on screen when the long loop begins, also under a window manager (the test runs
// a second time on a private X server with openbox, see tests/CMakeLists.txt), it offers no title-bar buttons,
// and it shows how far the work is.
#include "app/TInfoBoxDlg.h"
#include "cardlink/CardLink.h"

#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QScreen>
#include <QThread>
#include <QWidget>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

/** True when @p image looks like dark text on the box's light background (a window never painted is black or
 * shows what was there before). */
bool showsText(const QImage& image)
{
    int dark = 0;
    int light = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int gray = qGray(image.pixel(x, y));
            dark += gray < 96;
            light += gray > 200;
        }
    }
    return dark > 40 && light > image.width() * image.height() / 2;
}

TEST(InfoBox, TextIsOnScreenWhenShowMsgReturns)
{
    QWidget owner;
    owner.resize(300, 200);
    owner.show();
    TInfoBoxDlg box(&owner);
    box.ShowMsg(cardtext::kTransferring);
    // What a long loop that handles no events leaves on screen: nothing more is processed from here.
    EXPECT_TRUE(box.isVisible());
    ASSERT_NE(box.windowHandle(), nullptr);
    EXPECT_TRUE(box.windowHandle()->isExposed());
    EXPECT_EQ(box.LMSG->text(), cardtext::kTransferring);

    QImage shot;
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        // The X server's own pixels of the label: a box painted before the window manager mapped it stays blank.
        QThread::msleep(200);
        const QPoint at = box.LMSG->mapToGlobal(QPoint(0, 0));
        shot = box.screen()->grabWindow(0, at.x(), at.y(), box.LMSG->width(), box.LMSG->height()).toImage();
    } else {
        shot = box.LMSG->grab().toImage();
    }
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(showsText(shot)) << "the message is not drawn";
}

TEST(InfoBox, HasNoTitleBarButtonsAndCannotBeClosed)
{
    QWidget owner;
    TInfoBoxDlg box(&owner);
    // Window managers give every framed window a close button: the box has no frame of theirs, its own title.
    EXPECT_TRUE(box.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(box.TitleBar->text(), QStringLiteral("KELBO"));
    EXPECT_EQ(box.LMSG->parentWidget()->size(), QSize(351, 86)) << "the client area of the design";
    EXPECT_EQ(box.minimumSize(), box.maximumSize());
    box.ShowMsg(QStringLiteral("x"));
    box.close();
    EXPECT_TRUE(box.isVisible());
}

TEST(InfoBox, ShowsHowFarTheWorkIs)
{
    QWidget owner;
    TInfoBoxDlg box(&owner);
    box.ShowMsg(cardtext::kUpdating);
    EXPECT_FALSE(box.Progress->isVisible()) << "no count before the work reports one";
    struct Case
    {
        long done;
        long total;
        QString text;
        int percent;
    };
    const Case cases[] = {
        {1, 3, QStringLiteral("1 / 3 件"), 33},
        {3, 3, QStringLiteral("3 / 3 件"), 100},
        {2500000, 5000000, QStringLiteral("2500000 / 5000000 件"), 50}, // beyond what the bar counts in int
        {7000000000L, 7000000000L, QStringLiteral("7000000000 / 7000000000 件"), 100},
    };
    for (const Case& c : cases) {
        QThread::msleep(60); // steps come faster than they are painted: let this one through
        box.ShowProgress(c.done, c.total);
        EXPECT_TRUE(box.Progress->isVisible());
        EXPECT_EQ(box.Progress->text(), c.text);
        EXPECT_EQ(box.Progress->value() * 100 / box.Progress->maximum(), c.percent) << c.text.toStdString();
    }

    // Steps come faster than they are painted, but the last one is always shown.
    for (long done = 1; done <= 10; ++done) {
        box.ShowProgress(done, 10);
    }
    EXPECT_EQ(box.Progress->text(), QStringLiteral("10 / 10 件"));
}

} // namespace
