#include "convdef/Settings.h"

#include "convdef/IniFile.h"
#include "common/Cp932.h"
#include "common/KelboError.h"

#include <QDir>

namespace {

constexpr const char* kLogFile = "LOGFILE";
constexpr const char* kCardo = "CARDO";
constexpr const char* kFields = "Fields";

std::string fieldKey(int position)
{
    return "FIELD" + std::to_string(position + 1);
}

} // namespace

KelboSettings DefaultSettings()
{
    KelboSettings s;
    s.Dir = cp932::fromUnicode(QDir::homePath() + QStringLiteral("/LOGDATA"));
    return s;
}

std::string SettingsPath(const std::string& baseDir)
{
    return baseDir + "KELBO.ini";
}

void LoadSettings(const std::string& path, KelboSettings& s)
{
    const IniFile ini = IniFile::load(path);
    s.Dir = ini.readString(kLogFile, "Dir", s.Dir);
    s.Name = ini.readString(kLogFile, "Name", s.Name);
    s.AllSend = ini.readInteger(kCardo, "AllSend", s.AllSend ? 1 : 0) != 0;
    s.UTC = ini.readInteger(kCardo, "UTC", s.UTC ? 1 : 0) != 0;
    s.SendMark = ini.readString(kCardo, "SendMark", s.SendMark);
    for (int i = 0; i < kConvDefCount; ++i) {
        s.Fields[static_cast<std::size_t>(i)] = ini.readString(kFields, fieldKey(i), kNullConvExpr);
    }
}

void SaveSettings(const std::string& path, const KelboSettings& s)
{
    const std::string message = path + " に書き込めません";
    IniFile ini = IniFile::load(path);
    // A file that exists but cannot be read is never replaced: its other lines would be lost.
    if (ini.source() == IniFile::Source::Unreadable) {
        throw KelboError(message);
    }
    ini.writeString(kLogFile, "Dir", s.Dir);
    ini.writeString(kLogFile, "Name", s.Name);
    ini.writeInteger(kCardo, "AllSend", s.AllSend ? 1 : 0);
    ini.writeInteger(kCardo, "UTC", s.UTC ? 1 : 0);
    ini.writeString(kCardo, "SendMark", s.SendMark);
    for (int i = 0; i < kConvDefCount; ++i) {
        ini.writeString(kFields, fieldKey(i), s.Fields[static_cast<std::size_t>(i)]);
    }
    if (!ini.save(path)) {
        throw KelboError(message);
    }
}
