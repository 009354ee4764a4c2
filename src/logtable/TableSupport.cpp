#include "logtable/TableSupport.h"

#include "common/Ascii.h"
#include "common/Cp932.h"
#include "common/KelboError.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace logtable {

std::string openError(const std::string& path, const std::string& reason)
{
    return "テーブル " + path + " を開けません: " + reason;
}

std::string readError(const std::string& path, const std::string& reason)
{
    return "テーブル " + path + " を読めません: " + reason;
}

std::string writeError(const std::string& path, const std::string& reason)
{
    return "テーブル " + path + " に書き込めません: " + reason;
}

std::string fieldReason(std::string_view cp932Name, const std::string& rest)
{
    return "フィールド " + cp932::toUtf8(cp932Name) + " " + rest;
}

void throwClosed()
{
    throw KelboError(kClosedDatasetMessage);
}

std::string formatNumber(double value)
{
    if (!std::isfinite(value)) {
        return "";
    }
    if (value == 0) {
        return "0";
    }
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (result.ec != std::errc()) {
        return "";
    }
    return std::string(buffer, result.ptr);
}

std::string formatInteger(long long value)
{
    return std::to_string(value);
}

static bool validDate(int year, int month, int day)
{
    static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > days[month - 1]) {
        return false;
    }
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return !(month == 2 && day == 29 && !leap);
}

std::string formatDate(int year, int month, int day)
{
    if (!validDate(year, month, day)) {
        return "";
    }
    // "yyyy/MM/dd", put together by hand: it is done for every date of every record read.
    std::string text = "0000/00/00";
    for (int i = 3; i >= 0; --i, year /= 10) {
        text[static_cast<std::size_t>(i)] = static_cast<char>('0' + year % 10);
    }
    text[5] = static_cast<char>('0' + month / 10);
    text[6] = static_cast<char>('0' + month % 10);
    text[8] = static_cast<char>('0' + day / 10);
    text[9] = static_cast<char>('0' + day % 10);
    return text;
}

std::string formatTime(long long milliseconds)
{
    if (milliseconds < 0) {
        return "";
    }
    const long long seconds = milliseconds / 1000;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return buffer;
}

std::string formatDateTime(int year, int month, int day, long long milliseconds)
{
    std::string text = formatDate(year, month, day);
    if (text.empty() || milliseconds / 1000 == 0) {
        return text;
    }
    return text + " " + formatTime(milliseconds);
}

