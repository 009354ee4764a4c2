#ifndef KELBO_TESTS_FAKECARD_H
#define KELBO_TESTS_FAKECARD_H

// The misbehaving card program (kelbo-fakecard) from a test on the private session bus: started with its rules,
// owning "CARDO.Application" until the object goes away.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

class FakeCard
{
public:
    /** Starts the fake with @p rules (see FakeCardProgram.cpp) and waits until it owns the card program's name; on
     * the session bus, or on the bus at @p address reached through @p bus. */
    explicit FakeCard(const QStringList& rules, const QDBusConnection& bus = QDBusConnection::sessionBus(),
                      const QString& address = QString())
        : m_bus(bus)
    {
        if (!address.isEmpty()) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
            m_process.setProcessEnvironment(env);
        }
        m_log = m_dir.filePath(QStringLiteral("calls.log"));
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(KELBO_FAKECARD), QStringList{QStringLiteral("--log"), m_log} + rules);
        QElapsedTimer t;
        t.start();
        while (!owned() && t.elapsed() < 10000 && m_process.state() != QProcess::NotRunning) {
            QThread::msleep(10);
        }
        EXPECT_TRUE(owned()) << "the fake card program did not start";
    }
    ~FakeCard()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
        QElapsedTimer t;
        t.start();
        while (hasOwner() && t.elapsed() < 10000) {
            QThread::msleep(10);
        }
    }
    FakeCard(const FakeCard&) = delete;
    FakeCard& operator=(const FakeCard&) = delete;

    /** Every call the fake received, in order: "Name(arg,arg)". */
    QStringList calls() const
    {
        QFile f(m_log);
        if (!f.open(QIODevice::ReadOnly)) {
            return {};
        }
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    /** The calls of operation @p name. */
    QStringList callsOf(const QString& name) const { return calls().filter(QRegularExpression("^" + name + "\\(")); }

    /** Prints lines @p indexes as a person would (print status 2). */
    void print(const QList<int>& indexes)
    {
        QStringList list;
        for (int i : indexes) {
            list << QString::number(i);
        }
        QDBusMessage m
            = QDBusMessage::createMethodCall(QStringLiteral("CARDO.Application"), QStringLiteral("/CARDO/Application"),
                                             QStringLiteral("CARDO.Application"), QStringLiteral("FakePrint"));
        m << list.join(QLatin1Char(','));
        const QDBusMessage r = m_bus.call(m, QDBus::Block, 10000);
        EXPECT_EQ(r.type(), QDBusMessage::ReplyMessage) << r.errorMessage().toStdString();
    }

    bool running() const { return m_process.state() == QProcess::Running; }

private:
    QDBusMessage bus(const QString& method, const QString& name) const
    {
        QDBusMessage m = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                        QStringLiteral("/org/freedesktop/DBus"),
                                                        QStringLiteral("org.freedesktop.DBus"), method);
        m << name;
        return m_bus.call(m, QDBus::Block, 10000);
    }
    bool hasOwner() const
    {
        return bus(QStringLiteral("NameHasOwner"), QStringLiteral("CARDO.Application")).arguments().value(0).toBool();
    }
    bool owned() const
    {
        const QDBusMessage r = bus(QStringLiteral("GetConnectionUnixProcessID"), QStringLiteral("CARDO.Application"));
        return r.type() == QDBusMessage::ReplyMessage && r.arguments().value(0).toLongLong() == m_process.processId();
    }

    QDBusConnection m_bus;
    QTemporaryDir m_dir;
    QString m_log;
    QProcess m_process;
};

#endif
