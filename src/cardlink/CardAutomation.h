#ifndef KELBO_CARDLINK_CARDAUTOMATION_H
#define KELBO_CARDLINK_CARDAUTOMATION_H

#include <QDBusConnection>
#include <QString>
#include <QVariantList>
#include <deque>
#include <memory>
#include <vector>

class QDBusPendingCall;

/** @brief The card program's automation object, reached late bound by operation name.
 *
 * Arguments are QString or int values, sent exactly as those types. Every failure throws KelboError with the
 * error's own text. */
class CardAutomation
{
public:
    virtual ~CardAutomation() = default;

    /** @brief Calls method @p name; its result is discarded. */
    virtual void call(const QString& name, const QVariantList& args = {}) = 0;
    /** @brief Without arguments reads property @p name; with arguments calls method @p name. The result as int. */
    virtual int get(const QString& name, const QVariantList& args = {}) = 0;
    /** @brief Writes property @p name. */
    virtual void put(const QString& name, int value) = 0;

    /** @brief Sends method call @p name without waiting for its answer. A failure is thrown at the latest by the
     * next flush(), call(), get() or put(). */
    virtual void post(const QString& name, const QVariantList& args) { call(name, args); }
    /** @brief Waits for every posted call; throws the first failure among them. */
    virtual void flush() { }
    /** @brief get(@p name, {i}) for every i from 0 to @p count - 1, in that order; the results. */
    virtual std::vector<int> getEach(const QString& name, int count)
    {
        std::vector<int> out;
        for (int i = 0; i < count; ++i) {
            out.push_back(get(name, {i}));
        }
        return out;
    }
};

/** @brief Well-known names of the card program on the session bus. */
namespace cardbus {
inline const QString kService = QStringLiteral("CARDO.Application");
inline const QString kPath = QStringLiteral("/CARDO/Application");
inline const QString kInterface = QStringLiteral("CARDO.Application");
/** Time allowed for one call, and for the bus to start the card program. */
inline constexpr int kCallTimeoutMs = 10000;
inline constexpr int kStartTimeoutMs = 30000;
/** Posted calls kept in flight: well below the 128 pending replies a plain bus allows per connection. */
inline constexpr int kPostWindow = 64;
} // namespace cardbus

/** @brief The card program on a D-Bus connection. */
class DBusCardAutomation : public CardAutomation
{
public:
    /** @brief Asks the bus to start @p service and checks that the name has an owner. Returns nullptr when that
     * fails; @p why then receives the reason (for logs; the user is told only that the program cannot start). */
    static std::unique_ptr<DBusCardAutomation> create(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                                                      const QString& service = cardbus::kService,
                                                      QString* why = nullptr);
    ~DBusCardAutomation() override;

    void call(const QString& name, const QVariantList& args = {}) override;
    int get(const QString& name, const QVariantList& args = {}) override;
    void put(const QString& name, int value) override;
    void post(const QString& name, const QVariantList& args) override;
    void flush() override;
    std::vector<int> getEach(const QString& name, int count) override;

private:
    DBusCardAutomation(const QDBusConnection& bus, const QString& service);
    /** Waits for the oldest posted call; on failure drops the rest and throws. */
    void settleOldest();

    QDBusConnection m_bus;
    QString m_service;
    std::deque<QDBusPendingCall> m_posted;
};

#endif
