#ifndef KELBO_CARDPRINTER_CARDSETTINGSDIALOG_H
#define KELBO_CARDPRINTER_CARDSETTINGSDIALOG_H

#include "CardSettings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

/** @brief The operator's station as printed on every card, and how cards are made. Takes the settings it edits
 * and hands the result back through settings(). */
class CardSettingsDialog : public QDialog
{
    Q_OBJECT
public:
    CardSettingsDialog(const CardSettings& settings, QWidget* parent = nullptr);
    CardSettings settings() const;

private:
    CardSettings m_base;
    QLineEdit* m_call = nullptr;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_address = nullptr;
    QLineEdit* m_qth = nullptr;
    QLineEdit* m_grid = nullptr;
    QLineEdit* m_jcc = nullptr;
    QLineEdit* m_rig = nullptr;
    QLineEdit* m_antenna = nullptr;
    QLineEdit* m_freeLine = nullptr;
    QComboBox* m_dateFormat = nullptr;
    QComboBox* m_zone = nullptr;
    QComboBox* m_frequency = nullptr;
    QCheckBox* m_entity = nullptr;
    QCheckBox* m_leaveOut = nullptr;
    QCheckBox* m_group = nullptr;
    QCheckBox* m_bureau = nullptr;
    QCheckBox* m_slashedZero = nullptr;
    QSpinBox* m_number = nullptr;
};

#endif
