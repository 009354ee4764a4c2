#include "CardSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

QStringList CardSettings::dateFormats()
{
    return {QStringLiteral("yyyy-MM-dd"), QStringLiteral("yyyy/MM/dd"), QStringLiteral("dd MMM yyyy"),
            QStringLiteral("dd.MM.yyyy"), QStringLiteral("MMM dd, yyyy")};
}

QString cardSettingsPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("KELBO/kelbo-cardprinter.ini"));
}

namespace {

struct TextKey
{
    const char* key;
    QString CardSettings::*member;
};

const TextKey kStation[] = {
    {"Station/Call", &CardSettings::call},
    {"Station/Name", &CardSettings::name},
    {"Station/Address", &CardSettings::address},
    {"Station/QTH", &CardSettings::qth},
    {"Station/Grid", &CardSettings::grid},
    {"Station/JCC", &CardSettings::jcc},
    {"Station/Rig", &CardSettings::rig},
    {"Station/Antenna", &CardSettings::antenna},
    {"Station/FreeLine", &CardSettings::freeLine},
    {"Station/NameRoman", &CardSettings::nameRoman},
    {"Station/AddressRoman", &CardSettings::addressRoman},
    {"Station/QthRoman", &CardSettings::qthRoman},
};

struct SizeKey
{
    const char* key;
    double LabelSheet::*member;
};

const SizeKey kCustomSizes[] = {
    {"Labels/CustomPageWidth", &LabelSheet::pageWidth},
    {"Labels/CustomPageHeight", &LabelSheet::pageHeight},
    {"Labels/CustomLabelWidth", &LabelSheet::labelWidth},
    {"Labels/CustomLabelHeight", &LabelSheet::labelHeight},
    {"Labels/CustomTop", &LabelSheet::top},
    {"Labels/CustomLeft", &LabelSheet::left},
    {"Labels/CustomHGap", &LabelSheet::hGap},
    {"Labels/CustomVGap", &LabelSheet::vGap},
};

const struct
{
    const char* key;
    int LabelSheet::*member;
} kCustomCounts[] = {{"Labels/CustomColumns", &LabelSheet::columns}, {"Labels/CustomRows", &LabelSheet::rows}};

/** The operator's own label sheet as the file has it. A value that is no number is kept as text in `unreadable`, so
 * that printing on it is refused naming it rather than labels landing where the operator did not measure. */
LabelSheet loadCustomLabels(const QSettings& ini)
{
    LabelSheet sheet;
    const auto note = [&sheet](const char* key, const QString& text) {
        if (sheet.unreadable.isEmpty()) {
            sheet.unreadable = QStringLiteral("%1「%2」").arg(QLatin1String(key), text.left(40));
        }
    };
    for (const SizeKey& k : kCustomSizes) {
        if (!ini.contains(QLatin1String(k.key))) {
            continue;
        }
        const QString text = ini.value(QLatin1String(k.key)).toString().trimmed();
        bool ok = false;
        const double v = text.toDouble(&ok);
        if (ok) {
            sheet.*k.member = v;
        } else {
            note(k.key, text);
        }
    }
    for (const auto& k : kCustomCounts) {
        if (!ini.contains(QLatin1String(k.key))) {
            continue;
        }
        const QString text = ini.value(QLatin1String(k.key)).toString().trimmed();
        bool ok = false;
        const int v = text.toInt(&ok);
        if (ok) {
            sheet.*k.member = v;
        } else {
            note(k.key, text);
        }
    }
    return sheet;
}

void writeLabelChoice(QSettings& ini, const CardSettings& s)
{
    ini.setValue(QStringLiteral("Labels/Print"), s.printLabels);
    ini.setValue(QStringLiteral("Labels/Sheet"), s.labelSheet);
    ini.setValue(QStringLiteral("Labels/Start"), s.labelStart);
    if (!s.customLabels.unreadable.isEmpty()) {
        return; // the operator's own values stay as written until set again
    }
    for (const SizeKey& k : kCustomSizes) {
        ini.setValue(QLatin1String(k.key), s.customLabels.*k.member);
    }
    for (const auto& k : kCustomCounts) {
        ini.setValue(QLatin1String(k.key), s.customLabels.*k.member);
    }
}

/** A calibration value read back: a number in [least, most], else @p fallback. */
double calibrationValue(const QSettings& ini, const QString& key, double least, double most, double fallback)
{
    bool ok = false;
    const double v = ini.value(key).toString().trimmed().toDouble(&ok);
    return ok && v >= least && v <= most ? v : fallback;
}

} // namespace

