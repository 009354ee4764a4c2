#include "convdef/Settings.h"

#include "common/Cp932.h"
#include "common/KelboError.h"
#include "convdef/IniFile.h"

#include <QDir>

namespace {

constexpr const char* kLogFile = "LOGFILE";
constexpr const char* kCardo = "CARDO";
constexpr const char* kFields = "Fields";
constexpr const char* kFieldNames = "FieldNames";

std::string fieldKey(int position)
{
    return "FIELD" + std::to_string(position + 1);
}

} // namespace

QString DirText(const KelboSettings& s)
{
    return s.DirUnicode.empty() ? cp932::toUnicode(s.Dir) : QString::fromStdString(s.DirUnicode);
}

void SetDirText(KelboSettings& s, const QString& dir)
{
    s.Dir = cp932::fromUnicode(dir);
    s.DirUnicode = cp932::toUnicode(s.Dir) == dir ? std::string() : dir.toStdString();
}

std::string TextAsStored(const QString& shown, const std::string& stored)
{
    return cp932::toUnicode(stored) == shown ? stored : cp932::fromUnicode(shown);
}

KelboSettings DefaultSettings()
{
    KelboSettings s;
    SetDirText(s, QDir::homePath() + QStringLiteral("/LOGDATA"));
    return s;
}

std::string SettingsPath(const std::string& baseDir)
{
    return baseDir + "KELBO.ini";
}

bool LoadSettings(const std::string& path, KelboSettings& s)
{
    const IniFile ini = IniFile::load(path);
    if (ini.source() == IniFile::Source::Unreadable) {
        return false;
    }
    const auto dir = ini.value(kLogFile, "Dir");
    if (dir) {
        s.Dir = cp932::cut(*dir, 1023);
        // The second key counts only while "Dir" is still the form this program wrote with it: a file changed
        // elsewhere keeps its own folder.
        const auto unicode = ini.value(kLogFile, "DirUTF8");
        s.DirUnicode.clear();
        if (unicode && !unicode->empty() && cp932::fromUnicode(QString::fromStdString(*unicode)) == *dir) {
            s.DirUnicode = *unicode;
        }
    }
    s.Name = ini.readString(kLogFile, "Name", s.Name);
    s.AllSend = ini.readInteger(kCardo, "AllSend", s.AllSend ? 1 : 0) != 0;
    s.UTC = ini.readInteger(kCardo, "UTC", s.UTC ? 1 : 0) != 0;
    s.SendMark = ini.readString(kCardo, "SendMark", s.SendMark);
    for (int i = 0; i < kConvDefCount; ++i) {
        s.Fields[static_cast<std::size_t>(i)] = ini.readString(kFields, fieldKey(i), kNullConvExpr);
        s.FieldNames[static_cast<std::size_t>(i)] = ini.readString(kFieldNames, "NAME" + std::to_string(i + 1), {});
    }
    return true;
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
    if (!s.DirUnicode.empty()) {
        ini.writeString(kLogFile, "DirUTF8", s.DirUnicode);
    } else {
        ini.removeKey(kLogFile, "DirUTF8");
    }
    ini.writeString(kLogFile, "Name", s.Name);
    ini.writeInteger(kCardo, "AllSend", s.AllSend ? 1 : 0);
    ini.writeInteger(kCardo, "UTC", s.UTC ? 1 : 0);
    ini.writeString(kCardo, "SendMark", s.SendMark);
    for (int i = 0; i < kConvDefCount; ++i) {
        ini.writeString(kFields, fieldKey(i), s.Fields[static_cast<std::size_t>(i)]);
    }
    for (int i = 0; i < kConvDefCount; ++i) {
        const std::string& name = s.FieldNames[static_cast<std::size_t>(i)];
        if (name.empty()) {
            ini.removeKey(kFieldNames, "NAME" + std::to_string(i + 1));
        } else {
            ini.writeString(kFieldNames, "NAME" + std::to_string(i + 1), name);
        }
    }
    if (!ini.save(path)) {
        throw KelboError(message);
    }
}
