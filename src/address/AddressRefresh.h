#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

class AddressSource;

/// Keeps both address labels current: once when the main window loads and
/// then on every tick of `tmrUpdate`, once a minute, for as long as the
/// program runs. It keeps nothing of its own between writes.
class AddressRefresh : public QObject
{
    Q_OBJECT

public:
    using LabelWriter = std::function<void(const QString &)>;

    static constexpr int kIntervalMs = 60000;

    /// @p writeTxtIP and @p writeLblCurrentIP set the main window's and the
    /// floating window's label; the second one loads the floating window,
    /// hidden, when it is not loaded.
    AddressRefresh(AddressSource &wskIP, LabelWriter writeTxtIP, LabelWriter writeLblCurrentIP,
                   QObject *parent = nullptr);

    /// The display at load: a read for each label, no close before them.
    void showInitial();

    /// One refresh: close, then a read for each label. A read that fails
    /// leaves its label as it was; the next tick tries again.
    void tmrUpdate_Timer();

    const QTimer &tmrUpdate() const { return m_tmrUpdate; }

private:
    void writeBothLabels();

    AddressSource &m_wskIP;
    LabelWriter m_writeTxtIP;
    LabelWriter m_writeLblCurrentIP;
    QTimer m_tmrUpdate;
};
