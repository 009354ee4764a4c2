#ifndef KELBO_CARDPRINTER_CARDSETTINGSDIALOG_H
#define KELBO_CARDPRINTER_CARDSETTINGSDIALOG_H

#include "CardSettings.h"

#include <QDialog>
#include <map>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
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
    /** Prints the test page of the domestic design on the printer chosen under calibration, corrected as set there;
     * false (the operator told why) when it did not go out. */
    bool printTestPage();
    /** Writes the test page of the domestic design into a PDF file the operator names, uncorrected. */
    bool saveTestPage();

private:
    /** Every printer's correction, the one shown as it is shown. */
    std::map<QString, PrinterCalibration> calibrations() const;
    /** Keeps the correction shown for the printer shown. */
    void keepCalibration();
    void showCalibration();

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
    QLineEdit* m_nameRoman = nullptr;
    QLineEdit* m_addressRoman = nullptr;
    QLineEdit* m_qthRoman = nullptr;
    QComboBox* m_domesticDesign = nullptr;
    QComboBox* m_foreignDesign = nullptr;
    QComboBox* m_printer = nullptr;
    QDoubleSpinBox* m_offsetX = nullptr;
    QDoubleSpinBox* m_offsetY = nullptr;
    QDoubleSpinBox* m_scale = nullptr;
    QString m_shownPrinter; // whose correction the spin boxes show
    std::map<QString, PrinterCalibration> m_calibrations;
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
