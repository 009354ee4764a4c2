#include "app/WindowPlace.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QSettings>
#include <QWidget>

#include <algorithm>

namespace {

// Room for a window manager's frame around a client area: borders, and the title bar above.
constexpr int kFrameWidth = 8;
constexpr int kFrameHeight = 36;
constexpr int kGap = 8;
// Below these a window beside the other is too small to use; it then covers a part of the other instead.
constexpr int kUsableWidth = 480;
constexpr int kUsableHeight = 320;

const char kGeometryKey[] = "Window/Geometry";

/** Remembers a window's place and size in a settings file whenever it is hidden or closed. */
class PlaceKeeper : public QObject
{
public:
    PlaceKeeper(QWidget* window, const QString& settingsFile)
        : QObject(window)
        , m_window(window)
        , m_settingsFile(settingsFile)
    {
        window->installEventFilter(this);
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] {
            if (m_window && m_window->isVisible()) {
                remember();
            }
        });
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_window && (event->type() == QEvent::Hide || event->type() == QEvent::Close)
            && m_window->isWindow()) {
            remember();
        }
        return false;
    }

private:
    void remember()
    {
        QSettings settings(m_settingsFile, QSettings::IniFormat);
        settings.setValue(QLatin1String(kGeometryKey), m_window->saveGeometry());
    }

    QPointer<QWidget> m_window;
    QString m_settingsFile;
};

} // namespace

QSize kelboClientSize(const QRect& available)
{
    // The design size (632 x 366) is small on today's screens: a big screen gets a bigger window, with room for the
    // grid.
    return QSize(std::clamp(available.width() * 3 / 5, 632, 1200), std::clamp(available.height() * 3 / 5, 366, 800));
}

QRect kelboWindowPlace(const QRect& available)
{
    // The client area and what a usual frame adds to it (632 x 366 inside 640 x 400).
    QRect r(QPoint(0, 0), kelboClientSize(available) + QSize(8, 34));
    r.moveCenter(available.center());
    // At the left, so that the card program's window finds room beside it.
    r.moveLeft(available.left() + 16);
    return r;
}

QRect placeBeside(const QRect& available, const QRect& other, QSize wanted)
{
    const QSize most(available.width() - 2 * kFrameWidth, available.height() - kFrameHeight - kFrameWidth);
    QSize size = wanted.boundedTo(most);
    const int roomRight = available.right() - other.right() - kGap - 2 * kFrameWidth;
    const int roomLeft = other.left() - available.left() - kGap - 2 * kFrameWidth;
    const int roomBelow = available.bottom() - other.bottom() - kGap - kFrameHeight - kFrameWidth;
    const int centredY = available.top() + kFrameHeight + (most.height() - size.height()) / 2;
    const int centredX = available.left() + kFrameWidth + (most.width() - size.width()) / 2;

    if (std::max(roomRight, roomLeft) >= kUsableWidth) {
        size.setWidth(std::min(size.width(), std::max(roomRight, roomLeft)));
        const int x = roomRight >= roomLeft ? other.right() + 1 + kGap + kFrameWidth
                                            : other.left() - kGap - kFrameWidth - size.width();
        return QRect(QPoint(x, centredY), size);
    }
    if (roomBelow >= kUsableHeight) {
        size.setHeight(std::min(size.height(), roomBelow));
        return QRect(QPoint(centredX, other.bottom() + 1 + kGap + kFrameHeight), size);
    }
    // No room beside it: the right part of the screen, as narrow as still usable, so that most of the other
    // window shows.
    size.setWidth(std::min(size.width(), std::max(kUsableWidth, roomRight)));
    return QRect(QPoint(available.right() + 1 - kFrameWidth - size.width(), centredY), size);
}

void keepWindowPlace(QWidget* window, const QString& settingsFile)
{
    const QByteArray remembered
        = QSettings(settingsFile, QSettings::IniFormat).value(QLatin1String(kGeometryKey)).toByteArray();
    if (remembered.isEmpty() || !window->restoreGeometry(remembered)) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect available = screen->availableGeometry();
            window->setGeometry(placeBeside(available, kelboWindowPlace(available), window->size()));
        }
    }
    new PlaceKeeper(window, settingsFile);
}
