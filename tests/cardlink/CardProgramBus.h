#ifndef KELBO_TESTS_CARDLINK_CARDPROGRAMBUS_H
#define KELBO_TESTS_CARDLINK_CARDPROGRAMBUS_H

// Helpers for tests that run on the private session bus with the card program.

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <sys/types.h>

namespace cardbus {

inline QDBusMessage busCall(const QString& method, const QVariantList& args,
                            const QDBusConnection& bus = QDBusConnection::sessionBus())
{
    QDBusMessage m = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                    QStringLiteral("/org/freedesktop/DBus"),
                                                    QStringLiteral("org.freedesktop.DBus"), method);
    m.setArguments(args);
    return bus.call(m, QDBus::Block, 10000);
}

/** Process id of the running card program, 0 when none owns the name. */
inline uint pid()
{
    const QDBusMessage r = busCall(QStringLiteral("GetConnectionUnixProcessID"), {QStringLiteral("CARDO.Application")});
    return r.type() == QDBusMessage::ReplyMessage ? r.arguments().value(0).toUInt() : 0;
}

/** Kills a running card program and waits until its name is free, so that the next use starts a fresh one. */
inline void stop()
{
    const uint p = pid();
    if (p == 0) {
        return;
    }
    ::kill(static_cast<pid_t>(p), SIGKILL);
    QElapsedTimer t;
    t.start();
    while (pid() != 0 && t.elapsed() < 10000) {
        QThread::msleep(20);
    }
}

/** Environment of the card program the bus starts next. */
inline void setEnvironment(const QMap<QString, QString>& env)
{
    // a{ss}: the bus insists on string values.
    QDBusMessage m = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("UpdateActivationEnvironment"));
    qDBusRegisterMetaType<QMap<QString, QString>>();
    m << QVariant::fromValue(env);
    const QDBusMessage r = QDBusConnection::sessionBus().call(m, QDBus::Block, 10000);
    ASSERT_EQ(r.type(), QDBusMessage::ReplyMessage) << r.errorMessage().toStdString();
}

/** The folder the card program prints into during this test run (set once per process); its settings file is
 * kept in the subfolder "config/KELBO", never in the user's own. */
inline QString pdfFolder()
{
    static QTemporaryDir dir;
    static bool set = false;
    if (!set) {
        set = true;
        setEnvironment({{QStringLiteral("KELBO_CARDPRINTER_PDF_DIR"), dir.path()},
                        {QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config"))},
                        {QStringLiteral("KELBO_CARDPRINTER_EXIT_AFTER_LINES"), QString()}});
        // The card program prints nothing without the operator's own call sign.
        QDir().mkpath(dir.filePath(QStringLiteral("config/KELBO")));
        QFile ini(dir.filePath(QStringLiteral("config/KELBO/kelbo-cardprinter.ini")));
        if (ini.open(QIODevice::WriteOnly)) {
            ini.write("[Station]\nCall=JA1KEL\n[Card]\nNextNumber=1\n");
        }
    }
    return dir.path();
}

/** A method call on the card program's object. */
inline QDBusMessage call(const QString& method, const QVariantList& args = {})
{
    QDBusMessage m
        = QDBusMessage::createMethodCall(QStringLiteral("CARDO.Application"), QStringLiteral("/CARDO/Application"),
                                         QStringLiteral("CARDO.Application"), method);
    m.setArguments(args);
    return QDBusConnection::sessionBus().call(m, QDBus::Block, 60000);
}

/** Prints lines @p indexes as a person would; the PDF's path ("" on failure). */
inline QString printLines(const QList<int>& indexes)
{
    const QDBusMessage r = call(QStringLiteral("PrintLines"), {QVariant::fromValue(indexes)});
    EXPECT_EQ(r.type(), QDBusMessage::ReplyMessage) << r.errorMessage().toStdString();
    return r.arguments().value(0).toString();
}

/** Pages of a PDF as Qt writes it: one "/Type /Page" object each. */
inline int pdfPages(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray pdf = f.readAll();
    int pages = 0;
    for (qsizetype at = pdf.indexOf("/Type /Page"); at >= 0; at = pdf.indexOf("/Type /Page", at + 1)) {
        if (pdf.mid(at + 11, 1) != "s") {
            ++pages;
        }
    }
    return pages;
}

/** A bus of its own: without any service folder (nothing can be started), or with the tests' one under the plain
 * limit of 128 pending replies per connection. */
class OwnBus
{
public:
    explicit OwnBus(bool withServices, const QString& name = QStringLiteral("own"))
    {
        const QString servicedir = withServices
            ? QStringLiteral("<servicedir>" KELBO_BINARY_DIR "/tests/dbus/services</servicedir>")
            : QString();
        QFile conf(m_dir.filePath(QStringLiteral("bus.conf")));
        if (!conf.open(QIODevice::WriteOnly)) {
            return;
        }
        conf.write(
            QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
                           "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                           "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>"
                           "<auth>EXTERNAL</auth>%1"
                           "<policy context=\"default\"><allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
                           "<allow own=\"*\"/>"
                           "</policy><limit name=\"max_replies_per_connection\">128</limit></busconfig>\n")
                .arg(servicedir)
                .toUtf8());
        conf.close();
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--config-file=") + conf.fileName(), QStringLiteral("--nofork"),
                        QStringLiteral("--print-address")});
        if (!m_daemon.waitForReadyRead(10000)) {
            return;
        }
        address = QString::fromUtf8(m_daemon.readLine().trimmed());
        m_name = name;
        connection = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, name));
    }
    ~OwnBus()
    {
        // The connection stays registered until the process ends: dropping a connection to a bus that Qt
        // opened by address aborts in libdbus.
        connection.reset();
        m_daemon.terminate();
        m_daemon.waitForFinished(5000);
    }
    OwnBus(const OwnBus&) = delete;
    OwnBus& operator=(const OwnBus&) = delete;

    QString address;
    std::unique_ptr<QDBusConnection> connection;

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_name;
};

} // namespace cardbus

#endif
