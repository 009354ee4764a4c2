#ifndef KELBO_TESTS_CARDPRINTER_PRIVATECUPS_H
#define KELBO_TESTS_CARDPRINTER_PRIVATECUPS_H

// The system's own print scheduler (cupsd) on a private socket with queues of the test's own: one whose backend
// copies each job into a folder (the job completes), one whose backend fails (the job is aborted). Nothing of the
// machine's own printing is touched: configuration, spool, logs and backends all live in a temporary folder.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <cups/cups.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace cardtest {

class PrivateCups
{
public:
    /** Starts cupsd; check ok() (false where the scheduler cannot run here, with why() saying so). */
    PrivateCups()
    {
        if (!QFileInfo::exists(QStringLiteral("/usr/sbin/cupsd"))) {
            m_why = QStringLiteral("no /usr/sbin/cupsd");
            return;
        }
        if (::geteuid() != 0) {
            m_why = QStringLiteral("cupsd needs root to run its backends as lp");
            return;
        }
        // cupsd runs its backends as the user lp: the folders they write into are open to it.
        m_dir.setAutoRemove(true);
        const QString d = m_dir.path();
        QFile::setPermissions(d,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                  | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
                                  | QFileDevice::ExeOther);
        for (const char* sub : {"spool", "tmp", "cache", "state", "log", "bin/backend", "out/slow"}) {
            QDir().mkpath(d + QLatin1Char('/') + QLatin1String(sub));
        }
        for (const QString& open : {out(), out() + QStringLiteral("/slow")}) {
            QFile::setPermissions(open,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                      | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther
                                      | QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup);
        }
        for (const char* sub : {"filter", "cgi-bin", "daemon", "notifier", "monitor", "driver"}) {
            QFile::link(QStringLiteral("/usr/lib/cups/") + QLatin1String(sub),
                        d + QStringLiteral("/bin/") + QLatin1String(sub));
        }
        write(d + QStringLiteral("/bin/backend/kelbotest"),
              "#!/bin/sh\n"
              "# Lists itself without arguments; else copies the job into the folder its device names, or fails.\n"
              "if [ $# -eq 0 ]; then echo 'file kelbotest \"Unknown\" \"KELBO test backend\"'; exit 0; fi\n"
              "dest=\"${DEVICE_URI#kelbotest:}\"\n"
              "case \"$dest\" in *broken*) echo 'ERROR: the test printer is broken' >&2; exit 1;; esac\n"
              "case \"$dest\" in *slow*) sleep 3;; esac\n"
              "if [ -n \"$6\" ]; then cat \"$6\" > \"$dest/job-$1.pdf\"; else cat > \"$dest/job-$1.pdf\"; fi\n"
              "exit 0\n");
        QFile::setPermissions(d + QStringLiteral("/bin/backend/kelbotest"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                  | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
                                  | QFileDevice::ExeOther);
        m_socket = d + QStringLiteral("/cups.sock");
        write(d + QStringLiteral("/cupsd.conf"),
              QStringLiteral("Listen %1\nLogLevel info\nWebInterface No\nBrowsing No\nPreserveJobHistory Yes\n"
                             "<Location />\n  Allow all\n</Location>\n<Location /admin>\n  Allow all\n</Location>\n"
                             "<Policy default>\n  <Limit All>\n    Order allow,deny\n    Allow all\n  </Limit>\n"
                             "</Policy>\n")
                  .arg(m_socket)
                  .toUtf8());
        write(d + QStringLiteral("/cups-files.conf"),
              QStringLiteral("ServerRoot %1\nRequestRoot %1/spool\nTempDir %1/tmp\nCacheDir %1/cache\n"
                             "StateDir %1/state\nAccessLog %1/log/access_log\nErrorLog %1/log/error_log\n"
                             "PageLog %1/log/page_log\nServerBin %1/bin\nDataDir /usr/share/cups\nFileDevice Yes\n"
                             "Group lp\n")
                  .arg(d)
                  .toUtf8());
        m_cupsd.setProcessChannelMode(QProcess::MergedChannels);
        // A test that dies takes its scheduler with it.
        m_cupsd.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_cupsd.start(QStringLiteral("/usr/sbin/cupsd"),
                      {QStringLiteral("-f"), QStringLiteral("-c"), d + QStringLiteral("/cupsd.conf"),
                       QStringLiteral("-s"), d + QStringLiteral("/cups-files.conf")});
        QElapsedTimer t;
        t.start();
        while (!QFileInfo::exists(m_socket) && t.elapsed() < 10000 && m_cupsd.state() != QProcess::NotRunning) {
            QThread::msleep(50);
        }
        if (!QFileInfo::exists(m_socket)) {
            m_cupsd.waitForFinished(100);
            m_why = QStringLiteral("cupsd did not start: ") + QString::fromUtf8(m_cupsd.readAll());
            return;
        }
        qputenv("CUPS_SERVER", m_socket.toUtf8());
        cupsSetServer(m_socket.toUtf8().constData());
        m_ok = admin(QStringLiteral("lpadmin"),
                     {QStringLiteral("-p"), QStringLiteral("cards"), QStringLiteral("-E"), QStringLiteral("-v"),
                      QStringLiteral("kelbotest:") + out()})
            && admin(QStringLiteral("lpadmin"),
                     {QStringLiteral("-p"), QStringLiteral("broken"), QStringLiteral("-E"), QStringLiteral("-v"),
                      QStringLiteral("kelbotest:") + d + QStringLiteral("/broken"), QStringLiteral("-o"),
                      QStringLiteral("printer-error-policy=abort-job")})
            && admin(QStringLiteral("lpadmin"),
                     {QStringLiteral("-p"), QStringLiteral("slow"), QStringLiteral("-E"), QStringLiteral("-v"),
                      QStringLiteral("kelbotest:") + out() + QStringLiteral("/slow")})
            // A printer driver that knows A4, letter and the like but no 100 x 148 mm paper (from cups-filters).
            && admin(QStringLiteral("lpadmin"),
                     {QStringLiteral("-p"), QStringLiteral("a4only"), QStringLiteral("-E"), QStringLiteral("-v"),
                      QStringLiteral("kelbotest:") + out(), QStringLiteral("-P"),
                      QStringLiteral("/usr/share/ppd/cupsfilters/pxlmono.ppd")});
    }

    ~PrivateCups()
    {
        if (m_cupsd.state() != QProcess::NotRunning) {
            m_cupsd.terminate();
            if (!m_cupsd.waitForFinished(5000)) {
                m_cupsd.kill();
                m_cupsd.waitForFinished(2000);
            }
        }
    }

    bool ok() const { return m_ok; }
    QString why() const { return m_why; }
    QString socket() const { return m_socket; }
    /** Where the working queue "cards" puts each job it printed ("job-<id>.pdf"); "slow" prints into its
     * subfolder "slow" after three seconds. */
    QString out() const { return m_dir.filePath(QStringLiteral("out")); }
    QStringList printed() const { return QDir(out()).entryList({QStringLiteral("job-*.pdf")}, QDir::Files); }

    /** Runs a CUPS admin command (lpadmin, cupsreject, cupsdisable, ...) against this scheduler. */
    bool admin(const QString& program, const QStringList& args)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(program, args);
        const bool done = p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (!done) {
            m_why = program + QLatin1Char(' ') + args.join(QLatin1Char(' ')) + QStringLiteral(": ")
                + QString::fromUtf8(p.readAll());
        }
        return done;
    }

private:
    static void write(const QString& path, const QByteArray& text)
    {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            f.write(text);
        }
    }

    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/kelbo-cups-XXXXXX")};
    QProcess m_cupsd;
    QString m_socket;
    QString m_why;
    bool m_ok = false;
};

} // namespace cardtest

#endif
