#pragma once

#include <QPoint>
#include <QWidget>

class QTimer;
#include <functional>

class FrameShape;
class QLabel;

/// The small borderless window that stays above all others and shows the
/// address on one line. A left drag moves it, a right press asks for its
/// popup menu (which the main window hosts), and it remembers where it
/// stood: its load step restores the stored position, and closing or
/// destroying it stores the position again.
///
/// It holds no other logic: the main window writes its label, shows it and
/// unloads it, and the commands write whether it is on.
class FrmFloatingIP : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kWidthTwips = 2295;
    static constexpr int kHeightTwips = 330;

    /// Where the window's place is kept between loads: read by the load
    /// step, written when the window stores where it stands.
    struct PlaceStore
    {
        std::function<QPoint()> read;
        std::function<void(QPoint)> write;
    };

    /// Loads the window (the load step), hidden.
    explicit FrmFloatingIP(PlaceStore place);
    ~FrmFloatingIP() override;

    void setCurrentIP(const QString &text);
    QString currentIP() const;

    /// Where the window stands on the screen (logical pixels), as the
    /// window system has it: the outer corner of its frame where a window
    /// manager framed it (awesome draws a border round every window), which
    /// is what a move asks for. Stored so, it comes back where it was.
    QPoint screenPosition() const;

    /// A left drag has started since the last left press.
    bool isBeingDragged() const { return m_dragStarted; }

    /// The least of the window that must be on a screen for the pointer to
    /// take hold of it.
    static constexpr QSize kGrip{16, 8};

    /// Where a window of @p size stored at @p stored is placed: there, when
    /// a grip's worth of it is on some screen; otherwise moved onto the
    /// nearest screen just far enough for that.
    static QPoint reachablePosition(QPoint stored, QSize size);

    /// Stores where the window stands, unless it has not moved from a place
    /// the load step chose instead of an unreachable stored one.
    void storePosition();

    void setVisible(bool visible) override;

    /// The process is ending: none of this window's handlers may run again,
    /// so destroying it stores nothing.
    void endHandlers();

signals:
    /// A right press on the window or its label, at @p globalPos.
    void popupRequested(QPoint globalPos);
    /// The window has been closed and is to be destroyed.
    void unloaded();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Load();

    PlaceStore m_place;
    QLabel *lblCurrentIP;
    FrameShape *shpBorder;
    bool m_keepStoredText = false;
    bool m_movedByUser = false;
    bool m_unloaded = false;
    bool m_handlersEnded = false;

    // Following the pointer ourselves, where the window system will not move
    // the window for us.
    bool m_dragStarted = false;
    bool m_followingPointer = false;
    QPoint m_pressedAt;
    QPoint m_grabOffset;
    /// A move by the window manager's own loop has ended when the window
    /// has stood still this long.
    QTimer *m_settled;
};
