#include "app/FrmIP.h"

#include "address/AddressChangeWatcher.h"
#include "address/AddressRefresh.h"
#include "app/CloseQuestion.h"
#include "app/Keyboard.h"
#include "floating/FloatIpMenu.h"
#include "platform/NativeWindow.h"
#include "settings/AppSettings.h"
#include "tray/TrayIcon.h"
#include "ui/AppIcon.h"
#include "ui/FixedSize.h"
#include "ui/FormFonts.h"
#include "ui/LinkLabel.h"
#include "ui/Twips.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <utility>

namespace {

// The window is 3270 twips wide inside and 1665 twips high outside, title
// bar and borders included. Where the window system cannot tell how high those
// are before the window is shown, a classic title bar and frame of 360 twips.
constexpr int kClientWidthTwips = 3270;
constexpr int kOuterHeightTwips = 1665;
constexpr int kClassicFrameTwips = 360;

/// How long the shut-down waits for a settings lock that someone else holds.
constexpr std::chrono::milliseconds kLastSaveWait{1000};

void place(QWidget *control, int left, int top, int width, int height)
{
    const int dpi = control->logicalDpiX();
    control->setGeometry(Twips::toPixels(left, dpi), Twips::toPixels(top, dpi),
                         Twips::toPixels(width, dpi), Twips::toPixels(height, dpi));
}

QPushButton *makeButton(const QString &caption, const char *name, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setFont(FormFonts::system(9.75, true));
    button->setAutoDefault(false);
    return button;
}

} // namespace

FrmIP::FrmIP(const AppSettings &settings, AddressSource &wskIP, QWidget *parent)
    // A fixed single-line border on Windows, not a sizing frame; nothing on X11.
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint)
    , txtIP(new QLabel(QStringLiteral("255.255.255.255"), this))
    , cmdShow(makeButton(QStringLiteral("Floating On"), "cmdShow", this))
    , cmdHide(makeButton(QStringLiteral("Hide"), "cmdHide", this))
    , cmdCopy(makeButton(QStringLiteral("Copy"), "cmdCopy", this))
    , lblWebAdd(new LinkLabel(Commands::webAddress(), this))
    , m_settings(settings)
    , m_floating([this, &settings] { return loadFloatingWindow(settings); })
    , m_tray(std::make_unique<TrayIcon>(AppIcon::icon()))
    , m_mnuFloatIp(new FloatIpMenu(this))
    , m_refresh(std::make_unique<AddressRefresh>(
          wskIP, [this](const QString &text) { txtIP->setText(text); },
          [this](const QString &text) { m_floating.get().setCurrentIP(text); }))
    , m_addressChanges(std::make_unique<AddressChangeWatcher>())
    , m_commands(std::make_unique<Commands>(static_cast<MainWindow &>(*this), m_floating, *m_tray,
                                            *m_mnuFloatIp, settings))
{
    setObjectName(QStringLiteral("frmIP"));
    setWindowTitle(caption());
    // One icon for the window and the tray: its images are read once.
    setWindowIcon(m_tray->icon());
    setAttribute(Qt::WA_QuitOnClose, false);
    layOutControls();
    FixedSize::keep(this);

    connect(cmdCopy, &QPushButton::clicked, m_commands.get(), &Commands::cmdCopy_Click);
    connect(cmdHide, &QPushButton::clicked, m_commands.get(), &Commands::cmdHide_Click);
    connect(cmdShow, &QPushButton::clicked, m_commands.get(), &Commands::cmdShow_Click);
    connect(lblWebAdd, &LinkLabel::clicked, m_commands.get(), &Commands::lblWebAdd_Click);

    connect(qApp, &QCoreApplication::aboutToQuit, this, &FrmIP::shutDown);
    // Hidden behind an icon that has nowhere to be any more, the window
    // comes back, as it does at a start without a notification area.
    connect(m_tray.get(), &TrayIcon::hostLost, this, [this] {
        if (m_loading || m_ended || (isVisible() && !isMinimized()))
            return;
        setWindowState(windowState() & ~Qt::WindowMinimized);
        show();
    });
    // A change of the machine's addresses or routes refreshes at once.
    connect(m_addressChanges.get(), &AddressChangeWatcher::changed, m_refresh.get(),
            &AddressRefresh::tmrUpdate_Timer);

    Form_Load();
}

