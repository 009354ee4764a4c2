#ifndef KELBO_APP_TINFOBOXDLG_H
#define KELBO_APP_TINFOBOXDLG_H

#include <QDialog>

class QLabel;

/** @brief The progress box of the long operations: no title-bar buttons, one centred message. */
class TInfoBoxDlg : public QDialog
{
    Q_OBJECT
public:
    explicit TInfoBoxDlg(QWidget* owner);
    /** @brief Shows @p text (cut to 255 bytes of CP932), brings the box up on top and paints it at once. */
    void ShowMsg(const QString& text);
    QLabel* LMSG = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

#endif
