#include "app/TInfoBoxDlg.h"

#include "app/KelboFont.h"

#include "common/Cp932.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QThread>
#include <QWindow>
#include <algorithm>

namespace {

// How long ShowMsg waits for a window manager to map the box before it paints anyway.
constexpr int kMapWaitMs = 2000;
// Progress steps closer together than this are not painted (the last one always is).
constexpr int kPaintEveryMs = 40;
// The box's own frame and title bar.
constexpr int kFrame = 1;
constexpr int kTitleHeight = 22;

} // namespace

TInfoBoxDlg::TInfoBoxDlg(QWidget* owner)
    // Window managers put a close button on every window they frame, whatever the window asks for: the box
    // draws its own frame and title bar, with no buttons, so that there is nothing to close it with.
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("KELBO"));
    setFont(kelboFont(17));
    TitleBar = new QLabel(QStringLiteral("KELBO"), this);
    TitleBar->setFont(kelboFont(13));
    TitleBar->setAlignment(Qt::AlignCenter);
    TitleBar->setAutoFillBackground(true);
    QPalette titlePalette = TitleBar->palette();
    titlePalette.setColor(QPalette::Window, titlePalette.color(QPalette::Active, QPalette::Highlight));
    titlePalette.setColor(QPalette::WindowText, titlePalette.color(QPalette::Active, QPalette::HighlightedText));
    TitleBar->setPalette(titlePalette);
    TitleBar->setGeometry(kFrame, kFrame, 351, kTitleHeight);
    // The client area of the design, 351 x 86, below the title bar.
    auto* client = new QWidget(this);
    client->setGeometry(kFrame, kFrame + kTitleHeight, 351, 86);
    setFixedSize(351 + 2 * kFrame, 86 + kTitleHeight + 2 * kFrame);
    LMSG = new QLabel(QStringLiteral("LMSG"), client);
    LMSG->setGeometry(16, 33, 321, 17);
    LMSG->setAlignment(Qt::AlignCenter);
    Progress = new QProgressBar(client);
    Progress->setGeometry(16, 60, 321, 18);
    Progress->setAlignment(Qt::AlignCenter);
    Progress->setFont(kelboFont(13));
    Progress->hide();
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        move(s->availableGeometry().center() - rect().center());
    }
}

void TInfoBoxDlg::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    // A single fixed border around the title bar and the client area.
    QPainter p(this);
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TInfoBoxDlg::ShowMsg(const QString& text)
{
    // The box holds at most 255 bytes of text, cut on a character boundary.
    LMSG->setText(cp932::toUnicode(cp932::cut(cp932::fromUnicode(text), 255)));
    if (!isVisible()) {
        show();
    }
    raise();
    // The callers run long loops that handle no events. A window manager maps the box only after a round trip,
    // and what is painted before that is lost: wait until the box is on screen, then paint.
    QDeadlineTimer deadline(kMapWaitMs);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    while (windowHandle() && !windowHandle()->isExposed() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
        QThread::msleep(1);
    }
    repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_sincePaint.start();
}

void TInfoBoxDlg::ShowProgress(long done, long total)
{
    if (total <= 0) {
        return;
    }
    // A step for every record: only those that will be painted touch the bar.
    if (!Progress->isHidden() && done < total && m_sincePaint.isValid() && m_sincePaint.elapsed() < kPaintEveryMs) {
        return;
    }
    // The bar counts in int: it shows tenths of a percent, the text the counts themselves.
    Progress->setRange(0, 1000);
    Progress->setValue(static_cast<int>(static_cast<long double>(std::clamp(done, 0L, total)) * 1000 / total));
    Progress->setFormat(QStringLiteral("%1 / %2 件").arg(done).arg(total));
    Progress->show();
    Progress->repaint();
    m_sincePaint.start();
}

void TInfoBoxDlg::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

void TInfoBoxDlg::keyPressEvent(QKeyEvent* event)
{
    // Esc must not close the box.
    event->ignore();
}
