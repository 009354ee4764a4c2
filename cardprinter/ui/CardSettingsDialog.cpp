#include "CardSettingsDialog.h"

#include "CardLayout.h"
#include "PrintJobs.h"
#include "app/UserDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QVBoxLayout>

CardSettingsDialog::CardSettingsDialog(const CardSettings& s, QWidget* parent)
    : QDialog(parent)
    , m_base(s)
{
    setWindowTitle(QStringLiteral("カード印刷の設定"));
    auto edit = [this](const QString& text, const QString& placeholder = QString()) {
        auto* e = new QLineEdit(text, this);
        e->setPlaceholderText(placeholder);
        return e;
    };
    m_call = edit(s.call, QStringLiteral("JA1XYZ"));
    // Call signs are letters, digits and slashes, written in capitals.
    m_call->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[A-Za-z0-9/]*")), this));
    connect(m_call, &QLineEdit::textEdited, this, [this](const QString& t) {
        const int at = m_call->cursorPosition();
        m_call->setText(t.toUpper());
        m_call->setCursorPosition(at);
    });
    m_name = edit(s.name);
    m_address = edit(s.address);
    m_qth = edit(s.qth);
    m_grid = edit(s.grid, QStringLiteral("PM95"));
    m_jcc = edit(s.jcc, QStringLiteral("100105"));
    m_rig = edit(s.rig);
    m_antenna = edit(s.antenna);
    m_freeLine = edit(s.freeLine);
    // For cards abroad: Latin letters only, what a foreign operator can read.
    m_nameRoman = edit(s.nameRoman, QStringLiteral("Hanako Yamada"));
    m_addressRoman = edit(s.addressRoman, QStringLiteral("1-2-3 Jingumae, Shibuya-ku, Tokyo 150-0001, Japan"));
    m_qthRoman = edit(s.qthRoman, QStringLiteral("Shibuya, Tokyo"));
    for (QLineEdit* e : {m_nameRoman, m_addressRoman, m_qthRoman}) {
        e->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[\\x{20}-\\x{ff}]*")), e));
    }
    m_nameRoman->setObjectName(QStringLiteral("nameRoman"));
    m_addressRoman->setObjectName(QStringLiteral("addressRoman"));
    m_qthRoman->setObjectName(QStringLiteral("qthRoman"));

    auto* station = new QGroupBox(QStringLiteral("自局"), this);
    auto* sf = new QFormLayout(station);
    sf->addRow(QStringLiteral("コールサイン"), m_call);
    sf->addRow(QStringLiteral("名前"), m_name);
    sf->addRow(QStringLiteral("住所"), m_address);
    sf->addRow(QStringLiteral("QTH"), m_qth);
    sf->addRow(QStringLiteral("グリッドロケーター"), m_grid);
    sf->addRow(QStringLiteral("JCC/JCG"), m_jcc);
    sf->addRow(QStringLiteral("リグ"), m_rig);
    sf->addRow(QStringLiteral("アンテナ"), m_antenna);
    sf->addRow(QStringLiteral("自由記入"), m_freeLine);
    sf->addRow(QStringLiteral("名前 (ローマ字)"), m_nameRoman);
    sf->addRow(QStringLiteral("住所 (ローマ字)"), m_addressRoman);
    sf->addRow(QStringLiteral("QTH (ローマ字)"), m_qthRoman);

    m_dateFormat = new QComboBox(this);
    const QDate sample(2024, 4, 30);
    for (const QString& f : CardSettings::dateFormats()) {
        m_dateFormat->addItem(QLocale::c().toString(sample, f).toUpper(), f);
    }
    m_dateFormat->setCurrentIndex(std::max(0, static_cast<int>(CardSettings::dateFormats().indexOf(s.dateFormat))));
    m_zone = new QComboBox(this);
    // The lines carry JST; a foreign station expects UTC on its card.
    m_zone->addItem(QStringLiteral("国内局は JST, 海外局は UTC"),
                    QVariant::fromValue(static_cast<int>(CardZones::ForeignUtc)));
    m_zone->addItem(QStringLiteral("すべて JST"), QVariant::fromValue(static_cast<int>(CardZones::AllJst)));
    m_zone->addItem(QStringLiteral("すべて UTC"), QVariant::fromValue(static_cast<int>(CardZones::AllUtc)));
    m_zone->setCurrentIndex(std::max(0, m_zone->findData(static_cast<int>(s.zones))));
    m_entity = new QCheckBox(QStringLiteral("海外局のカードに国名 (DXCC エンティティ) を入れる"), this);
    m_entity->setChecked(s.entityOnCard);
    m_leaveOut = new QCheckBox(QStringLiteral("LoTW/eQSL のみ・NO QSL の交信は印刷しない"), this);
    m_leaveOut->setChecked(s.leaveOutElectronic);
    m_frequency = new QComboBox(this);
    m_frequency->addItem(QStringLiteral("周波数 (MHz)"));
    m_frequency->addItem(QStringLiteral("バンド (40m など)"));
    m_frequency->setCurrentIndex(s.showBand ? 1 : 0);
    m_group = new QCheckBox(QStringLiteral("同じ局との交信を 1 枚にまとめる (最大 5 件)"), this);
    m_group->setChecked(s.groupContacts);
    m_bureau = new QCheckBox(QStringLiteral("届いた行をビューロー順に並べる"), this);
    m_bureau->setChecked(s.bureauOrder);
    m_slashedZero = new QCheckBox(QStringLiteral("コールサインのゼロに斜線を入れる (0 と O を見分けやすく)"), this);
    m_slashedZero->setChecked(s.slashedZero);
    m_number = new QSpinBox(this);
    m_number->setRange(1, kMaxCardNumber);
    m_number->setValue(s.nextCardNumber);

    QStringList problems;
    const std::vector<CardDesign> designs = cardDesigns(&problems);
    const auto designBox = [this, &designs](const QString& current, const char* name) {
        auto* box = new QComboBox(this);
        box->setObjectName(QLatin1String(name));
        for (const CardDesign& d : designs) {
            box->addItem(d.title.isEmpty() ? d.id : d.title, d.id);
        }
        if (box->findData(current) < 0) {
            // Kept as it is set: a design file that cannot be read now is not replaced behind the operator's back.
            box->addItem(QStringLiteral("%1 (読めません)").arg(current), current);
        }
        box->setCurrentIndex(box->findData(current));
        return box;
    };
    m_domesticDesign = designBox(s.domesticDesign, "domesticDesign");
    m_foreignDesign = designBox(s.foreignDesign, "foreignDesign");

    auto* card = new QGroupBox(QStringLiteral("カード"), this);
    auto* cf = new QFormLayout(card);
    cf->addRow(QStringLiteral("日付の形式"), m_dateFormat);
    cf->addRow(QStringLiteral("時刻"), m_zone);
    cf->addRow(QStringLiteral("周波数の欄"), m_frequency);
    cf->addRow(QString(), m_entity);
    cf->addRow(QString(), m_leaveOut);
    cf->addRow(QString(), m_group);
    cf->addRow(QString(), m_bureau);
    cf->addRow(QString(), m_slashedZero);
    cf->addRow(QStringLiteral("次のカード番号"), m_number);
    cf->addRow(QStringLiteral("国内局のデザイン"), m_domesticDesign);
    cf->addRow(QStringLiteral("海外局のデザイン"), m_foreignDesign);
    if (!problems.isEmpty()) {
        auto* note = new QLabel(problems.join(QLatin1Char('\n')), this);
        note->setWordWrap(true);
        cf->addRow(QString(), note);
    }

    // Per printer: how far its cards come out of place, tried with a test page.
    m_calibrations = s.calibrations;
    m_printer = new QComboBox(this);
    m_printer->setObjectName(QStringLiteral("calibrationPrinter"));
    QStringList printers = cupsprint::printers();
    for (const auto& [name, c] : s.calibrations) {
        if (!printers.contains(name)) {
            printers << name;
        }
    }
    m_printer->addItems(printers);
    if (printers.contains(s.printer)) {
        m_printer->setCurrentText(s.printer);
    }
    const auto spin = [this](double least, double most, const QString& suffix, const char* name) {
        auto* b = new QDoubleSpinBox(this);
        b->setObjectName(QLatin1String(name));
        b->setRange(least, most);
        b->setDecimals(2); // a correction read from the file is shown, and kept, as it is there
        b->setSingleStep(0.1);
        b->setSuffix(suffix);
        return b;
    };
    m_offsetX = spin(-kMaxCalibrationOffset, kMaxCalibrationOffset, QStringLiteral(" mm"), "offsetX");
    m_offsetY = spin(-kMaxCalibrationOffset, kMaxCalibrationOffset, QStringLiteral(" mm"), "offsetY");
    m_scale = spin(kMinCalibrationScale, kMaxCalibrationScale, QStringLiteral(" %"), "scale");
    showCalibration();
    connect(m_printer, &QComboBox::currentTextChanged, this, [this] {
        keepCalibration();
        showCalibration();
    });
    auto* print = new QPushButton(QStringLiteral("テストページを印刷"), this);
    print->setObjectName(QStringLiteral("printTestPage"));
    print->setEnabled(!printers.isEmpty());
    connect(print, &QPushButton::clicked, this, &CardSettingsDialog::printTestPage);
    auto* save = new QPushButton(QStringLiteral("テストページを PDF に..."), this);
    connect(save, &QPushButton::clicked, this, &CardSettingsDialog::saveTestPage);
    auto* calibration = new QGroupBox(QStringLiteral("プリンターの補正 (印刷位置のずれ)"), this);
    auto* pf = new QFormLayout(calibration);
    pf->addRow(QStringLiteral("プリンター"), m_printer);
    auto* offsets = new QHBoxLayout;
    offsets->addWidget(new QLabel(QStringLiteral("右へ"), this));
    offsets->addWidget(m_offsetX);
    offsets->addWidget(new QLabel(QStringLiteral("下へ"), this));
    offsets->addWidget(m_offsetY);
    offsets->addWidget(new QLabel(QStringLiteral("倍率"), this));
    offsets->addWidget(m_scale);
    pf->addRow(QStringLiteral("ずらす"), offsets);
    auto* buttonsRow = new QHBoxLayout;
    buttonsRow->addWidget(print);
    buttonsRow->addWidget(save);
    buttonsRow->addStretch();
    pf->addRow(QString(), buttonsRow);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Two columns: the own station beside how cards are made, so that the dialog fits a low screen.
    auto* right = new QVBoxLayout;
    right->addWidget(card);
    right->addWidget(calibration);
    right->addStretch();
    auto* columns = new QHBoxLayout;
    columns->addWidget(station, 1, Qt::AlignTop);
    columns->addLayout(right, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addWidget(buttons);
    resize(std::max(sizeHint().width(), 940), sizeHint().height());
}

CardSettings CardSettingsDialog::settings() const
{
    CardSettings s = m_base;
    s.call = m_call->text().trimmed().toUpper();
    s.name = m_name->text().trimmed();
    s.address = m_address->text().trimmed();
    s.qth = m_qth->text().trimmed();
    s.grid = m_grid->text().trimmed();
    s.jcc = m_jcc->text().trimmed();
    s.rig = m_rig->text().trimmed();
    s.antenna = m_antenna->text().trimmed();
    s.freeLine = m_freeLine->text().trimmed();
    s.dateFormat = m_dateFormat->currentData().toString();
    s.zones = static_cast<CardZones>(m_zone->currentData().toInt());
    s.entityOnCard = m_entity->isChecked();
    s.leaveOutElectronic = m_leaveOut->isChecked();
    s.showBand = m_frequency->currentIndex() == 1;
    s.groupContacts = m_group->isChecked();
    s.bureauOrder = m_bureau->isChecked();
    s.slashedZero = m_slashedZero->isChecked();
    s.nextCardNumber = m_number->value();
    s.nameRoman = m_nameRoman->text().trimmed();
    s.addressRoman = m_addressRoman->text().trimmed();
    s.qthRoman = m_qthRoman->text().trimmed();
    s.domesticDesign = m_domesticDesign->currentData().toString();
    s.foreignDesign = m_foreignDesign->currentData().toString();
    s.calibrations = calibrations();
    return s;
}

std::map<QString, PrinterCalibration> CardSettingsDialog::calibrations() const
{
    std::map<QString, PrinterCalibration> all = m_calibrations;
    if (m_shownPrinter.isEmpty()) {
        return all;
    }
    PrinterCalibration c;
    c.x = m_offsetX->value();
    c.y = m_offsetY->value();
    c.scale = m_scale->value();
    if (c.isNone()) {
        all.erase(m_shownPrinter);
    } else {
        all[m_shownPrinter] = c;
    }
    return all;
}

void CardSettingsDialog::keepCalibration()
{
    m_calibrations = calibrations();
}

void CardSettingsDialog::showCalibration()
{
    m_shownPrinter = m_printer->currentText();
    const auto it = m_calibrations.find(m_shownPrinter);
    const PrinterCalibration c = it == m_calibrations.end() ? PrinterCalibration() : it->second;
    m_offsetX->setValue(c.x);
    m_offsetY->setValue(c.y);
    m_scale->setValue(c.scale);
    for (QWidget* w : std::initializer_list<QWidget*>{m_offsetX, m_offsetY, m_scale}) {
        w->setEnabled(!m_shownPrinter.isEmpty());
    }
}

namespace {

CardDesign chosenDesign(const QComboBox* box)
{
    CardDesign d;
    findCardDesign(box->currentData().toString(), d, nullptr);
    return d;
}

} // namespace

bool CardSettingsDialog::printTestPage()
{
    keepCalibration();
    const QString printer = m_printer->currentText();
    if (printer.isEmpty()) {
        return false;
    }
    if (cupsprint::cardMedia(printer) == CardMedia::Refuses) {
        dialogs().WarningBox(this,
                             QStringLiteral("プリンター「%1」ははがき (100 x 148 mm) に印刷できません.").arg(printer));
        return false;
    }
    QTemporaryDir spool;
    const QString pdf = spool.filePath(QStringLiteral("test-page.pdf"));
    QString error;
    const auto it = m_calibrations.find(printer);
    if (!spool.isValid()
        || !writeTestPagePdf(pdf, chosenDesign(m_domesticDesign),
                             it == m_calibrations.end() ? PrinterCalibration() : it->second, &error)) {
        dialogs().WarningBox(this, error.isEmpty() ? QStringLiteral("一時ファイルを作れません.") : error);
        return false;
    }
    if (cupsprint::submit(printer, pdf, QStringLiteral("QSL card test page"), 1, &error) == 0) {
        dialogs().WarningBox(this,
                             QStringLiteral("プリンター「%1」が印刷を受け付けませんでした: %2").arg(printer, error));
        return false;
    }
    dialogs().InfoBox(this,
                      QStringLiteral("テストページをプリンター「%1」に送りました.\r\n\r\n"
                                     "はがきの枠や目盛りが印刷済みの欄とずれていれば, その mm だけ補正してください.")
                          .arg(printer));
    return true;
}

bool CardSettingsDialog::saveTestPage()
{
    FileDialogSpec spec;
    spec.title = QStringLiteral("テストページの保存");
    spec.filter = QStringLiteral("PDF (*.pdf)");
    spec.fileName = QStringLiteral("card-test-page.pdf");
    spec.defaultExt = QStringLiteral("pdf");
    const QString path = dialogs().SaveFileName(this, spec);
    if (path.isEmpty()) {
        return false;
    }
    QString error;
    // A file is never corrected: it may be printed anywhere.
    if (!writeTestPagePdf(path, chosenDesign(m_domesticDesign), PrinterCalibration(), &error)) {
        dialogs().WarningBox(this, error);
        return false;
    }
    return true;
}
