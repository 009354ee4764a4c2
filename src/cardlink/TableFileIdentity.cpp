#include "cardlink/TableFileIdentity.h"

#include "logtable/LogTable.h"

#include <sys/stat.h>

TableFileIdentity TableFileIdentity::of(const LogTable& table)
{
    TableFileIdentity id;
    id.path = table.FilePath();
    struct stat st = {};
    if (!id.path.empty() && ::stat(id.path.c_str(), &st) == 0) {
        id.device = st.st_dev;
        id.inode = st.st_ino;
        id.valid = true;
    }
    return id;
}
