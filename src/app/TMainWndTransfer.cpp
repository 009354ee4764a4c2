#include "app/CWaitCursor.h"
#include "app/TInfoBoxDlg.h"
#include "app/TMainWnd.h"
#include "app/UserDialogs.h"
#include "cardlink/CardLink.h"
#include "common/Cp932.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTimer>
#include <vector>

namespace {

/** The main window's face of the card link: its message boxes, progress box, wait pointer and timer. */
class WindowCardUi : public CardLinkUi
{
public:
    explicit WindowCardUi(TMainWnd& window)
        : m_window(window)
    {
    }

    Answer YesNoBox(const QString& text) override { return dialogs().YesNoBox(&m_window, text); }
    Answer YesNoCancelBox(const QString& text) override { return dialogs().YesNoCancelBox(&m_window, text); }
    void ErrorBox(const QString& text) override { dialogs().ErrorBox(&m_window, text); }
    void WarningBox(const QString& text) override { dialogs().WarningBox(&m_window, text); }
    void ShowError(const QString& text) override { dialogs().ShowError(&m_window, text); }
    void showProgress(const QString& text) override
    {
        m_progress = std::make_unique<TInfoBoxDlg>(&m_window);
        m_progress->ShowMsg(text);
    }
    void closeProgress() override { m_progress.reset(); }
    void marksWritten(const std::vector<SendMarkUndo::Mark>& marks) override { m_window.SendMarksWritten(marks); }
    void progressStep(long done, long total) override
    {
        if (m_progress) {
            m_progress->ShowProgress(done, total);
        }
    }
    void beginWait() override { m_waits.push_back(std::make_unique<CWaitCursor>()); }
    void endWait() override
    {
        if (!m_waits.empty()) {
            m_waits.pop_back();
        }
    }
    void startPollTimer() override { m_window.Timer->start(); }

private:
    TMainWnd& m_window;
    std::unique_ptr<TInfoBoxDlg> m_progress;
    std::vector<std::unique_ptr<CWaitCursor>> m_waits;
};

} // namespace

namespace {

/** Counts a handler of the link for its scope. */
class RunningScope
{
public:
    explicit RunningScope(int& running)
        : m_running(running)
    {
        ++m_running;
    }
    ~RunningScope() { --m_running; }
    RunningScope(const RunningScope&) = delete;
    RunningScope& operator=(const RunningScope&) = delete;

private:
    int& m_running;
};

/** Runs @p step of the card link with the window's current state and options. An error is shown here, while the
 * handler still counts as running, so that no tick of the poll lands on top of the error box. */
template <typename Result, typename Step> Result withContext(TMainWnd& w, Result onError, Step&& step)
{
    const RunningScope running(w.m_linkRunning);
    WindowCardUi ui(w);
    CardLinkContext ctx{w.table(),
                        w.convDefTable(),
                        w.SendFieldIndex,
                        w.AllSend->isChecked(),
                        w.CBUTC->isChecked(),
                        w.SendMarkBytes(),
                        w.PrintPhase,
                        ui};
    try {
        return step(ctx);
    } catch (const std::exception& e) {
        ui.ShowError(QString::fromUtf8(e.what()));
    }
    return onError;
}

} // namespace

namespace {

const QString kNoCallOrDate
    = QStringLiteral("変換定義にコールサイン(CALL)か日付の変換式がないため, CARDOに転送できません.\r\n\r\n"
                     "「変換定義」で, コールサインのフィールドに「CALL」を, 日付のフィールドに日付の形 (YYMMDD など) を"
                     "設定してください. 「推測」ボタンで自動設定もできます.");

} // namespace

void TMainWnd::CARDOBtnClick()
{
    // The table handed over is the one the boxes name: a folder or file changed since the connect connects first.
    if (m_table->IsOpen() && !BoxesNameOpenTable()) {
        ConBtnClick();
        if (!m_table->IsOpen()) {
            return;
        }
    }
    if (m_table->IsOpen()
        && (!DefinesCall(m_convDef, m_table->FieldCount()) || !DefinesDate(m_convDef, m_table->FieldCount()))) {
        dialogs().ErrorBox(this, kNoCallOrDate);
        return;
    }
    withContext(*this, true, [this](CardLinkContext& ctx) {
        m_link->TransferRecords(ctx);
        return true;
    });
}

void TMainWnd::TimerTimer()
{
    // No tick while a box of ours is open or a call to the card program waits.
    if (m_linkRunning > 0 || m_link->busy() || QApplication::activeModalWidget()) {
        return;
    }
    withContext(*this, true, [this](CardLinkContext& ctx) {
        m_link->TimerTimer(ctx);
        return true;
    });
}

bool TMainWnd::CloseSendMarks()
{
    if (m_linkRunning > 0) {
        // Closing from inside a running handler (a box of ours is open): that handler ends first.
        return false;
    }
    return withContext(*this, false, [this](CardLinkContext& ctx) { return m_link->CloseSendMarks(ctx); });
}
