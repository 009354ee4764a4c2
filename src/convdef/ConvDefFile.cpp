#include "convdef/ConvDefFile.h"

#include "common/CNumber.h"
#include "common/Cp932.h"
#include "convdef/SafeFile.h"

#include <cstdio>
#include <unistd.h>

namespace {

void applyPiece(std::string_view piece, ConvDefTable& t)
{
    // The piece is a C string: a NUL byte ends it.
    const auto nul = piece.find('\0');
    if (nul != std::string_view::npos) {
        piece = piece.substr(0, nul);
    }
    if (piece.size() < 5 || piece.substr(0, 5) != "FIELD") {
        return;
    }
    const auto eq = piece.find('=');
    if (eq == std::string_view::npos) {
        return;
    }
    std::int32_t n = 0;
    if (!cnum::readInt(piece.substr(5, eq - 5), n) || n < 1 || n > kConvDefCount) {
        return;
    }
    std::string_view value = piece.substr(eq + 1);
    const auto end = value.find_first_of("\r\n");
    if (end != std::string_view::npos) {
        value = value.substr(0, end);
    }
    t[static_cast<std::size_t>(n - 1)] = std::string(value);
}

// Splits a stream of bytes into pieces as a line reader with a 512-byte buffer would, after CR LF has been
// turned into LF. Fed in blocks, so a file of any size is read with a small, fixed amount of memory.
class PieceReader
{
public:
    explicit PieceReader(ConvDefTable& t)
        : m_table(t)
    {
    }

    void feed(std::string_view data)
    {
        for (char c : data) {
            if (m_pendingCr) {
                m_pendingCr = false;
                if (c != '\n') {
                    put('\r');
                }
            }
            if (c == '\r') {
                m_pendingCr = true;
            } else {
                put(c);
            }
        }
    }

    void finish()
    {
        if (m_pendingCr) {
            m_pendingCr = false;
            put('\r');
        }
        flush();
    }

private:
    void put(char c)
    {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\n') {
            m_piece.push_back(c);
            flush();
            return;
        }
        if (m_expectTrail) {
            m_expectTrail = false;
        } else if (cp932::isLeadByte(u)) {
            // A double-byte character that would not fit whole starts the next piece.
            if (m_piece.size() + 2 > kConvDefPieceBytes) {
                flush();
            }
            m_expectTrail = true;
        }
        m_piece.push_back(c);
        if (m_piece.size() >= kConvDefPieceBytes) {
            flush();
        }
    }

    void flush()
    {
        if (!m_piece.empty()) {
            applyPiece(m_piece, m_table);
            m_piece.clear();
        }
        m_expectTrail = false;
    }

    ConvDefTable& m_table;
    std::string m_piece;
    bool m_pendingCr = false;
    bool m_expectTrail = false;
};

} // namespace

void LoadConvDefText(std::string_view content, ConvDefTable& t)
{
    PieceReader reader(t);
    reader.feed(content);
    reader.finish();
}

bool LoadConvDefFile(const std::string& path, ConvDefTable& t)
{
    const int fd = OpenRegularFile(path);
    std::FILE* f = fd < 0 ? nullptr : ::fdopen(fd, "rb");
    if (!f) {
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    // Read fully first: a read error must leave the table as it was.
    ConvDefTable work = t;
    PieceReader reader(work);
    char buf[65536];
    bool ok = true;
    for (;;) {
        const std::size_t n = std::fread(buf, 1, sizeof buf, f);
        reader.feed(std::string_view(buf, n));
        if (n < sizeof buf) {
            ok = !std::ferror(f);
            break;
        }
    }
    std::fclose(f);
    if (!ok) {
        return false;
    }
    reader.finish();
    t = work;
    return true;
}

std::string ConvDefFileText(const ConvDefTable& t)
{
    std::string out;
    for (int k = 0; k < kConvDefCount; ++k) {
        std::string_view entry = t[static_cast<std::size_t>(k)];
        const auto end = entry.find_first_of(std::string_view("\r\n\0", 3));
        if (end != std::string_view::npos) {
            entry = entry.substr(0, end);
        }
        out.append("FIELD").append(std::to_string(k + 1)).append("=").append(entry).append("\r\n");
    }
    return out;
}

bool SaveConvDefFile(const std::string& path, const ConvDefTable& t)
{
    return WriteFileAtomically(path, ConvDefFileText(t));
}
