#ifndef KELBO_CARDLINK_CARDAUTOMATION_H
#define KELBO_CARDLINK_CARDAUTOMATION_H

#include <QDBusConnection>
#include <QString>
#include <QVariantList>
#include <memory>
#include <vector>

/** @brief The card program's automation object, reached late bound by operation name.
 *
 * Arguments are QString or int values, sent exactly as those types. Every failure throws KelboError whose text is
 * the program's own words, with the bus's detail on a second line. */
class CardAutomation
{
public:
    virtual ~CardAutomation() = default;

    /** @brief Calls method @p name and waits for its answer; the result is discarded. */
    virtual void call(const QString& name, const QVariantList& args = {}) = 0;
    /** @brief Without arguments reads property @p name; with arguments calls method @p name. The result, which must
     * be an integer within the range of int. */
    virtual int get(const QString& name, const QVariantList& args = {}) = 0;
    /** @brief Writes property @p name. */
    virtual void put(const QString& name, int value) = 0;

    /** @brief get(@p name, {i}) for every i from 0 to @p count - 1, in that order; the results. Reads change
     * nothing in the card program, so an implementation may keep several in flight. */
    virtual std::vector<int> getEach(const QString& name, int count)
    {
        std::vector<int> out;
        for (int i = 0; i < count; ++i) {
            out.push_back(get(name, {i}));
        }
        return out;
    }

    /** @brief True once a failure showed that the card program has gone away (its connection left the bus): it
     * holds nothing any more and is not called again. */
    virtual bool gone() const { return false; }
};

/** @brief Well-known names of the card program on the session bus. */
namespace cardbus {
inline const QString kService = QStringLiteral("CARDO.Application");
inline const QString kPath = QStringLiteral("/CARDO/Application");
inline const QString kInterface = QStringLiteral("CARDO.Application");
/** Time allowed for one call, and for the bus to start the card program. */
inline constexpr int kCallTimeoutMs = 10000;
inline constexpr int kStartTimeoutMs = 30000;
/** Reads kept in flight: well below the 128 pending replies a plain bus allows per connection. */
inline constexpr int kReadWindow = 64;
} // namespace cardbus

/** @brief The program's own words for failures of the card program. */
namespace cardtext {
inline const QString kNotAnswering = QStringLiteral("CARDOが応答しません。");
/** %1: the operation. */
inline const QString kRefused = QStringLiteral("CARDOが %1 を受け付けませんでした。");
/** %1: the operation. */
inline const QString kNotANumber = QStringLiteral("%1 の戻り値が数値ではありません");
} // namespace cardtext

/** @brief The card program on a D-Bus connection.
 *
 * Each call is made and answered before the next one is made, and gets the whole call timeout to itself. While it
 * waits, the thread's event loop runs without user input, so that a window stays painted. */
class DBusCardAutomation : public CardAutomation
{
public:
    /** @brief Asks the bus to start @p service and checks that the name has an owner. Returns nullptr when that
     * fails; @p why then receives the reason, in the program's own words with the bus's detail. */
    static std::unique_ptr<DBusCardAutomation> create(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                                                      const QString& service = cardbus::kService,
                                                      QString* why = nullptr);
    ~DBusCardAutomation() override;

    void call(const QString& name, const QVariantList& args = {}) override;
    int get(const QString& name, const QVariantList& args = {}) override;
    void put(const QString& name, int value) override;
    std::vector<int> getEach(const QString& name, int count) override;
    bool gone() const override { return m_gone; }

    /** @brief The time each call may take (cardbus::kCallTimeoutMs unless set). */
    void setCallTimeout(int ms) { m_timeoutMs = ms; }

private:
    DBusCardAutomation(const QDBusConnection& bus, const QString& service);
    /** Makes @p m, waits for its answer and returns it; throws on any failure. */
    QDBusMessage roundTrip(const QDBusMessage& m, const QString& name);
    /** The error of a failed call @p name, in the program's words; notes whether the card program is gone. */
    void refuseIfGone(const QString& name);
    [[noreturn]] void fail(const QString& name, const QString& errorName, const QString& errorMessage);

    QDBusConnection m_bus;
    QString m_service;
    int m_timeoutMs = cardbus::kCallTimeoutMs;
    bool m_gone = false;
};

#endif
