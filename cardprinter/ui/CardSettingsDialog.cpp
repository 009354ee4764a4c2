#include "CardSettingsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QLocale>
#include <QRegularExpressionValidator>
#include <QSpinBox>
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

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(station);
    layout->addWidget(card);
    layout->addWidget(buttons);
    resize(460, sizeHint().height());
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
    return s;
}