FrmIP::~FrmIP()
{
    // Destroyed without having shut down (the application ended some other
    // way): the same shut-down, without asking.
    Form_Terminate();
}

QString FrmIP::caption()
{
    return QStringLiteral("Kestrune's IP Tool");
}

void FrmIP::layOutControls()
{
    const int dpi = logicalDpiX();
    const int frame =
        NativeWindow::frameHeight(this).value_or(Twips::toPixels(kClassicFrameTwips, dpi));
    setFixedSize(Twips::toPixels(kClientWidthTwips, dpi),
                 Twips::toPixels(kOuterHeightTwips, dpi) - frame);

    txtIP->setObjectName(QStringLiteral("txtIP"));
    place(txtIP, 120, 120, 3015, 375);
    txtIP->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    txtIP->setFont(FormFonts::named(QStringLiteral("Tahoma"), 14.25, true, true));
    txtIP->setAutoFillBackground(true);
    // A screen reader reads the address itself as the label's name.
    txtIP->setAccessibleDescription(tr("The local IP address of this computer"));
    txtIP->setTextInteractionFlags(Qt::NoTextInteraction);

    place(cmdShow, 120, 600, 1335, 375);
    place(cmdHide, 1440, 600, 855, 375);
    place(cmdCopy, 2280, 600, 855, 375);

    lblWebAdd->setObjectName(QStringLiteral("lblWebAdd"));
    place(lblWebAdd, 720, 1020, 1815, 255);
    lblWebAdd->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    lblWebAdd->setFont(FormFonts::named(QStringLiteral("Arial"), 9, true, false, true));
    QPalette linkPalette = lblWebAdd->palette();
    linkPalette.setColor(QPalette::WindowText, QColor(192, 0, 0));
    lblWebAdd->setPalette(linkPalette);
    lblWebAdd->setAutoFillBackground(true);
    lblWebAdd->setAccessibleDescription(tr("Opens the web site in the browser"));

    // Tab order Copy, Floating, Hide, then the link; Copy has the focus to
    // begin with.
    setTabOrder(cmdCopy, cmdShow);
    setTabOrder(cmdShow, cmdHide);
    setTabOrder(cmdHide, lblWebAdd);
    cmdCopy->setFocus();
}

void FrmIP::Form_Load()
{
    m_loading = true;
    const auto loaded = qScopeGuard([this] { m_loading = false; });
    const bool hiddenAtStart = m_settings.mainWindowHiddenAtStart();

    // The icon first: it docks while the windows are drawn.
    m_tray->AddTrayIcon();
    // Hidden at start only while the tray icon may bring the window back: a
    // notification area that has not answered yet and turns out not to be
    // there shows the window then.
    m_staysHiddenAtStart = hiddenAtStart && !m_tray->isKnownUnreachable();

    if (m_settings.floatingOnAtStart()) {
        // Loaded now, shown once the main window has drawn itself, so that
        // the main window comes no later for a second one; at once when the
        // main window stays hidden.
        FrmFloatingIP &floating = m_floating.get();
        cmdShow->setText(QStringLiteral("Floating Off"));
        m_floatingAfterFirstPaint = !m_staysHiddenAtStart;
        if (m_staysHiddenAtStart)
            floating.show();
        else
            txtIP->installEventFilter(this);
    }

    m_refresh->showInitial();
}

void FrmIP::showFloatingAfterStart()
{
    // A tool window, it takes no focus from the main window as it comes.
    if (std::exchange(m_floatingAfterFirstPaint, false) && !m_ended)
        m_floating.get().show();
}

