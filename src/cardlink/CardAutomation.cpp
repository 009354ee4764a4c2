#include "cardlink/CardAutomation.h"

#include "common/KelboError.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <algorithm>

namespace {

const QString kBusService = QStringLiteral("org.freedesktop.DBus");
const QString kBusPath = QStringLiteral("/org/freedesktop/DBus");
const QString kBusInterface = QStringLiteral("org.freedesktop.DBus");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

std::string errorText(const QString& name, const QString& message)
{
    return (name + QStringLiteral(": ") + message).toStdString();
}

[[noreturn]] void throwReplyError(const QDBusMessage& reply)
{
    throw KelboError(errorText(reply.errorName(), reply.errorMessage()));
}

QDBusMessage checked(const QDBusMessage& reply)
{
    if (reply.type() == QDBusMessage::ErrorMessage) {
        throwReplyError(reply);
    }
    if (reply.type() != QDBusMessage::ReplyMessage) {
        throw KelboError(errorText(QStringLiteral("org.freedesktop.DBus.Error.NoReply"),
                                   QStringLiteral("CARDOから応答がありません")));
    }
    return reply;
}

/** The first result of @p reply as int; a property read answers with a variant around it. */
int intResult(const QDBusMessage& reply, const QString& name)
{
    const QVariantList out = reply.arguments();
    if (out.isEmpty()) {
        throw KelboError(errorText(QStringLiteral("org.freedesktop.DBus.Error.InvalidSignature"),
                                   name + QStringLiteral(" の戻り値がありません")));
    }
    QVariant v = out.first();
    if (v.canConvert<QDBusVariant>() && v.userType() == qMetaTypeId<QDBusVariant>()) {
        v = v.value<QDBusVariant>().variant();
    }
    bool ok = false;
    const int value = v.toInt(&ok);
    if (!ok) {
        throw KelboError(errorText(QStringLiteral("org.freedesktop.DBus.Error.InvalidSignature"),
                                   name + QStringLiteral(" の戻り値が数値ではありません")));
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
        return fail(bus.lastError().isValid() ? bus.lastError().message()
                                              : QStringLiteral("セッションバスに接続できません"));
    }
    QDBusMessage start
        = QDBusMessage::createMethodCall(kBusService, kBusPath, kBusInterface, QStringLiteral("StartServiceByName"));
    start << service << 0u;
    const QDBusMessage started = bus.call(start, QDBus::Block, cardbus::kStartTimeoutMs);
    if (started.type() != QDBusMessage::ReplyMessage) {
        return fail(started.errorName() + QStringLiteral(": ") + started.errorMessage());
    }
    // Talk to that very instance from now on: should it go away, the calls fail instead of starting a new,
    // empty card program.
    QDBusMessage whose
        = QDBusMessage::createMethodCall(kBusService, kBusPath, kBusInterface, QStringLiteral("GetNameOwner"));
    whose << service;
    const QDBusMessage owner = bus.call(whose, QDBus::Block, cardbus::kCallTimeoutMs);
    if (owner.type() != QDBusMessage::ReplyMessage || owner.arguments().isEmpty()) {
        return fail(QStringLiteral("%1 を所有するプログラムがありません").arg(service));
    }
    return std::unique_ptr<DBusCardAutomation>(new DBusCardAutomation(bus, owner.arguments().first().toString()));
}

DBusCardAutomation::DBusCardAutomation(const QDBusConnection& bus, const QString& service)
    : m_bus(bus)
    , m_service(service)
{
}

DBusCardAutomation::~DBusCardAutomation() = default;

void DBusCardAutomation::call(const QString& name, const QVariantList& args)
{
    flush();
    QDBusMessage m = QDBusMessage::createMethodCall(m_service, cardbus::kPath, cardbus::kInterface, name);
    m.setArguments(args);
    checked(m_bus.call(m, QDBus::Block, cardbus::kCallTimeoutMs));
}

int DBusCardAutomation::get(const QString& name, const QVariantList& args)
{
    flush();
    QDBusMessage m;
    if (args.isEmpty()) {
        m = QDBusMessage::createMethodCall(m_service, cardbus::kPath, kProperties, QStringLiteral("Get"));
        m << cardbus::kInterface << name;
    } else {
        m = QDBusMessage::createMethodCall(m_service, cardbus::kPath, cardbus::kInterface, name);
        m.setArguments(args);
    }
    return intResult(checked(m_bus.call(m, QDBus::Block, cardbus::kCallTimeoutMs)), name);
}

void DBusCardAutomation::put(const QString& name, int value)
{
    flush();
    QDBusMessage m = QDBusMessage::createMethodCall(m_service, cardbus::kPath, kProperties, QStringLiteral("Set"));
    m << cardbus::kInterface << name << QVariant::fromValue(QDBusVariant(value));
    checked(m_bus.call(m, QDBus::Block, cardbus::kCallTimeoutMs));
}

void DBusCardAutomation::post(const QString& name, const QVariantList& args)
{
    // Settle what has already come back, then keep at most kPostWindow calls in flight.
    while (!m_posted.empty() && m_posted.front().isFinished()) {
        settleOldest();
    }
    while (m_posted.size() >= static_cast<std::size_t>(cardbus::kPostWindow)) {
        settleOldest();
    }
    QDBusMessage m = QDBusMessage::createMethodCall(m_service, cardbus::kPath, cardbus::kInterface, name);
    m.setArguments(args);
    m_posted.push_back(m_bus.asyncCall(m, cardbus::kCallTimeoutMs));
}

void DBusCardAutomation::flush()
{
    while (!m_posted.empty()) {
        settleOldest();
    }
}

void DBusCardAutomation::settleOldest()
{
    QDBusPendingCall oldest = m_posted.front();
    m_posted.pop_front();
    oldest.waitForFinished();
    if (oldest.isError()) {
        // The rest cannot be relied on once one call failed: drop them unanswered.
        m_posted.clear();
        const QDBusError e = oldest.error();
        throw KelboError(errorText(e.name(), e.message()));
    }
}

std::vector<int> DBusCardAutomation::getEach(const QString& name, int count)
{
    flush();
    // Keep a window of calls in flight and read their answers in order.
    std::vector<int> out;
    out.reserve(static_cast<std::size_t>(std::max(count, 0)));
    std::deque<QDBusPendingCall> inFlight;
    int next = 0;
    while (static_cast<int>(out.size()) < count) {
        while (next < count && inFlight.size() < static_cast<std::size_t>(cardbus::kPostWindow)) {
            QDBusMessage m = QDBusMessage::createMethodCall(m_service, cardbus::kPath, cardbus::kInterface, name);
            m << next++;
            inFlight.push_back(m_bus.asyncCall(m, cardbus::kCallTimeoutMs));
        }
        QDBusPendingCall oldest = inFlight.front();
        inFlight.pop_front();
        oldest.waitForFinished();
        if (oldest.isError()) {
            const QDBusError e = oldest.error();
            throw KelboError(errorText(e.name(), e.message()));
        }
        out.push_back(intResult(oldest.reply(), name));
    }
    return out;
}
