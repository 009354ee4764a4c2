#ifndef KELBO_CONVDEF_SETTINGS_H
#define KELBO_CONVDEF_SETTINGS_H

#include "convdef/TableDefinition.h"
#include "convert/ConvDefTable.h"

#include <QString>
#include <string>

/** @brief What KELBO.ini keeps between runs: the log table, the transfer options and the definition. */
struct KelboSettings
{
    std::string Dir; // CP932; design value: the folder LOGDATA in the user's home, in full
    // UTF-8: the folder when its name holds characters CP932 cannot (é, ü, Hangul), "" otherwise. Kept in the key
    // "DirUTF8", which counts only while "Dir" still holds the CP932 form of it.
    std::string DirUnicode;
    std::string Name = "LOG.DB";
    bool AllSend = false;
    bool UTC = true;
    std::string SendMark = "F";
    ConvDefTable Fields = NullConvDefTable(); // every entry "NULL" by default
    // The field names the definition was made for, in a section of our own ("FieldNames", keys "NAME1".."NAME64",
    // only those known); none known in a file that has no such section.
    ConvDefNames FieldNames;
};

/** @brief The folder as the user sees it: DirUnicode when there is one, else Dir decoded. */
QString DirText(const KelboSettings& s);
/** @brief Stores a folder typed or chosen by the user: in Dir when CP932 holds it, else in DirUnicode too. */
void SetDirText(KelboSettings& s, const QString& dir);

/** @brief The bytes to store for a text shown as @p shown that was read as @p stored: @p stored itself while the
 * text is unchanged (bytes CP932 cannot decode are never rewritten), else @p shown encoded. */
std::string TextAsStored(const QString& shown, const std::string& stored);

/** @brief The design values: the state of the main window's controls before the settings file is read. */
KelboSettings DefaultSettings();

/** @brief The settings file in @p baseDir (which ends in '/' or is empty): baseDir + "KELBO.ini". */
std::string SettingsPath(const std::string& baseDir);

/** @brief Reads the settings file. A missing file, section or key leaves the value of @p s as it is, except
 * that a missing "FIELDn" key makes its entry "NULL"; a key with an empty value gives the empty text, and an
 * integer that does not read as one keeps the value. Never fails; returns false when the file exists but cannot be
 * read (then nothing is taken from it). */
bool LoadSettings(const std::string& path, KelboSettings& s);

/** @brief Writes every key in order, keeping all other lines of the file. The file is replaced in one step:
 * when it cannot be written, nothing of it changes and KelboError "<path> に書き込めません" is thrown. */
void SaveSettings(const std::string& path, const KelboSettings& s);

#endif
