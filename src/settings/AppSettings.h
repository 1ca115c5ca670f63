#pragma once

#include "settings/SettingsStore.h"

#include <QPoint>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>

/// Every fact the program remembers between runs, and the only place that
/// knows their keys and values. All of them live under application
/// "Kestrune", section "IP". Flags compare exactly and case-sensitively.
///
/// | Key     | Meaning                               | Values written           |
/// |---------|---------------------------------------|--------------------------|
/// | `Float` | the floating window is on             | "YES", "no" or "No"      |
/// | `Vis`   | the main window is hidden             | "NO" or "YES"            |
/// | `X`,`Y` | the floating window's top-left corner | whole twips, as text     |
class AppSettings
{
public:
    enum class Key
    {
        Float,
        Vis,
        X,
        Y
    };

    /// How the floating window was turned off; each leaves its own text.
    enum class FloatingOff
    {
        ByButton, ///< "no"
        ByMenu,   ///< "No"
    };

    static inline const QString kApplication = QStringLiteral("Kestrune");
    static inline const QString kSection = QStringLiteral("IP");

    explicit AppSettings(SettingsStore store = SettingsStore());

    static QString name(Key key);

    /// The stored text of @p key; empty when absent.
    QString text(Key key) const;

    /// `Float` is exactly "YES".
    bool floatingOnAtStart() const;
    /// `Vis` is exactly "NO".
    bool mainWindowHiddenAtStart() const;

    void saveFloatingOn() const;
    void saveFloatingOff(FloatingOff how) const;
    void saveMainWindowHidden() const;
    void saveMainWindowShown() const;

    /// The stored position of the floating window in logical pixels; a
    /// coordinate without a usable value is 0, each one on its own.
    QPoint floatingPosition() const;
    /// Writes `X` and `Y` in one save (`X` first when both are new), so
    /// the two always come from the same position.
    void saveFloatingPosition(QPoint pixels) const;

    /// Tells @p say, in the user's words, when a change cannot be saved
    /// (once, while it waits to be tried again) and when it has been after
    /// all.
    void reportTroubleTo(std::function<void(const QString &message)> say) const;
    /// In the user's words, the changes not saved yet and why; empty when
    /// every change is saved.
    QString unsavedChanges() const;
    /// The last chance for changes still waiting, waiting for the lock at
    /// most @p wait; nothing is reported or tried from then on
    /// (unsavedChanges() says what is lost).
    void saveWhatWaits(std::chrono::milliseconds wait) const;

    const SettingsStore &store() const { return m_store; }

private:
    bool save(Key key, const QString &text) const;
    /// What @p trouble's keys remember, as a person would say it.
    static QString whatIsRemembered(const SettingsStore::Trouble &trouble);

    SettingsStore m_store;
    struct Say
    {
        std::function<void(const QString &message)> say;
        bool troubleSaid; ///< a change could not be saved, and has not been since
    };
    mutable std::shared_ptr<Say> m_say;
};
