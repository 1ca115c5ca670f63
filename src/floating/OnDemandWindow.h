#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>
#include <utility>

/// The one instance of a window that comes and goes during a run. Any
/// reference to it through get() loads it first when it is not loaded,
/// which runs its load step and leaves it hidden; unload() closes it, so its
/// unload steps run, and destroys it, and the next reference loads a fresh
/// one. A window that is closed in some other way (by the window manager,
/// say) counts as unloaded as well.
///
/// `Window` is a QWidget that emits `unloaded()` once its close has been
/// accepted.
template<typename Window> class OnDemandWindow
{
public:
    using Loader = std::function<Window *()>;

    explicit OnDemandWindow(Loader load)
        : m_load(std::move(load))
    {}

    OnDemandWindow(const OnDemandWindow &) = delete;
    OnDemandWindow &operator=(const OnDemandWindow &) = delete;

    ~OnDemandWindow()
    {
        for (const QPointer<Window> &closed : std::as_const(m_closed))
            delete closed.data();
        delete m_window.data();
    }

    /// The window, loaded (hidden) first when needed.
    Window &get()
    {
        if (!m_window) {
            m_window = m_load();
            QObject::connect(m_window.data(), &Window::unloaded, m_window.data(),
                             [this, window = m_window.data()] { forget(window); });
        }
        return *m_window;
    }

    bool isLoaded() const { return !m_window.isNull(); }

    /// Loaded and on screen; never loads the window.
    bool isVisible() const { return m_window && m_window->isVisible(); }

    /// Closes the window when it is loaded; its unload steps run.
    void unload()
    {
        if (m_window)
            m_window->close();
    }

private:
    void forget(Window *window)
    {
        if (m_window != window)
            return;
        m_window.clear();
        // It may be in the middle of its own event handler: destroy it from
        // the event loop, and at the latest with this holder.
        m_closed.removeAll(nullptr);
        m_closed.append(window);
        window->deleteLater();
    }

    Loader m_load;
    QPointer<Window> m_window;
    QList<QPointer<Window>> m_closed;
};
