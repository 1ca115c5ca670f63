#pragma once

#include "settings/SettingsStore.h"

#include <QPoint>
#include <QString>

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

    const SettingsStore &store() const { return m_store; }

private:
    bool save(Key key, const QString &text) const;

    SettingsStore m_store;
};
