#include "common/Cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <cstring>

namespace cp932 {

std::size_t cutLength(std::string_view s, std::size_t capacity)
{
    if (s.size() <= capacity) {
        // Still drop a lone lead byte at the very end only when the text itself ends in one: a text that
        // fits is kept as it stands.
        return s.size();
    }
    std::size_t i = 0;
    while (i < capacity) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t width = isLeadByte(c) ? 2 : 1;
        if (i + width > capacity) {
            break;
        }
        i += width;
    }
    return i;
}

std::string cut(std::string_view s, std::size_t capacity)
{
    return std::string(s.substr(0, cutLength(s, capacity)));
}

std::size_t copyTo(char* dest, std::size_t size, std::string_view s)
{
    if (size == 0) {
        return 0;
    }
    const std::size_t n = cutLength(s, size - 1);
    if (n > 0) {
        std::memcpy(dest, s.data(), n);
    }
    dest[n] = '\0';
    return n;
}

std::string toUpperAscii(std::string_view s)
{
    std::string out(s);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        if (isLeadByte(c)) {
            ++i;
        } else if (c >= 'a' && c <= 'z') {
            out[i] = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

void toUpperAsciiInPlace(char* s)
{
    for (; *s; ++s) {
        const auto c = static_cast<unsigned char>(*s);
        if (isLeadByte(c)) {
            if (!s[1]) {
                break;
            }
            ++s;
        } else if (c >= 'a' && c <= 'z') {
            *s = static_cast<char>(c - 'a' + 'A');
        }
    }
}

int compareNoCase(std::string_view a, std::string_view b)
{
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    bool trail = false;
    for (std::size_t i = 0; i < n; ++i) {
        auto ca = static_cast<unsigned char>(a[i]);
        auto cb = static_cast<unsigned char>(b[i]);
        if (!trail) {
            if (ca >= 'a' && ca <= 'z') {
                ca = static_cast<unsigned char>(ca - 'a' + 'A');
            }
            if (cb >= 'a' && cb <= 'z') {
                cb = static_cast<unsigned char>(cb - 'a' + 'A');
            }
        }
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
        trail = !trail && isLeadByte(ca);
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

QString toUnicode(std::string_view s)
{
    QStringDecoder decoder("Shift_JIS");
    if (!decoder.isValid()) {
        return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
    }
    return decoder.decode(QByteArrayView(s.data(), static_cast<qsizetype>(s.size())));
}

std::string fromUnicode(const QString& s)
{
    QStringEncoder encoder("Shift_JIS", QStringEncoder::Flag::Default);
    if (!encoder.isValid()) {
        return s.toLatin1().toStdString();
    }
    const QByteArray bytes = encoder.encode(s);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::string toUtf8(std::string_view s)
{
    return toUnicode(s).toStdString();
}

std::string fromUtf8(std::string_view s)
{
    return fromUnicode(QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())));
}

} // namespace cp932
