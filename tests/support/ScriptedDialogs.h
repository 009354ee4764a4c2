#ifndef KELBO_TESTS_SCRIPTEDDIALOGS_H
#define KELBO_TESTS_SCRIPTEDDIALOGS_H

#include "app/UserDialogs.h"

#include <QStringList>
#include <deque>
#include <functional>
#include <stdexcept>

/** Answers message boxes and file dialogs in order and records what was asked. Installed for its lifetime. */
class ScriptedDialogs : public UserDialogs
{
public:
    struct Asked
    {
        QString kind; // "ErrorBox", "WarningBox", "InfoBox", "YesNoBox", "YesNoCancelBox", "ShowError", "Open", "Save"
        QString text; // message, or the dialog's title
        FileDialogSpec request;
    };

    ScriptedDialogs() { setDialogs(this); }
    ~ScriptedDialogs() override { setDialogs(nullptr); }

    void answer(Answer a) { m_answers.push_back(a); }
    void fileName(const QString& f) { m_files.push_back(f); }

    std::vector<Asked> asked;
    /** Called while each box is open (after it was recorded): what happens meanwhile, a timer's tick say. */
    std::function<void(const Asked&)> whileOpen;

    Answer ErrorBox(QWidget*, const QString& t) override { return record("ErrorBox", t, Answer::Ok); }
    Answer WarningBox(QWidget*, const QString& t) override { return record("WarningBox", t, Answer::Ok); }
    Answer InfoBox(QWidget*, const QString& t) override { return record("InfoBox", t, Answer::Ok); }
    Answer YesNoBox(QWidget*, const QString& t) override { return record("YesNoBox", t, Answer::Yes); }
    Answer YesNoCancelBox(QWidget*, const QString& t) override { return record("YesNoCancelBox", t, Answer::Yes); }
    void ShowError(QWidget*, const QString& t) override
    {
        asked.push_back({"ShowError", t, {}});
        opened();
    }
    QString OpenFileName(QWidget*, const FileDialogSpec& s) override { return file("Open", s); }
    QString SaveFileName(QWidget*, const FileDialogSpec& s) override { return file("Save", s); }

    /** Texts of every box of @p kind asked so far. */
    QStringList texts(const QString& kind) const
    {
        QStringList out;
        for (const auto& a : asked) {
            if (a.kind == kind) {
                out << a.text;
            }
        }
        return out;
    }

private:
    void opened()
    {
        if (whileOpen) {
            const Asked a = asked.back();
            whileOpen(a);
        }
    }
    Answer record(const char* kind, const QString& text, Answer fallback)
    {
        asked.push_back({QString::fromLatin1(kind), text, {}});
        opened();
        if (m_answers.empty()) {
            return fallback;
        }
        const Answer a = m_answers.front();
        m_answers.pop_front();
        return a;
    }
    QString file(const char* kind, const FileDialogSpec& s)
    {
        asked.push_back({QString::fromLatin1(kind), s.title, s});
        if (m_files.empty()) {
            return QString();
        }
        QString f = m_files.front();
        m_files.pop_front();
        return f;
    }
    std::deque<Answer> m_answers;
    std::deque<QString> m_files;
};

#endif