bool FrmIP::eventFilter(QObject *watched, QEvent *event)
{
    // The address drawn, the main window has been painted.
    if (watched == txtIP && event->type() == QEvent::Paint) {
        txtIP->removeEventFilter(this);
        QMetaObject::invokeMethod(this, &FrmIP::showFloatingAfterStart, Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}

FrmFloatingIP *FrmIP::loadFloatingWindow(const AppSettings &settings)
{
    auto *window =
        new FrmFloatingIP({[&settings] { return settings.floatingPosition(); },
                           [&settings](QPoint at) { settings.saveFloatingPosition(at); }});
    // A window loaded again shows what the main window shows, not its
    // placeholder until the next refresh.
    window->setCurrentIP(txtIP->text());
    // Its popup belongs to this window and opens at the pointer, as a popup
    // of the floating window: on Wayland a popup opens only over the
    // surface that was clicked, and Qt makes a menu transient for its
    // parent widget's window (sway never shows one of the main window, nor
    // of a hidden window).
    connect(window, &FrmFloatingIP::popupRequested, this, [this, window](QPoint at) {
        m_mnuFloatIp->winId();
        m_mnuFloatIp->windowHandle()->setTransientParent(window->windowHandle());
        m_mnuFloatIp->popup(at);
    });
    return window;
}

void FrmIP::setVisible(bool visible)
{
    if (!visible && isVisible()) {
        // Shown again, the same control has the focus.
        m_focusBeforeHiding = focusWidget();
        m_titleBarHeight = geometry().top() - frameGeometry().top();
        // Shown again, a window the window manager has forgotten would be
        // placed afresh: remember where it stood (Qt's idea, when the window
        // system cannot tell, as while minimised).
        m_placeBeforeHiding = NativeWindow::screenPosition(this).value_or(geometry().topLeft());
    } else if (visible && !isVisible() && m_placeBeforeHiding) {
        NativeWindow::forgetGoneWindowManager(this);
        // Never so that the title bar is above the screen.
        QPoint place = *m_placeBeforeHiding;
        if (const QScreen *on = screen())
            place.setY(std::max(place.y(), on->availableGeometry().top() + m_titleBarHeight));
        // Through the window itself: Qt's widget takes a place it already
        // has for done, and the window manager would not be told.
        const QPoint asked = place - m_windowManagerShift;
        if (QWindow *window = windowHandle())
            window->setPosition(asked);
        else
            move(asked);
        // i3 puts the frame of a window it takes in where the window asked
        // for its client area, so every showing would creep down and right
        // by the frame: put back, and asked that much further up and left
        // from then on. Only the last showing's answer counts, and no frame
        // is wider than this: a window manager that moves a window by rules
        // of its own teaches nothing.
        NativeWindow::whenPlaced(this, [this, place, showing = ++m_showings](QPoint at) {
            const QPoint shift = m_windowManagerShift + (at - place);
            constexpr int kWidestFrame = 64;
            if (showing != m_showings || at == place || qAbs(shift.x()) > kWidestFrame ||
                qAbs(shift.y()) > kWidestFrame)
                return;
            m_windowManagerShift = shift;
            if (QWindow *window = windowHandle())
                window->setPosition(place);
        });
    }
    // Hidden before it was drawn: the floating window waits no longer.
    if (!visible)
        showFloatingAfterStart();
    // Shown before any window manager ran (a session that starts its
    // programs early), the window would keep the place it had without one,
    // its title bar above the screen: when one comes, it places the window
    // afresh, as it places a window shown under it. Asked before the window
    // is mapped, so that one that comes meanwhile is not missed.
    if (visible && !std::exchange(m_shownBefore, true))
        NativeWindow::whenWindowManagerArrives(this, [this] { placeAfresh(); });
    QWidget::setVisible(visible);
    if (visible && m_focusBeforeHiding)
        m_focusBeforeHiding->setFocus();
}

void FrmIP::placeAfresh()
{
    // Withdrawn once the window manager has taken the window in, and shown
    // again once it has let it go: anything quicker, while it is starting,
    // can lose the window to it.
    constexpr int kLookEveryMs = 50;
    constexpr int kLooks = 200;
    auto *looking = new QTimer(this);
    looking->start(kLookEveryMs);
    connect(looking, &QTimer::timeout, this, [this, looking, looks = 0, hidden = false]() mutable {
        if (m_ended || ++looks > kLooks || (!hidden && (!isVisible() || isMinimized()))) {
            // Never left withdrawn by this.
            if (hidden && !m_ended)
                QWidget::setVisible(true);
            looking->deleteLater();
            return;
        }
        if (!hidden && NativeWindow::isManaged(this)) {
            hidden = true;
            QWidget::setVisible(false);
        } else if (hidden && !NativeWindow::isManaged(this)) {
            looking->deleteLater();
            QWidget::setVisible(true);
        }
    });
}

void FrmIP::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

void FrmIP::Form_Resize()
{
    // Minimised, the window leaves the screen and the taskbar, and the tray
    // icon is the way back; without a notification area it stays minimised
    // on the taskbar instead. Nothing is stored either way.
    if (!isMinimized())
        return;
    // After the state change has finished: a minimise that also shows the
    // window (showMinimized()) would otherwise show it again right away.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (isMinimized() && isVisible() && m_tray->isReachable())
                hide();
        },
        Qt::QueuedConnection);
}

