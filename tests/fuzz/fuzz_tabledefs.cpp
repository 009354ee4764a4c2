// The file of definitions per table over arbitrary bytes: reading never crashes, what is written reads back the same,
// and binding a stored definition to the field names the input gives never crashes or leaves two "SEND" entries.
#include "convdef/TableDefinition.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    const TableDefinitionStore store = TableDefinitionStore::Parse(content);
    const std::string text = store.Text();
    if (TableDefinitionStore::Parse(text).Text() != text) {
        std::abort();
    }

    // The input's words are a table's field names.
    std::vector<std::string> fields;
    for (std::size_t at = 0; at < content.size() && fields.size() < 80;) {
        const std::size_t end = std::min(content.find(' ', at), content.size());
        fields.emplace_back(content.substr(at, end - at));
        at = end + 1;
    }
    ConvDefTable defs = NullConvDefTable();
    ConvDefNames names;
    for (const char* table : {"/home/op/LOG.ADI", "/x/LOG.DB"}) {
        if (store.Find(table, defs, names)) {
            break;
        }
    }
    const BoundDefinition bound = BindDefinition(defs, names, fields, fields.empty() ? "" : fields.back());
    if (std::count(bound.entries.begin(), bound.entries.end(), "SEND") > 1 && !fields.empty()
        && std::count(defs.begin(), defs.end(), "SEND") <= 1) {
        std::abort();
    }
    (void)DefinesCall(bound.entries, static_cast<int>(fields.size()));
    (void)DefinesDate(bound.entries, static_cast<int>(fields.size()));
    return 0;
}
