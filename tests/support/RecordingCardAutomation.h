#ifndef KELBO_TESTS_RECORDINGCARDAUTOMATION_H
#define KELBO_TESTS_RECORDINGCARDAUTOMATION_H

#include "cardlink/CardAutomation.h"
#include "common/KelboError.h"

#include <QStringList>
#include <functional>
#include <map>
#include <optional>
#include <vector>

/** @brief A card program for tests: records every operation as text and answers from a small model of the
 * card program (the lines held, which of them are printed, the print status). */
class RecordingCardAutomation : public CardAutomation
{
public:
    struct Line
    {
        QString text;
        int position = 0;
        bool printed = false;
    };

    /** Every operation in order: "call ShowWindow(5)", "put Modified=0", "get PrintStat", "post AddLogPos(...)". */
    QStringList log;
    std::vector<Line> lines;
    int printStat = 0;
    /** Operation text (as in log, up to the first '(' or '=') that fails, and after how many successful uses. */
    QString failOn;
    int failAfter = 0;
    QString failText = QStringLiteral("org.freedesktop.DBus.Error.NoReply: the card program is gone");
    /** Called when an operation fails, before the error is thrown (a card program leaving the bus). */
    std::function<void()> onFail;
    /** Answers GetLogCount in place of the model when set. */
    std::optional<int> logCount;
    /** Answers GetPrintedPos in place of the model when set. */
    std::function<int(int)> printedPos;

    /** Marks lines @p indexes printed and sets the print status to 2, as a person printing would. */
    void print(const std::vector<int>& indexes)
    {
        for (int i : indexes) {
            lines.at(static_cast<std::size_t>(i)).printed = true;
        }
        printStat = 2;
    }

    /** Operations of the log whose name is @p name (without arguments). */
    QStringList names() const
    {
        QStringList out;
        for (const QString& entry : log) {
            out << entry.section(QLatin1Char(' '), 1).section(QLatin1Char('('), 0, 0).section(QLatin1Char('='), 0, 0);
        }
        return out;
    }

    void call(const QString& name, const QVariantList& args = {}) override
    {
        record(QStringLiteral("call "), name, args);
        if (name == QLatin1String("DeleteLog")) {
            lines.clear();
        } else if (name == QLatin1String("AddLogPos")) {
            lines.push_back({args.value(0).toString(), args.value(1).toInt(), false});
        } else if (name == QLatin1String("DeletePrintedData")) {
            std::vector<Line> kept;
            for (const Line& l : lines) {
                if (!l.printed) {
                    kept.push_back(l);
                }
            }
            lines.swap(kept);
        }
    }
    int get(const QString& name, const QVariantList& args = {}) override
    {
        record(QStringLiteral("get "), name, args);
        if (name == QLatin1String("PrintStat")) {
            return printStat;
        }
        if (name == QLatin1String("GetLogCount")) {
            return logCount ? *logCount : static_cast<int>(lines.size());
        }
        if (name == QLatin1String("GetPrintedPos")) {
            const int i = args.value(0).toInt();
            if (printedPos) {
                return printedPos(i);
            }
            const Line& l = lines.at(static_cast<std::size_t>(i));
            return l.printed ? l.position : -1;
        }
        return 0;
    }
    void put(const QString& name, int value) override
    {
        log << QStringLiteral("put %1=%2").arg(name).arg(value);
        maybeFail(name);
        if (name == QLatin1String("PrintStat")) {
            printStat = value;
        }
    }
    bool gone() const override { return isGone; }

    /** Set by a test to play a card program that has left the bus. */
    bool isGone = false;

private:
    void record(const QString& kind, const QString& name, const QVariantList& args)
    {
        QStringList parts;
        for (const QVariant& a : args) {
            parts << a.toString();
        }
        log << kind + name + (args.isEmpty() ? QString() : QStringLiteral("(") + parts.join(QLatin1Char(',')) + ")");
        maybeFail(name);
    }
    void maybeFail(const QString& name)
    {
        if (!failOn.isEmpty() && name == failOn && m_uses[name]++ >= failAfter) {
            if (onFail) {
                onFail();
            }
            throw KelboError(failText.toStdString());
        }
    }
    std::map<QString, int> m_uses;
};

#endif
