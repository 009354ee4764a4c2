#ifndef KELBO_CONVDEF_CONVDEFFILE_H
#define KELBO_CONVDEF_CONVDEFFILE_H

#include "convert/ConvDefTable.h"

#include <string>
#include <string_view>

/** @brief Longest piece of a definition file taken as one line; a longer line is read as several pieces. */
inline constexpr std::size_t kConvDefPieceBytes = 511;

/** @brief Writes the 64 lines "FIELD<k>=<entry k-1>" with CR LF to @p path (a UTF-8 file-system path).
 *
 * The file is replaced in one step, so a full disk never leaves a truncated file behind. An entry is written
 * up to its first CR, LF or NUL byte: the rest could not be read back as part of it. Returns false when the
 * file could not be written; an existing file is then unchanged. */
bool SaveConvDefFile(const std::string& path, const ConvDefTable& t);

/** @brief The bytes SaveConvDefFile writes for @p t. */
std::string ConvDefFileText(const ConvDefTable& t);

/** @brief Loads the lines of a definition file into @p t (see LoadConvDefText). Returns false when the file
 * could not be opened or read; @p t is then unchanged. */
bool LoadConvDefFile(const std::string& path, ConvDefTable& t);

/** @brief Applies a definition file's content to @p t.
 *
 * The content is read in pieces of at most 511 bytes, each ending at a line end (CR LF counts as one LF; a
 * piece never ends inside a double-byte character). A piece counts when it begins with "FIELD", holds an "=",
 * and the text between "FIELD" and the first "=" begins with a decimal number n (blanks and a sign allowed)
 * from 1 to 64: entry n-1 becomes everything after the first "=" up to the first CR or LF. Other pieces are
 * passed over; entries no piece names keep their value, and a later line wins over an earlier one. */
void LoadConvDefText(std::string_view content, ConvDefTable& t);

#endif
