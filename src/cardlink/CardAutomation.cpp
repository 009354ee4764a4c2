#include "cardlink/CardAutomation.h"

#include "common/KelboError.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QEventLoop>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <deque>
#include <limits>
#include <thread>

namespace {

const QString kBusService = QStringLiteral("org.freedesktop.DBus");
const QString kBusPath = QStringLiteral("/org/freedesktop/DBus");
const QString kBusInterface = QStringLiteral("org.freedesktop.DBus");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kDbusError = QStringLiteral("org.freedesktop.DBus.Error.");

/** Waits until @p pending is answered (or timed out). On the thread of the application object the event loop runs
 * meanwhile, without user input: the window repaints and shows the wait pointer, but nothing can be clicked. */
void waitAnswered(const QDBusPendingCall& pending)
{
    if (pending.isFinished()) {
        return;
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) {
        QDBusPendingCall(pending).waitForFinished();
        return;
    }
    // Most answers come within a fraction of a millisecond: look for them a little before running the event loop,
    // whose wake-up would cost more than the call itself.
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(500);
    while (std::chrono::steady_clock::now() < until) {
        if (pending.isFinished()) {
            return;
        }
        std::this_thread::yield();
    }
    QDBusPendingCallWatcher watcher(pending);
    QEventLoop loop;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
    if (!watcher.isFinished()) {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
}

/** Makes @p m on @p bus and waits for its answer as waitAnswered does. */
QDBusMessage answered(const QDBusConnection& bus, const QDBusMessage& m, int timeoutMs)
{
    const QDBusPendingCall pending = bus.asyncCall(m, timeoutMs);
    waitAnswered(pending);
    return pending.reply();
}

/** Errors that mean the card program did not answer at all, as opposed to answering with a refusal. */
bool isSilence(const QString& errorName)
{
    static const QStringList silent{
        QStringLiteral("NoReply"),        QStringLiteral("Timeout"),        QStringLiteral("TimedOut"),
        QStringLiteral("ServiceUnknown"), QStringLiteral("NameHasNoOwner"), QStringLiteral("Disconnected"),
    };
    return errorName.startsWith(kDbusError) && silent.contains(errorName.mid(kDbusError.size()));
}

/** A value and its type as the bus delivered them, for the second line of an error. */
QString describe(const QVariant& v)
{
    return QStringLiteral("%1 %2").arg(QString::fromLatin1(v.typeName()), v.toString()).trimmed();
}

/** @p v as int when it is an integer of the bus (any width or sign) within the range of int. */
bool strictInt(const QVariant& v, int& out)
{
    qlonglong value = 0;
    switch (v.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::LongLong:
        value = v.toLongLong();
        break;
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::UChar: {
        value = v.toLongLong();
        break;
    }
    case QMetaType::ULongLong: {
        const qulonglong u = v.toULongLong();
        if (u > static_cast<qulonglong>(std::numeric_limits<int>::max())) {
            return false;
        }
        value = static_cast<qlonglong>(u);
        break;
    }
    default:
        return false;
    }
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) {
        return false;
    }
    out = static_cast<int>(value);
    return true;
}

/** The first result of @p reply as int. A property read answers with a variant around it. */
int intResult(const QDBusMessage& reply, const QString& name, bool property)
{
    const QVariantList out = reply.arguments();
    QVariant v = out.value(0);
    if (property && v.userType() == qMetaTypeId<QDBusVariant>()) {
        v = v.value<QDBusVariant>().variant();
    }
    int value = 0;
    if (out.isEmpty() || !strictInt(v, value)) {
        const QString detail = out.isEmpty() ? QStringLiteral("(no value)")
                                             : QStringLiteral("%1 (%2)").arg(reply.signature(), describe(v));
        throw KelboError((cardtext::kNotANumber.arg(name) + QLatin1Char('\n') + detail).toStdString());
    }
    return value;
}

} // namespace

std::unique_ptr<DBusCardAutomation> DBusCardAutomation::create(const QDBusConnection& bus, const QString& service,
                                                               QString* why)
{
    auto fail = [why](const QString& reason) {
        if (why) {
            *why = reason;
        }
        return std::unique_ptr<DBusCardAutomation>();
    };
    if (!bus.isConnected()) {
        return fail(QStringLiteral("セッションバスに接続できません。\n")
                    + (bus.lastError().isValid()
                           ? bus.lastError().name() + QStringLiteral(": ") + bus.lastError().message()
                           : QStringLiteral("DBUS_SESSION_BUS_ADDRESS を確認してください")));
    }
    QDBusMessage start
        = QDBusMessage::createMethodCall(kBusService, kBusPath, kBusInterface, QStringLiteral("StartServiceByName"));
    start << service << 0u;
    const QDBusMessage started = answered(bus, start, cardbus::kStartTimeoutMs);
    QDBusMessage whose
        = QDBusMessage::createMethodCall(kBusService, kBusPath, kBusInterface, QStringLiteral("GetNameOwner"));
    whose << service;
    // The bus looks for a service file before it looks for a running owner: a card program started by hand, with no
    // service file, is used all the same.
    if (started.type() != QDBusMessage::ReplyMessage
        && answered(bus, whose, cardbus::kCallTimeoutMs).type() != QDBusMessage::ReplyMessage) {
        const QString detail = started.errorName() + QStringLiteral(": ") + started.errorMessage();
        if (started.errorName() == kDbusError + QStringLiteral("ServiceUnknown")) {
            return fail(QStringLiteral("%1 のサービスファイルが、バスの探すフォルダ "
                                       "($XDG_DATA_HOME/dbus-1/services, /usr/share/dbus-1/services など) "
                                       "にありません。カードプログラムを登録してください。\n%2")
                            .arg(service, detail));
        }
        return fail(QStringLiteral("カードプログラムが起動に失敗しました。"
                                   "サービスファイルの Exec のプログラムを確認してください。\n%1")
                        .arg(detail));
    }
    // Talk to that very instance from now on: should it go away, the calls fail instead of starting a new,
    // empty card program.
    const QDBusMessage owner = answered(bus, whose, cardbus::kCallTimeoutMs);
    if (owner.type() != QDBusMessage::ReplyMessage || owner.arguments().isEmpty()) {
        return fail(QStringLiteral("カードプログラムが起動の直後に終了しました。\n%1 を所有するプログラムがありません")
                        .arg(service));
    }
    return std::unique_ptr<DBusCardAutomation>(new DBusCardAutomation(bus, owner.arguments().first().toString()));
}