LabelSheet CardSettings::labels() const
{
    const LabelSheet* preset = labelSheetPreset(labelSheet);
    return preset ? *preset : customLabels;
}

CardSettings loadCardSettings(const QString& path, QString* damage)
{
    CardSettings s;
    QSettings ini(path, QSettings::IniFormat);
    const bool exists = QFileInfo::exists(path);
    for (const TextKey& k : kStation) {
        // A hand-written value with a comma reads as a list: it is still one line of text.
        const QVariant v = ini.value(QLatin1String(k.key), s.*k.member);
        s.*k.member = v.typeId() == QMetaType::QStringList ? v.toStringList().join(QStringLiteral(", ")) : v.toString();
    }
    const QString format = ini.value(QStringLiteral("Card/DateFormat")).toString();
    if (CardSettings::dateFormats().contains(format)) {
        s.dateFormat = format;
    }
    // Before "Card/Zones", "Card/TimeZone=UTC" printed every card's time as UTC: it reads "UTC for all".
    if (!cardZonesFromKey(ini.value(QStringLiteral("Card/Zones")).toString(), &s.zones)
        && ini.value(QStringLiteral("Card/TimeZone")).toString() == QLatin1String("UTC")) {
        s.zones = CardZones::AllUtc;
    }
    s.entityOnCard = ini.value(QStringLiteral("Card/EntityName"), s.entityOnCard).toBool();
    s.leaveOutElectronic = ini.value(QStringLiteral("Card/LeaveOutElectronic"), s.leaveOutElectronic).toBool();
    s.showBand = ini.value(QStringLiteral("Card/ShowBand"), s.showBand).toBool();
    s.groupContacts = ini.value(QStringLiteral("Card/GroupContacts"), s.groupContacts).toBool();
    s.bureauOrder = ini.value(QStringLiteral("Card/BureauOrder"), s.bureauOrder).toBool();
    s.slashedZero = ini.value(QStringLiteral("Card/SlashedZero"), s.slashedZero).toBool();
    s.printer = ini.value(QStringLiteral("Print/Printer")).toString();
    s.printLabels = ini.value(QStringLiteral("Labels/Print"), s.printLabels).toBool();
    const QString sheet = ini.value(QStringLiteral("Labels/Sheet")).toString();
    if (labelSheetPreset(sheet) || sheet == QLatin1String("Custom")) {
        s.labelSheet = sheet;
    }
    s.customLabels = loadCustomLabels(ini);
    const int start = ini.value(QStringLiteral("Labels/Start")).toInt();
    s.labelStart = start >= 1 && start <= s.labels().cells() ? start : 1;
    for (const auto& [key, member] : {std::pair{"Card/DomesticDesign", &CardSettings::domesticDesign},
                                      std::pair{"Card/ForeignDesign", &CardSettings::foreignDesign}}) {
        const QString id = ini.value(QLatin1String(key)).toString().trimmed();
        if (!id.isEmpty()) {
            s.*member = id;
        }
    }
    // One group a printer; a value out of range reads as no correction for it.
    ini.beginGroup(QStringLiteral("Calibration"));
    for (const QString& printer : ini.childGroups()) {
        PrinterCalibration c;
        c.x = calibrationValue(ini, printer + QStringLiteral("/OffsetX"), -kMaxCalibrationOffset, kMaxCalibrationOffset,
                               0);
        c.y = calibrationValue(ini, printer + QStringLiteral("/OffsetY"), -kMaxCalibrationOffset, kMaxCalibrationOffset,
                               0);
        c.scale = calibrationValue(ini, printer + QStringLiteral("/Scale"), kMinCalibrationScale, kMaxCalibrationScale,
                                   100);
        if (!c.isNone()) {
            s.calibrations[printer] = c;
        }
    }
    ini.endGroup();
    bool ok = false;
    const QString numberText = ini.value(QStringLiteral("Card/NextNumber")).toString().trimmed();
    const qlonglong number = numberText.toLongLong(&ok);
    if (ok && number > 0 && number <= kMaxCardNumber) {
        s.nextCardNumber = static_cast<int>(number);
    }
    if (damage) {
        damage->clear();
        if (exists && ini.status() != QSettings::NoError) {
            *damage = QStringLiteral("設定ファイル %1 を読めません.").arg(path);
        } else if (exists && !(ok && number > 0 && number <= kMaxCardNumber)) {
            *damage = numberText.isEmpty()
                ? QStringLiteral("設定ファイル %1 に次のカード番号 (Card/NextNumber) がありません.").arg(path)
                : QStringLiteral("設定ファイル %1 の次のカード番号「%2」が 1〜%3 の数ではありません.")
                      .arg(path, numberText.left(40))
                      .arg(kMaxCardNumber);
        }
    }
    return s;
}

