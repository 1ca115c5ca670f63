#include "ui/FixedSize.h"

#include <QEvent>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <utility>

namespace {

class Keeper : public QObject
{
public:
    explicit Keeper(QWidget *window)
        : QObject(window)
    {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Resize)
            return false;
        auto *window = static_cast<QWidget *>(watched);
        const QSize own = window->minimumSize();
        if (own != window->maximumSize() || window->size() == own) {
            m_asked = false;
            return false;
        }
        // Asked already, and given this size again.
        if (std::exchange(m_asked, true))
            return false;
        // Once the window system's change has been taken in.
        QMetaObject::invokeMethod(
            this,
            [window = QPointer<QWidget>(window), own] {
                if (window && window->size() != own)
                    window->resize(own);
            },
            Qt::QueuedConnection);
        return false;
    }

private:
    bool m_asked = false;
};

} // namespace

namespace FixedSize {

void keep(QWidget *window)
{
    new Keeper(window);
}

} // namespace FixedSize
