#ifndef KELBO_CARDLINK_TABLEFILEIDENTITY_H
#define KELBO_CARDLINK_TABLEFILEIDENTITY_H

#include <string>

class LogTable;

/** @brief Identity of an open table's file: the same path naming the same file (device and inode). A table
 * rewritten by another program under the same name is another file. */
struct TableFileIdentity
{
    std::string path;
    unsigned long long device = 0;
    unsigned long long inode = 0;
    bool valid = false;

    /** @brief The identity of @p table's file now; not valid when the table is closed or its file is gone. */
    static TableFileIdentity of(const LogTable& table);

    /** @brief Both valid and the same file under the same path. */
    bool operator==(const TableFileIdentity& o) const
    {
        return valid && o.valid && path == o.path && device == o.device && inode == o.inode;
    }
};

#endif
