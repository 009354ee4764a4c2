#include "CountryFile.h"

#include <QFile>
#include <QStringList>
#include <algorithm>

QString CountryFile::defaultPath()
{
    return QStringLiteral("/usr/share/hamradio-files/cty.dat");
}

bool CountryFile::load(const QString& path, QString* error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error) {
            *error = QStringLiteral("国別ファイル %1 が読めません.").arg(path);
        }
        return false;
    }
    if (!parse(f.readAll(), error)) {
        if (error) {
            *error = QStringLiteral("%1: %2").arg(path, *error);
        }
        return false;
    }
    return true;
}

namespace {

bool isCallText(const QString& s)
{
    if (s.isEmpty()) {
        return false;
    }
    for (const QChar c : s) {
        if (!((c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
              || c == QLatin1Char('/'))) {
            return false;
        }
    }
    return true;
}

/** @p token without its overrides: "AA0(4)[7]" reads "AA0". False when an override is not closed. */
bool withoutOverrides(const QString& token, QString* out)
{
    out->clear();
    for (qsizetype i = 0; i < token.size(); ++i) {
        const QChar c = token[i];
        QChar close;
        if (c == QLatin1Char('(')) {
            close = QLatin1Char(')');
        } else if (c == QLatin1Char('[')) {
            close = QLatin1Char(']');
        } else if (c == QLatin1Char('<')) {
            close = QLatin1Char('>');
        } else if (c == QLatin1Char('{')) {
            close = QLatin1Char('}');
        } else if (c == QLatin1Char('~')) {
            close = QLatin1Char('~');
        } else {
            out->append(c);
            continue;
        }
        const qsizetype end = token.indexOf(close, i + 1);
        if (end < 0) {
            return false;
        }
        i = end;
    }
    return true;
}

} // namespace

bool CountryFile::parse(const QByteArray& bytes, QString* error)
{
    *this = CountryFile();
    const QString text = QString::fromLatin1(bytes);
    int line = 1;
    qsizetype at = 0;
    auto fail = [&](int where) {
        if (error) {
            *error = QStringLiteral("国別ファイルの %1 行目が読めません.").arg(where);
        }
        *this = CountryFile();
        return false;
    };
    while (true) {
        while (at < text.size() && text[at].isSpace()) {
            line += text[at] == QLatin1Char('\n') ? 1 : 0;
            ++at;
        }
        if (at >= text.size()) {
            break;
        }
        const int startLine = line;
        // The entity's line: eight fields, each closed by ':'.
        QStringList fields;
        while (fields.size() < 8) {
            const qsizetype colon = text.indexOf(QLatin1Char(':'), at);
            const qsizetype semi = text.indexOf(QLatin1Char(';'), at);
            if (colon < 0 || (semi >= 0 && semi < colon)) {
                return fail(startLine);
            }
            const QString field = text.mid(at, colon - at);
            line += static_cast<int>(field.count(QLatin1Char('\n')));
            fields << field.trimmed();
            at = colon + 1;
        }
        // Its prefixes, up to ';'.
        const qsizetype semi = text.indexOf(QLatin1Char(';'), at);
        if (semi < 0) {
            return fail(startLine);
        }
        const QString body = text.mid(at, semi - at);
        line += static_cast<int>(body.count(QLatin1Char('\n')));
        at = semi + 1;

        DxccEntity e;
        e.name = fields[0];
        QString main = fields[7].toUpper();
        if (main.startsWith(QLatin1Char('*'))) {
            e.dxcc = false;
            main.remove(0, 1);
        }
        e.mainPrefix = main;
        if (e.name.isEmpty() || fields[0].contains(QLatin1Char('\n')) || !isCallText(main)) {
            return fail(startLine);
        }
        const int index = static_cast<int>(m_entities.size());
        e.bundle = index;
        for (QString token : body.split(QLatin1Char(','))) {
            token = token.simplified().remove(QLatin1Char(' ')).toUpper();
            if (token.isEmpty()) {
                continue;
            }
            QString plain;
            if (!withoutOverrides(token, &plain)) {
                return fail(startLine);
            }
            const bool exact = plain.startsWith(QLatin1Char('='));
            if (exact) {
                plain.remove(0, 1);
            }
            if (!isCallText(plain)) {
                return fail(startLine);
            }
            if (exact) {
                m_exact.insert(plain, index); // a call listed twice keeps its last entity, as later lines mend earlier
            } else {
                m_prefixes.insert(plain, index);
                m_longestPrefix = std::max(m_longestPrefix, static_cast<int>(plain.size()));
            }
        }
        m_main.insert(e.mainPrefix, index);
        m_entities.push_back(e);
    }
    if (m_entities.empty()) {
        if (error) {
            *error = QStringLiteral("国別ファイルに国がありません.");
        }
        return false;
    }
    // A part counted by other awards only goes with the DXCC entity whose prefix it lies in ("IT9" with "I").
    for (DxccEntity& e : m_entities) {
        if (e.dxcc) {
            continue;
        }
        const QString p = e.mainPrefix.section(QLatin1Char('/'), 0, 0);
        for (qsizetype n = std::min<qsizetype>(p.size(), m_longestPrefix); n > 0; --n) {
            const auto it = m_prefixes.constFind(p.left(n));
            if (it != m_prefixes.constEnd() && m_entities[static_cast<std::size_t>(*it)].dxcc) {
                e.bundle = *it;
                break;
            }
        }
    }
    return true;
}

int CountryFile::lookup(const QString& call) const
{
    const auto exact = m_exact.constFind(call);
    if (exact != m_exact.constEnd()) {
        return *exact;
    }
    for (qsizetype n = std::min<qsizetype>(call.size(), m_longestPrefix); n > 0; --n) {
        const auto it = m_prefixes.constFind(call.left(n));
        if (it != m_prefixes.constEnd()) {
            return *it;
        }
    }
    return -1;
}

int CountryFile::byMainPrefix(const QString& prefix) const
{
    return m_main.value(prefix, -1);
}
