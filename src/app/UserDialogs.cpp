#include "app/UserDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace {

QWidget* ownerOr(QWidget* owner)
{
    if (owner) {
        return owner;
    }
    if (QWidget* w = QApplication::activeWindow()) {
        return w;
    }
    return nullptr;
}

Answer toAnswer(QMessageBox::StandardButton b)
{
    switch (b) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    default:
        return Answer::Ok;
    }
}

Answer box(QWidget* owner, QMessageBox::Icon icon, const QString& title, const QString& text,
           QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    QWidget* parent = ownerOr(owner);
    QMessageBox mb(icon, title, text, buttons, parent);
    mb.setDefaultButton(defaultButton);
    if (!parent) {
        mb.setWindowModality(Qt::ApplicationModal);
    }
    mb.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    mb.raise();
    mb.activateWindow();
    return toAnswer(static_cast<QMessageBox::StandardButton>(mb.exec()));
}

QString runFileDialog(QWidget* owner, const FileDialogSpec& request, QFileDialog::AcceptMode mode)
{
    QFileDialog dlg(ownerOr(owner), request.title, request.startDir, request.filter);
    dlg.setAcceptMode(mode);
    dlg.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dlg.setDefaultSuffix(request.defaultExt);
    dlg.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    if (!request.fileName.isEmpty()) {
        dlg.selectFile(request.fileName);
    }
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) {
        return QString();
    }
    return dlg.selectedFiles().first();
}

class QtDialogs : public UserDialogs
{
public:
    Answer ErrorBox(QWidget* owner, const QString& text) override
    {
        return box(owner, QMessageBox::Critical, QStringLiteral("ｴﾗｰ"), text, QMessageBox::Ok, QMessageBox::Ok);
    }
    Answer WarningBox(QWidget* owner, const QString& text) override
    {
        return box(owner, QMessageBox::Warning, QStringLiteral("警告"), text, QMessageBox::Ok, QMessageBox::Ok);
    }
    Answer InfoBox(QWidget* owner, const QString& text) override
    {
        return box(owner, QMessageBox::Information, QStringLiteral("KELBO"), text, QMessageBox::Ok, QMessageBox::Ok);
    }
    Answer YesNoBox(QWidget* owner, const QString& text) override
    {
        return box(owner, QMessageBox::Question, QStringLiteral("KELBO"), text, QMessageBox::Yes | QMessageBox::No,
                   QMessageBox::Yes);
    }
    Answer YesNoCancelBox(QWidget* owner, const QString& text) override
    {
        return box(owner, QMessageBox::Question, QStringLiteral("KELBO"), text,
                   QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    }
    void ShowError(QWidget* owner, const QString& text) override
    {
        box(owner, QMessageBox::Critical, QStringLiteral("KELBO"), text, QMessageBox::Ok, QMessageBox::Ok);
    }
    QString OpenFileName(QWidget* owner, const FileDialogSpec& request) override
    {
        return runFileDialog(owner, request, QFileDialog::AcceptOpen);
    }
    QString SaveFileName(QWidget* owner, const FileDialogSpec& request) override
    {
        return runFileDialog(owner, request, QFileDialog::AcceptSave);
    }
};

QtDialogs g_qtDialogs;
UserDialogs* g_dialogs = nullptr;

} // namespace

UserDialogs& dialogs()
{
    return g_dialogs ? *g_dialogs : g_qtDialogs;
}

void setDialogs(UserDialogs* d)
{
    g_dialogs = d;
}

bool showHandlerError(QWidget* owner, const char* what)
{
    dialogs().ShowError(owner, QString::fromUtf8(what));
    return false;
}
