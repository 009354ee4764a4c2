#ifndef KELBO_CONVERT_CARDRECORD_H
#define KELBO_CONVERT_CARDRECORD_H

#include <cstdint>

/** @brief One converted contact. Text members are zero-terminated CP932 strings of the given capacity. */
struct CardRecord
{
    std::uint8_t Year = 0;
    std::uint8_t Month = 0;
    std::uint8_t Day = 0;
    std::uint8_t Hour = 0;
    std::uint8_t Minute = 0;
    char Call[24 + 1] = {};
    char Rst[24 + 1] = {};
    char Mode[20 + 1] = {};
    char Freq[20 + 1] = {};
    char Power[8 + 1] = {};
    char Name[50 + 1] = {};
    char Qth[50 + 1] = {};
    char Qsl[512 + 1] = {};
    char SendChar = 0;
    char RecvChar = 0;
    std::uint32_t Env = 0;
};

#endif