DBusCardAutomation::DBusCardAutomation(const QDBusConnection& bus, const QString& service)
    : m_bus(bus)
    , m_service(service)
{
}

DBusCardAutomation::~DBusCardAutomation() = default;

void DBusCardAutomation::fail(const QString& name, const QString& errorName, const QString& errorMessage)
{
    const QString detail = errorName + QStringLiteral(": ") + errorMessage;
    if (!isSilence(errorName)) {
        throw KelboError((cardtext::kRefused.arg(name) + QLatin1Char('\n') + detail).toStdString());
    }
    if (!m_gone) {
        // A card program that left the bus holds nothing any more: it is not called again.
        if (!m_bus.isConnected()) {
            m_gone = true;
        } else {
            QDBusMessage has
                = QDBusMessage::createMethodCall(kBusService, kBusPath, kBusInterface, QStringLiteral("NameHasOwner"));
            has << m_service;
            const QDBusMessage r = answered(m_bus, has, cardbus::kCallTimeoutMs);
            m_gone = r.type() == QDBusMessage::ReplyMessage && !r.arguments().value(0).toBool();
        }
    }
    throw KelboError((cardtext::kNotAnswering + QLatin1Char('\n') + detail).toStdString());
}

void DBusCardAutomation::refuseIfGone(const QString& name)
{
    if (m_gone) {
        fail(name, kDbusError + QStringLiteral("ServiceUnknown"),
             QStringLiteral("%1 はバスから去りました").arg(m_service));
    }
}

QDBusMessage DBusCardAutomation::roundTrip(const QDBusMessage& m, const QString& name)
{
    refuseIfGone(name);
    const QDBusMessage reply = answered(m_bus, m, m_timeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        fail(name, reply.errorName(), reply.errorMessage());
    }
    if (reply.type() != QDBusMessage::ReplyMessage) {
        fail(name, kDbusError + QStringLiteral("Disconnected"), QStringLiteral("バスとの接続が切れました"));
    }
    return reply;
}

void DBusCardAutomation::call(const QString& name, const QVariantList& args)
{
    QDBusMessage m = QDBusMessage::createMethodCall(m_service, cardbus::kPath, cardbus::kInterface, name);
    m.setArguments(args);
    roundTrip(m, name);
}

int DBusCardAutomation::get(const QString& name, const QVariantList& args)
{
    QDBusMessage m;
    if (args.isEmpty()) {
        m = QDBusMessage::createMethodCall(m_service, cardbus::kPath, kProperties, QStringLiteral("Get"));
        m << cardbus::kInterface << name;
    } else {
        m = QDBusMessage::createMethodCall(m_service, cardbus::kPath, cardbus::kInterface, name);
        m.setArguments(args);
    }
    return intResult(roundTrip(m, name), name, args.isEmpty());
}

void DBusCardAutomation::put(const QString& name, int value)
{
    QDBusMessage m = QDBusMessage::createMethodCall(m_service, cardbus::kPath, kProperties, QStringLiteral("Set"));
    m << cardbus::kInterface << name << QVariant::fromValue(QDBusVariant(value));
    roundTrip(m, name);
}

std::vector<int> DBusCardAutomation::getEach(const QString& name, int count)
{
    if (count > 0) {
        refuseIfGone(name);
    }
    // Keep a window of reads in flight and take their answers in order. The card program answers them one after
    // the other, so a read sent behind k others may take k + 1 call timeouts: each still gets a full one of its own.
    std::vector<int> out;
    out.reserve(static_cast<std::size_t>(std::max(count, 0)));
    std::deque<QDBusPendingCall> inFlight;
    int next = 0;
    while (static_cast<int>(out.size()) < count) {
        while (next < count && inFlight.size() < static_cast<std::size_t>(cardbus::kReadWindow)) {
            QDBusMessage m = QDBusMessage::createMethodCall(m_service, cardbus::kPath, cardbus::kInterface, name);
            m << next++;
            const int ahead = static_cast<int>(inFlight.size());
            const qint64 timeout = static_cast<qint64>(m_timeoutMs) * (ahead + 1);
            inFlight.push_back(m_bus.asyncCall(m, static_cast<int>(std::min<qint64>(timeout, 0x7fffffff))));
        }
        const QDBusPendingCall oldest = inFlight.front();
        inFlight.pop_front();
        waitAnswered(oldest);
        const QDBusMessage reply = oldest.reply();
        if (reply.type() != QDBusMessage::ReplyMessage) {
            if (reply.type() == QDBusMessage::ErrorMessage) {
                fail(name, reply.errorName(), reply.errorMessage());
            }
            fail(name, kDbusError + QStringLiteral("Disconnected"), QStringLiteral("バスとの接続が切れました"));
        }
        out.push_back(intResult(reply, name, false));
    }
    return out;
}
