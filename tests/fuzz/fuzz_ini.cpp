// The INI reader and writer over arbitrary bytes: lookups never crash, and a key written reads back as written.
#include "convdef/IniFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    IniFile ini = IniFile::parse(content);
    (void)ini.readString("LOGFILE", "Dir", "d");
    (void)ini.readInteger("CARDO", "UTC", 1);
    (void)IniFile::parseInteger(content.substr(0, 40));

    // The first line of the input serves as a value to write.
    const std::string_view value = content.substr(0, content.find_first_of(std::string_view("\r\n\0", 3)));
    ini.writeString("Fields", "FIELD7", value);
    ini.writeInteger("CARDO", "AllSend", 1);
    const IniFile back = IniFile::parse(ini.text());
    if (back.value("Fields", "FIELD7") != std::string(value) || back.readInteger("CARDO", "AllSend", 0) != 1) {
        std::abort();
    }
    return 0;
}
