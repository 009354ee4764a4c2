#ifndef KELBO_APP_TINFOBOXDLG_H
#define KELBO_APP_TINFOBOXDLG_H

#include <QDialog>
#include <QElapsedTimer>

class QLabel;
class QProgressBar;

/** @brief The progress box of the long operations: a title bar without buttons (drawn by the box itself), one
 * centred message and, once the work reports it, how far it is. */
class TInfoBoxDlg : public QDialog
{
    Q_OBJECT
public:
    explicit TInfoBoxDlg(QWidget* owner);
    /** @brief Shows @p text (cut to 255 bytes of CP932), brings the box up on top and paints it at once, also
     * under a window manager that maps the window only after a round trip. */
    void ShowMsg(const QString& text);
    /** @brief Shows "done / total" with a bar; painted at once, at most every few tens of milliseconds and
     * always for the last step, so a long loop that handles no events still shows it moving. */
    void ShowProgress(long done, long total);

    /** @brief The box's own title bar, "KELBO" (it has no window-manager frame, so no buttons either). */
    QLabel* TitleBar = nullptr;
    QLabel* LMSG = nullptr;
    QProgressBar* Progress = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QElapsedTimer m_sincePaint;
};

#endif