void FrmIP::closeEvent(QCloseEvent *event)
{
    event->ignore();
    if (m_ended) {
        event->accept();
        return;
    }
    if (event->spontaneous()) {
        // The user asked: the title bar's close button or the window
        // manager's close command.
        Form_Unload();
        return;
    }
    // Closed by the application quitting (the session ending, say).
    shutDown();
    event->accept();
}

void FrmIP::Form_Unload()
{
    if (m_ended)
        return;
    const CloseQuestion::Answer answer = CloseQuestion::ask(this);
    // The program may have ended while the question was open (a signal, the
    // session): that is no answer to act on.
    if (m_ended || answer == CloseQuestion::Answer::Unanswered)
        return;
    if (answer == CloseQuestion::Answer::HideInstead) {
        m_commands->cmdHide_Click();
        return;
    }
    shutDown();
}

void FrmIP::showFromOutside(const QByteArray &activationToken)
{
    if (m_ended)
        return;
    // Where the program cannot tell whether the compositor minimised the
    // window, nor undo it, and nothing lets it ask for the window to come
    // forward, the window is made anew: a new one always comes up shown.
    if (activationToken.isEmpty() && !NativeWindow::canRestoreMinimised() && isVisible())
        setVisible(false);
    // Destroyed by another program: made anew.
    if (NativeWindow::isDestroyedFromOutside(this)) {
        m_placeBeforeHiding.reset();
        destroy();
        QWidget::setVisible(false);
    }
    NativeWindow::useActivationToken(activationToken);
    m_commands->mnuRMBClickShow_Click();
    NativeWindow::clearActivationToken();
}

QString FrmIP::shownAddress() const
{
    return txtIP->text();
}

void FrmIP::setWindowShown(bool shown)
{
    // Hidden behind no icon, the window could never be brought back:
    // without a notification area it goes to the taskbar instead, and stays
    // where it is where the program could not bring it back from there.
    if (!shown && !m_tray->isReachable()) {
        if (NativeWindow::canRestoreMinimised())
            showMinimized();
        return;
    }
    setVisible(shown);
}

void FrmIP::restoreWindow()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
}

void FrmIP::setFloatingButtonCaption(const QString &caption)
{
    cmdShow->setText(caption);
}

void FrmIP::requestClose()
{
    Form_Unload();
}

void FrmIP::Form_Terminate()
{
    shutDown();
}

void FrmIP::shutDown()
{
    if (m_ended)
        return;
    m_ended = true;

    m_tray->DeleteTrayIcon();
    FrmFloatingIP &floating = m_floating.get();
    floating.storePosition();
    floating.endHandlers();

    hide();
    floating.hide();
    // Values still waiting (for a lock someone else holds, or after a
    // failed write) get a last chance, with nothing left on screen to keep
    // waiting.
    m_settings.saveWhatWaits(kLastSaveWait);
    emit ended();
}

void FrmIP::keyPressEvent(QKeyEvent *event)
{
    // Keys the focused button does not use arrive here too, once per press,
    // named as their Latin letter in a Cyrillic, Greek or Hebrew layout (as
    // Windows names the key).
    if (!event->isAutoRepeat())
        m_commands->Form_KeyDown(Keyboard::latinLetter(event).value_or(event->key()),
                                 event->modifiers());
    // Enter presses the focused button, as Space does, as on Windows and in
    // dialogs; no button is a default button.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    auto *button = qobject_cast<QPushButton *>(focusWidget());
    if (enter && button && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        event->accept();
        if (!event->isAutoRepeat())
            button->click();
        return;
    }
    QWidget::keyPressEvent(event);
}
