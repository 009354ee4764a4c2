#include "app/WriteRecovery.h"

#include "app/UserDialogs.h"
#include "logtable/WriteJournal.h"

#include <QString>

void RecoverInterruptedWrites(QWidget* owner)
{
    const std::vector<std::string> notes = logtable::recoverAllJournals();
    if (notes.empty()) {
        return;
    }
    QString text;
    for (const std::string& note : notes) {
        if (!text.isEmpty()) {
            text += QStringLiteral("\n\n");
        }
        text += QString::fromStdString(note);
    }
    dialogs().WarningBox(owner, text);
}
