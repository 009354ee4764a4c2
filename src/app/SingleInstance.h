#ifndef KELBO_APP_SINGLEINSTANCE_H
#define KELBO_APP_SINGLEINSTANCE_H

#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>

class QLocalServer;
class QLocalSocket;

/** @brief One KELBO per user session: the first start listens on a local socket of the user's own; a later start
 * hands its command line and current folder to it and leaves, so that two windows never share one log and one card
 * printer. */
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    /** @brief The socket's path: in $XDG_RUNTIME_DIR (the user's session), else in the temporary folder with the
     * user's id in its name. */
    static QString defaultName();

    /** @brief Hands @p arguments (the program's path first) and @p currentDir to the KELBO listening on @p name;
     * true once it has taken them, false when none answers. */
    static bool handOff(const QString& name, const QStringList& arguments, const QString& currentDir);

    /** @brief Listens on @p name for later starts (a socket left behind by a KELBO that ended is replaced); false
     * when that fails, and then this KELBO just runs on its own. */
    bool listen(const QString& name);

    /** @brief A start's request as it travels: a length of four bytes (big-endian), then the current folder and the
     * arguments in UTF-8, each ended by a zero byte. */
    static QByteArray encodeRequest(const QStringList& arguments, const QString& currentDir);
    /** @brief The arguments and current folder of a request's bytes after the length; none when they are no request. */
    static std::optional<std::pair<QStringList, QString>> decodeRequest(const QByteArray& payload);

signals:
    /** @brief A later start handed over its command line and current folder. */
    void started(const QStringList& arguments, const QString& currentDir);

private:
    void takeRequest(QLocalSocket* socket);

    QLocalServer* m_server = nullptr;
};

#endif