std::string_view trimRight(std::string_view s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

std::string_view trim(std::string_view s)
{
    s = trimRight(s);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    return s;
}

std::string normalizeNumberText(std::string_view text)
{
    const std::string_view t = trim(text);
    if (t.empty()) {
        return "";
    }
    std::string_view digits = t;
    if (digits.front() == '+') {
        digits.remove_prefix(1);
    }
    double value = 0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (result.ec != std::errc() || result.ptr != digits.data() + digits.size()) {
        return std::string(t);
    }
    return formatNumber(value);
}

static bool readDigits(std::string_view s, int& value)
{
    if (s.empty() || s.size() > 4) {
        return false;
    }
    value = 0;
    for (const char c : s) {
        if (!ascii::isDigit(static_cast<unsigned char>(c))) {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return true;
}

std::string normalizeDateText(std::string_view text)
{
    const std::string_view t = trim(text);
    if (t.empty()) {
        return "";
    }
    int year = 0;
    int month = 0;
    int day = 0;
    bool ok = false;
    if (t.size() == 8 && readDigits(t.substr(0, 4), year) && readDigits(t.substr(4, 2), month)
        && readDigits(t.substr(6, 2), day)) {
        ok = true;
    } else {
        const std::size_t a = t.find_first_of("/-.");
        const std::size_t b = a == std::string_view::npos ? a : t.find_first_of("/-.", a + 1);
        if (b != std::string_view::npos) {
            int p1 = 0;
            int p2 = 0;
            int p3 = 0;
            if (readDigits(t.substr(0, a), p1) && readDigits(t.substr(a + 1, b - a - 1), p2)
                && readDigits(t.substr(b + 1), p3)) {
                ok = true;
                if (a == 4) { // yyyy/MM/dd
                    year = p1, month = p2, day = p3;
                } else { // M/d/yyyy
                    month = p1, day = p2, year = p3;
                }
            }
        }
    }
    std::string out = ok ? formatDate(year, month, day) : "";
    return out.empty() ? std::string(t) : out;
}

std::string normalizeLogicalText(std::string_view text)
{
    std::string t(trim(text));
    for (char& c : t) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    if (t == "T" || t == "Y" || t == "TRUE" || t == "YES") {
        return "True";
    }
    if (t == "F" || t == "N" || t == "FALSE" || t == "NO") {
        return "False";
    }
    return "";
}

FileStamp stampOf(int fd)
{
    struct stat st
    {
    };
    FileStamp stamp;
    if (::fstat(fd, &st) == 0) {
        stamp.device = st.st_dev;
        stamp.inode = st.st_ino;
        stamp.size = st.st_size;
        stamp.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    }
    return stamp;
}

static std::string reasonOf(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return "ファイルがありません";
    case EACCES:
    case EPERM:
        return "読み取りが許可されていません";
    case EISDIR:
        return "フォルダです";
    default:
        return std::strerror(error);
    }
}

int openForReading(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        throw KelboError(openError(path, reasonOf(errno)));
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        throw KelboError(openError(path, reasonOf(error)));
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw KelboError(openError(path, "フォルダです"));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throw KelboError(openError(path, "通常のファイルではありません"));
    }
    // Reads block normally from here on.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool readAt(int fd, void* buffer, std::size_t size, off_t offset)
{
    auto* p = static_cast<char*>(buffer);
    while (size > 0) {
        const ssize_t n = ::pread(fd, p, size, offset);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

TableWriter::TableWriter(const std::string& path, const FileStamp& expected)
    : m_path(path)
{
    struct stat st
    {
    };
    if (::stat(path.c_str(), &st) != 0) {
        throw KelboError(writeError(path, reasonOf(errno)));
    }
    // Checked by the mode bits too: a privileged user may open any file for writing, but a table the
    // operator made read-only stays untouched.
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        throw KelboError(writeError(path, "読み取り専用のファイルです"));
    }
    m_fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (m_fd < 0) {
        const int error = errno;
        throw KelboError(writeError(path,
                                    error == EACCES || error == EPERM || error == EROFS ? "読み取り専用のファイルです"
                                                                                        : reasonOf(error)));
    }
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_fd);
        throw KelboError(writeError(path, "ほかのプログラムが使用中です"));
    }
    if (stampOf(m_fd) != expected) {
        ::close(m_fd);
        throw KelboError(writeError(path, changedReason()));
    }
}

std::string changedReason()
{
    return "開いた後にほかのプログラムが変更しました. 接続し直してください";
}

void TableWriter::expect(const FileStamp& expected)
{
    if (stampOf(m_fd) != expected) {
        refuseChanged();
    }
}

void TableWriter::refuseChanged()
{
    m_sawChange = true;
    throw KelboError(writeError(m_path, changedReason()));
}

TableWriter::~TableWriter()
{
    if (m_fd >= 0) {
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
    }
}

void TableWriter::readAt(void* buffer, std::size_t size, off_t offset)
{
    if (!logtable::readAt(m_fd, buffer, size, offset)) {
        throw KelboError(writeError(m_path, "読み込みに失敗しました"));
    }
}

void TableWriter::writeAt(const void* data, std::size_t size, off_t offset)
{
    const auto* p = static_cast<const char*>(data);
    m_written.emplace_back(offset, std::string(p, size));
    while (size > 0) {
        const ssize_t n = ::pwrite(m_fd, p, size, offset);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            throw KelboError(writeError(m_path, std::strerror(errno)));
        }
        p += n;
        size -= static_cast<std::size_t>(n);
        offset += n;
    }
}

FileStamp TableWriter::sync()
{
    if (::fsync(m_fd) != 0) {
        throw KelboError(writeError(m_path, std::strerror(errno)));
    }
    // A write that reported success but did not land is reported here, not taken as done.
    for (const auto& [offset, bytes] : m_written) {
        std::string back(bytes.size(), '\0');
        if (!logtable::readAt(m_fd, back.data(), back.size(), offset) || back != bytes) {
            throw KelboError(writeError(m_path, "書き込んだ内容を読み返せません"));
        }
    }
    m_written.clear();
    return stampOf(m_fd);
}

} // namespace logtable
