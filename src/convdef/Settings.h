#ifndef KELBO_CONVDEF_SETTINGS_H
#define KELBO_CONVDEF_SETTINGS_H

#include "convert/ConvDefTable.h"

#include <string>

/** @brief What KELBO.ini keeps between runs: the log table, the transfer options and the definition. */
struct KelboSettings
{
    std::string Dir; // CP932; design value: the folder LOGDATA in the user's home, in full
    std::string Name = "LOG.DB";
    bool AllSend = false;
    bool UTC = true;
    std::string SendMark = "F";
    ConvDefTable Fields = NullConvDefTable(); // every entry "NULL" by default
};

/** @brief The design values: the state of the main window's controls before the settings file is read. */
KelboSettings DefaultSettings();

/** @brief The settings file in @p baseDir (which ends in '/' or is empty): baseDir + "KELBO.ini". */
std::string SettingsPath(const std::string& baseDir);

/** @brief Reads the settings file. A missing file, section or key leaves the value of @p s as it is, except
 * that a missing "FIELDn" key makes its entry "NULL"; a key with an empty value gives the empty text, and an
 * integer that does not read as one keeps the value. Never fails. */
void LoadSettings(const std::string& path, KelboSettings& s);

/** @brief Writes every key in order, keeping all other lines of the file. The file is replaced in one step:
 * when it cannot be written, nothing of it changes and KelboError "<path> に書き込めません" is thrown. */
void SaveSettings(const std::string& path, const KelboSettings& s);

#endif