bool saveCardSettings(const CardSettings& s, const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSettings ini(path, QSettings::IniFormat);
    for (const TextKey& k : kStation) {
        ini.setValue(QLatin1String(k.key), s.*k.member);
    }
    ini.setValue(QStringLiteral("Card/DateFormat"), s.dateFormat);
    ini.setValue(QStringLiteral("Card/Zones"), cardZonesKey(s.zones));
    ini.remove(QStringLiteral("Card/TimeZone"));
    ini.setValue(QStringLiteral("Card/EntityName"), s.entityOnCard);
    ini.setValue(QStringLiteral("Card/LeaveOutElectronic"), s.leaveOutElectronic);
    ini.setValue(QStringLiteral("Card/ShowBand"), s.showBand);
    ini.setValue(QStringLiteral("Card/GroupContacts"), s.groupContacts);
    ini.setValue(QStringLiteral("Card/BureauOrder"), s.bureauOrder);
    ini.setValue(QStringLiteral("Card/SlashedZero"), s.slashedZero);
    ini.setValue(QStringLiteral("Card/NextNumber"), s.nextCardNumber);
    ini.setValue(QStringLiteral("Print/Printer"), s.printer);
    writeLabelChoice(ini, s);
    ini.setValue(QStringLiteral("Card/DomesticDesign"), s.domesticDesign);
    ini.setValue(QStringLiteral("Card/ForeignDesign"), s.foreignDesign);
    ini.remove(QStringLiteral("Calibration"));
    for (const auto& [printer, c] : s.calibrations) {
        // A print queue's name never holds a slash; a key with one would name another group.
        if (printer.isEmpty() || printer.contains(QLatin1Char('/')) || printer.contains(QLatin1Char('\\'))
            || c.isNone()) {
            continue;
        }
        ini.beginGroup(QStringLiteral("Calibration/") + printer);
        ini.setValue(QStringLiteral("OffsetX"), c.x);
        ini.setValue(QStringLiteral("OffsetY"), c.y);
        ini.setValue(QStringLiteral("Scale"), c.scale);
        ini.endGroup();
    }
    ini.sync();
    return ini.status() == QSettings::NoError;
}

bool saveNextCardNumber(int number, const QString& path)
{
    if (number < 1 || number > kMaxCardNumber) {
        return false;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    {
        // Written whole into a new file that replaces the old one once it is on the disk.
        QSettings ini(path, QSettings::IniFormat);
        ini.setValue(QStringLiteral("Card/NextNumber"), number);
        ini.sync();
        if (ini.status() != QSettings::NoError) {
            return false;
        }
    }
    // A file system that takes the write and keeps the old bytes (or none) is found here, not after printing.
    QSettings back(path, QSettings::IniFormat);
    return back.status() == QSettings::NoError && back.value(QStringLiteral("Card/NextNumber")).toInt() == number;
}

bool savePrinter(const QString& printer, const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSettings ini(path, QSettings::IniFormat);
    ini.setValue(QStringLiteral("Print/Printer"), printer);
    ini.sync();
    return ini.status() == QSettings::NoError;
}

bool saveLabelChoice(const CardSettings& s, const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSettings ini(path, QSettings::IniFormat);
    writeLabelChoice(ini, s);
    ini.sync();
    return ini.status() == QSettings::NoError;
}
