#ifndef KELBO_COMMON_BYTEORDER_H
#define KELBO_COMMON_BYTEORDER_H

#include <cstdint>

/** @brief Unsigned integers stored in a file's bytes, least (le) or most (be) significant byte first. */
namespace byteorder {

inline std::uint16_t le16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

inline std::uint32_t le32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8
        | static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline std::uint64_t le64(const unsigned char* p)
{
    return static_cast<std::uint64_t>(le32(p + 4)) << 32 | le32(p);
}

inline std::uint32_t be32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16
        | static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}

inline std::uint64_t be64(const unsigned char* p)
{
    return static_cast<std::uint64_t>(be32(p)) << 32 | be32(p + 4);
}

} // namespace byteorder

#endif
