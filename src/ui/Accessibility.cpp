#include "ui/Accessibility.h"

#include "ui/FrameShape.h"
#include "ui/LinkLabel.h"

#include <QAccessibleWidget>
#include <QWidget>
#include <utility>

namespace {

/// A plain QWidget that is a window of its own, whose content is its child
/// widgets apart from decoration.
class WindowAccessible : public QAccessibleWidget
{
public:
    explicit WindowAccessible(QWidget *window)
        : QAccessibleWidget(window, QAccessible::Window)
    {}

    int childCount() const override { return int(content().size()); }

    QAccessibleInterface *child(int index) const override
    {
        const QWidgetList widgets = content();
        if (index < 0 || index >= widgets.size())
            return nullptr;
        return QAccessible::queryAccessibleInterface(widgets.at(index));
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (!child)
            return -1;
        return int(content().indexOf(qobject_cast<QWidget *>(child->object())));
    }

    QAccessibleInterface *childAt(int x, int y) const override
    {
        const QPoint at = widget()->mapFromGlobal(QPoint(x, y));
        const QWidgetList widgets = content();
        // The topmost first: later siblings lie above earlier ones.
        for (auto it = widgets.crbegin(); it != widgets.crend(); ++it) {
            if ((*it)->isVisible() && (*it)->geometry().contains(at))
                return QAccessible::queryAccessibleInterface(*it);
        }
        return nullptr;
    }

private:
    QWidgetList content() const
    {
        QWidgetList widgets;
        for (QObject *child : widget()->children()) {
            auto *w = qobject_cast<QWidget *>(child);
            // Menus and dialogs are windows of their own.
            if (w && !w->isWindow() && !qobject_cast<FrameShape *>(w))
                widgets.append(w);
        }
        return widgets;
    }
};

/// A link: its name is its text, and it can be pressed.
class LinkAccessible : public QAccessibleWidget
{
public:
    explicit LinkAccessible(LinkLabel *label)
        : QAccessibleWidget(label, QAccessible::Link)
    {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<LinkLabel *>(widget())->text();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.linked = true;
        return s;
    }

    QStringList actionNames() const override
    {
        return QStringList(pressAction()) + QAccessibleWidget::actionNames();
    }

    void doAction(const QString &actionName) override
    {
        if (actionName == pressAction() && widget()->isEnabled())
            static_cast<LinkLabel *>(widget())->click();
        else
            QAccessibleWidget::doAction(actionName);
    }
};

QList<const QMetaObject *> &windowClasses()
{
    static QList<const QMetaObject *> classes;
    return classes;
}

QAccessibleInterface *factory(const QString &className, QObject *object)
{
    auto *widget = qobject_cast<QWidget *>(object);
    // Asked once per class up the object's hierarchy: answer for the object's
    // own class only, so that Qt's interfaces serve everything else.
    if (!widget || className != QLatin1String(object->metaObject()->className()))
        return nullptr;
    if (auto *label = qobject_cast<LinkLabel *>(widget))
        return new LinkAccessible(label);
    if (widget->isWindow() && windowClasses().contains(object->metaObject()))
        return new WindowAccessible(widget);
    return nullptr;
}

} // namespace

namespace Accessibility {

void install(const QList<const QMetaObject *> &classes)
{
    windowClasses() = classes;
    static bool installed = false;
    if (!std::exchange(installed, true))
        QAccessible::installFactory(factory);
}

} // namespace Accessibility
