#pragma once

#include "address/AddressSource.h"

#include <QList>
#include <QString>
#include <optional>

/// An address source that answers what the test tells it: one fixed
/// address, or a queue of answers (no value = a failed read).
class FakeAddressSource final : public AddressSource
{
public:
    explicit FakeAddressSource(QString address = QStringLiteral("10.1.2.3"))
        : m_address(std::move(address))
    {}

    void setAddress(const QString &address) { m_address = address; }
    /// The next reads answer these, in order, before the fixed address again.
    void queue(std::initializer_list<std::optional<QString>> answers) { m_queue.append(answers); }

    void close() override { ++closes; }
    std::optional<QString> localIP() override
    {
        ++reads;
        if (!m_queue.isEmpty())
            return m_queue.takeFirst();
        return m_address;
    }

    int closes = 0;
    int reads = 0;

private:
    QString m_address;
    QList<std::optional<QString>> m_queue;
};
