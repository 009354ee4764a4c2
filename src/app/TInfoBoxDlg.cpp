#include "app/TInfoBoxDlg.h"

#include "app/KelboFont.h"

#include "common/Cp932.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>

TInfoBoxDlg::TInfoBoxDlg(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setWindowTitle(QStringLiteral("KELBO"));
    setFixedSize(351, 86);
    setFont(kelboFont(17));
    LMSG = new QLabel(QStringLiteral("LMSG"), this);
    LMSG->setGeometry(16, 33, 321, 17);
    LMSG->setAlignment(Qt::AlignCenter);
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        move(s->availableGeometry().center() - rect().center());
    }
}

void TInfoBoxDlg::ShowMsg(const QString& text)
{
    // The box holds at most 255 bytes of text, cut on a character boundary.
    LMSG->setText(cp932::toUnicode(cp932::cut(cp932::fromUnicode(text), 255)));
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (!isVisible()) {
        show();
    }
    raise();
    // The callers run long loops that handle no events: paint now.
    repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
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
