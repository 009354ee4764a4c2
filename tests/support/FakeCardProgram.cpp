// A card program for tests that misbehaves on purpose. It owns "CARDO.Application" on the session bus, keeps the
// lines handed over like the real one, and follows rules given on its command line:
//
//   kelbo-fakecard --log FILE [RULE ...]
//   RULE = OPERATION[#K]=ACTION      OPERATION: a method, a property read by its name, "Set.NAME" for a property
//                                    write, or "*" for every operation; #K: only its K-th call (1-based)
//   ACTION = refuse | delay:MS | hang | die | answer:TYPE:VALUE | answer:none
//   TYPE = y n q i u x t d s b      the D-Bus type of the answer (a property read wraps it in a variant)
//
// Every call received is appended to FILE ("Name(arg,arg)") before the rule acts, so a test can read what reached
// the program even after it hung or died. "FakePrint(s)" (comma-separated line indexes) prints lines as a person
// would.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QFile>
#include <QThread>
#include <cstdio>
#include <map>
#include <unistd.h>
#include <vector>

namespace {

const QString kPath = QStringLiteral("/CARDO/Application");
const QString kInterface = QStringLiteral("CARDO.Application");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

struct Rule
{
    QString operation;
    int nth = 0; // 0: every call
    QString action;
    QString type;
    QString value;
};

QVariant typed(const QString& type, const QString& value)
{
    static const std::map<QString, int> kinds = {
        {"y", QMetaType::UChar},   {"n", QMetaType::Short},    {"q", QMetaType::UShort},    {"i", QMetaType::Int},
        {"u", QMetaType::UInt},    {"x", QMetaType::LongLong}, {"t", QMetaType::ULongLong}, {"d", QMetaType::Double},
        {"s", QMetaType::QString}, {"b", QMetaType::Bool},
    };
    const auto it = kinds.find(type);
    if (it == kinds.end()) {
        std::fprintf(stderr, "kelbo-fakecard: unknown type %s\n", qPrintable(type));
        ::_exit(2);
    }
    QVariant v(value);
    if (type == QLatin1String("b")) {
        return QVariant(value == QLatin1String("true"));
    }
    if (type == QLatin1String("x")) {
        return QVariant(value.toLongLong());
    }
    if (type == QLatin1String("t")) {
        return QVariant(value.toULongLong());
    }
    v.convert(QMetaType(it->second));
    return v;
}

struct Line
{
    QString text;
    int position = 0;
    bool printed = false;
};

class FakeCard : public QDBusVirtualObject
{
public:
    FakeCard(std::vector<Rule> rules, const QString& logPath)
        : m_rules(std::move(rules))
        , m_log(logPath)
    {
        if (!m_log.open(QIODevice::WriteOnly | QIODevice::Append)) {
            std::fprintf(stderr, "kelbo-fakecard: cannot write %s\n", qPrintable(logPath));
            ::_exit(2);
        }
    }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& m, const QDBusConnection& bus) override
    {
        QString op = m.member();
        QVariantList args = m.arguments();
        bool property = false;
        if (m.interface() == kProperties) {
            property = true;
            op = (m.member() == QLatin1String("Set") ? QStringLiteral("Set.") : QString()) + args.value(1).toString();
        }
        QStringList shown;
        for (const QVariant& a : property ? args.mid(2) : args) {
            shown << (a.userType() == qMetaTypeId<QDBusVariant>() ? a.value<QDBusVariant>().variant().toString()
                                                                  : a.toString());
        }
        m_log.write((op + QLatin1Char('(') + shown.join(QLatin1Char(',')) + QStringLiteral(")\n")).toUtf8());
        m_log.flush();

        const int nth = ++m_seen[op];
        for (const Rule& r : m_rules) {
            if ((r.operation != op && r.operation != QLatin1String("*")) || (r.nth != 0 && r.nth != nth)) {
                continue;
            }
            if (r.action == QLatin1String("refuse")) {
                bus.send(m.createErrorReply(QStringLiteral("CARDO.Error.Refused"), op + QStringLiteral(" refused")));
                return true;
            }
            if (r.action == QLatin1String("die")) {
                ::_exit(3);
            }
            if (r.action == QLatin1String("hang")) {
                for (;;) {
                    ::pause();
                }
            }
            if (r.action == QLatin1String("delay")) {
                QThread::msleep(r.value.toULong());
                continue;
            }
            if (r.action == QLatin1String("answer")) {
                QVariantList out;
                if (r.type != QLatin1String("none")) {
                    const QVariant v = typed(r.type, r.value);
                    out << (property ? QVariant::fromValue(QDBusVariant(v)) : v);
                }
                bus.send(m.createReply(out));
                return true;
            }
        }
        answer(m, bus, op, property);
        return true;
    }

private:
    void answer(const QDBusMessage& m, const QDBusConnection& bus, const QString& op, bool property)
    {
        const QVariantList args = m.arguments();
        auto reply = [&](const QVariantList& out) { bus.send(m.createReply(out)); };
        auto value = [&](int v) { reply({property ? QVariant::fromValue(QDBusVariant(v)) : QVariant(v)}); };
        if (op == QLatin1String("AddLogPos") && m.signature() == QLatin1String("si")) {
            m_lines.push_back({args[0].toString(), args[1].toInt(), false});
            reply({});
        } else if (op == QLatin1String("DeleteLog")) {
            m_lines.clear();
            reply({});
        } else if (op == QLatin1String("DeletePrintedData")) {
            std::vector<Line> kept;
            for (const Line& l : m_lines) {
                if (!l.printed) {
                    kept.push_back(l);
                }
            }
            m_lines.swap(kept);
            reply({});
        } else if (op == QLatin1String("GetPrintedPos") && m.signature() == QLatin1String("i")) {
            const int i = args[0].toInt();
            if (i < 0 || i >= static_cast<int>(m_lines.size())) {
                bus.send(m.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                                            QStringLiteral("no line %1").arg(i)));
                return;
            }
            const Line& l = m_lines[static_cast<std::size_t>(i)];
            value(l.printed ? l.position : -1);
        } else if (op == QLatin1String("GetLogCount")) {
            value(static_cast<int>(m_lines.size()));
        } else if (op == QLatin1String("PrintStat")) {
            value(m_printStat);
        } else if (op == QLatin1String("Set.PrintStat")) {
            m_printStat = args.value(2).value<QDBusVariant>().variant().toInt();
            reply({});
        } else if (op == QLatin1String("FakePrint")) {
            for (const QString& index : args.value(0).toString().split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                const auto i = static_cast<std::size_t>(index.toInt());
                if (i < m_lines.size()) {
                    m_lines[i].printed = true;
                }
            }
            m_printStat = 2;
            reply({});
        } else if (op.startsWith(QLatin1String("Set.")) || op == QLatin1String("ShowWindow")
                   || op == QLatin1String("NewDoc") || op == QLatin1String("SetPrintMax")
                   || op == QLatin1String("Foreground") || op == QLatin1String("DoLogList")) {
            reply({});
        } else {
            bus.send(m.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                                        QStringLiteral("no operation %1(%2)").arg(op, m.signature())));
        }
    }

    std::vector<Rule> m_rules;
    QFile m_log;
    std::map<QString, int> m_seen;
    std::vector<Line> m_lines;
    int m_printStat = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    QString logPath;
    std::vector<Rule> rules;
    for (int i = 1; i < a.size(); ++i) {
        if (a[i] == QLatin1String("--log") && i + 1 < a.size()) {
            logPath = a[++i];
            continue;
        }
        // OPERATION[#K]=ACTION[:TYPE[:VALUE]] (delay:MS puts the time in TYPE's place)
        Rule r;
        const QString head = a[i].section(QLatin1Char('='), 0, 0);
        const QString action = a[i].section(QLatin1Char('='), 1);
        r.operation = head.section(QLatin1Char('#'), 0, 0);
        r.nth = head.contains(QLatin1Char('#')) ? head.section(QLatin1Char('#'), 1).toInt() : 0;
        r.action = action.section(QLatin1Char(':'), 0, 0);
        if (r.action == QLatin1String("delay")) {
            r.value = action.section(QLatin1Char(':'), 1);
        } else {
            r.type = action.section(QLatin1Char(':'), 1, 1);
            r.value = action.section(QLatin1Char(':'), 2);
        }
        rules.push_back(r);
    }
    if (logPath.isEmpty()) {
        std::fprintf(stderr, "usage: kelbo-fakecard --log FILE [OPERATION[#K]=ACTION ...]\n");
        return 2;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    FakeCard card(rules, logPath);
    if (!bus.registerVirtualObject(kPath, &card) || !bus.registerService(QStringLiteral("CARDO.Application"))) {
        std::fprintf(stderr, "kelbo-fakecard: cannot own CARDO.Application: %s\n",
                     qPrintable(bus.lastError().message()));
        return 1;
    }
    return app.exec();
}
