// "ADIF書き出し...": the contacts of the open log as an ADIF file for a logging program or a confirmation service.
#include "app/CWaitCursor.h"
#include "app/TInfoBoxDlg.h"
#include "app/TMainWnd.h"
#include "app/UserDialogs.h"
#include "common/Cp932.h"
#include "export/AdifExport.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QStatusBar>

#include <algorithm>
#include <memory>

namespace {

// The file name offered: the log's own name with ".adi", or with "-export.adi" where that name (in any letter case)
// is taken already, such as by the ADIF log itself, so that a quick Enter never overwrites another log.
QString proposedName(const QString& logPath)
{
    const QFileInfo log(logPath);
    const QString plain = log.completeBaseName() + QStringLiteral(".adi");
    const QStringList taken = log.absoluteDir().entryList(QDir::Files | QDir::Hidden);
    const bool clash = std::any_of(taken.begin(), taken.end(), [&](const QString& name) {
        return name.compare(plain, Qt::CaseInsensitive) == 0
            || name.compare(log.completeBaseName() + QStringLiteral(".adif"), Qt::CaseInsensitive) == 0;
    });
    return clash ? log.completeBaseName() + QStringLiteral("-export.adi") : plain;
}

} // namespace

void TMainWnd::AdifExportBtnClick()
{
    if (!m_table->IsOpen()) {
        dialogs().WarningBox(this, QStringLiteral("書き出すログを先に「接続」で開いてください."));
        return;
    }
    const QString logPath = QString::fromStdString(m_table->FilePath());
    FileDialogSpec request;
    request.title = QStringLiteral("ADIF書き出し");
    request.filter = QStringLiteral("ADIF ファイル(*.adi)");
    request.fileName = proposedName(logPath);
    request.defaultExt = QStringLiteral("adi");
    request.startDir = QFileInfo(logPath).absolutePath();
    const QString path = dialogs().SaveFileName(this, request);
    if (path.isEmpty()) {
        return;
    }

    adifexport::Options options;
    options.allSend = AllSend->isChecked();
    options.utcToJst = CBUTC->isChecked();
    options.programVersion = KELBO_VERSION;
    options.stationCall = adifexport::CardProgramStationCall();

    adifexport::Summary summary;
    {
        // The walk moves the table: the grid keeps its record and follows again afterwards.
        const long position = m_table->RecNo();
        m_table->DetachGrid();
        struct Reattach
        {
            LogTable& table;
            long position;
            ~Reattach()
            {
                try {
                    table.MoveTo(position);
                } catch (...) {
                }
                table.AttachGrid();
            }
        } reattach{*m_table, position};
        CWaitCursor wait;
        auto progress = std::make_unique<TInfoBoxDlg>(this);
        progress->ShowMsg(QStringLiteral("ADIFに書き出しています..."));
        summary = adifexport::ExportAdifFile(*m_table, m_convDef, options, path.toStdString(),
                                             [&](long done, long total) { progress->ShowProgress(done, total); });
    }

    QString text = QStringLiteral("%1 件を %2 に書き出しました.").arg(summary.written).arg(path);
    if (!summary.leftOut.empty()) {
        text += QStringLiteral("\n次の %1 件は書き出せませんでした:").arg(summary.leftOut.size());
        constexpr std::size_t kShown = 20;
        for (std::size_t k = 0; k < summary.leftOut.size() && k < kShown; ++k) {
            const adifexport::LeftOut& left = summary.leftOut[k];
            text += QStringLiteral("\n%1 件目 %2: %3")
                        .arg(left.position + 1)
                        .arg(QString::fromStdString(left.call), QString::fromStdString(left.reason));
        }
        if (summary.leftOut.size() > kShown) {
            text += QStringLiteral("\nほか %1 件").arg(summary.leftOut.size() - kShown);
        }
        dialogs().WarningBox(this, text);
    } else {
        dialogs().InfoBox(this, text);
    }
    StatusBar->showMessage(QStringLiteral("ADIF: %1 件を書き出しました").arg(summary.written));
}
