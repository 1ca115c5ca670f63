#include "address/NetworkChangeListener.h"

#include <QMetaObject>
#include <QPointer>
#include <atomic>

// winsock2.h before everything else that pulls in windows.h.
// clang-format off
#include <winsock2.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>
#include <netioapi.h>
// clang-format on

struct NetworkChangeListener::Private
{
    NetworkChangeListener *listener = nullptr;
    HANDLE addressHandle = nullptr;
    HANDLE routeHandle = nullptr;
    std::atomic<bool> news = false;
    bool paused = false;

    ~Private()
    {
        // Waits for callbacks in progress to finish.
        if (addressHandle)
            CancelMibChangeNotify2(addressHandle);
        if (routeHandle)
            CancelMibChangeNotify2(routeHandle);
    }

    // Called on a thread of the system's: note it, and tell the GUI thread.
    static void handOver(PVOID context)
    {
        auto *d = static_cast<Private *>(context);
        d->news = true;
        QMetaObject::invokeMethod(
            d->listener,
            [d] {
                if (!d->paused && d->news.exchange(false))
                    emit d->listener->changed();
            },
            Qt::QueuedConnection);
    }
    static void WINAPI onAddressChange(PVOID context, PMIB_UNICASTIPADDRESS_ROW,
                                       MIB_NOTIFICATION_TYPE)
    {
        handOver(context);
    }
    static void WINAPI onRouteChange(PVOID context, PMIB_IPFORWARD_ROW2, MIB_NOTIFICATION_TYPE)
    {
        handOver(context);
    }
};

NetworkChangeListener::NetworkChangeListener(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
    d->listener = this;
    // Some implementations (Wine's) answer success without a handle and
    // never call back: that is no listener.
    if (NotifyUnicastIpAddressChange(AF_INET, &Private::onAddressChange, d.get(), FALSE,
                                     &d->addressHandle) != NO_ERROR)
        d->addressHandle = nullptr;
    if (NotifyRouteChange2(AF_INET, &Private::onRouteChange, d.get(), FALSE, &d->routeHandle) !=
        NO_ERROR)
        d->routeHandle = nullptr;
}

NetworkChangeListener::~NetworkChangeListener() = default;

bool NetworkChangeListener::isListening() const
{
    return d->addressHandle || d->routeHandle;
}

void NetworkChangeListener::pause()
{
    d->paused = true;
}

void NetworkChangeListener::resume()
{
    d->paused = false;
}

bool NetworkChangeListener::takeNews()
{
    return d->news.exchange(false);
}
