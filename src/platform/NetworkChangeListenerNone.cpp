#include "platform/NetworkChangeListener.h"

struct NetworkChangeListener::Private
{
};

NetworkChangeListener::NetworkChangeListener(QObject *parent)
    : QObject(parent)
{}

NetworkChangeListener::~NetworkChangeListener() = default;

bool NetworkChangeListener::isListening() const
{
    return false;
}

void NetworkChangeListener::pause()
{}

void NetworkChangeListener::resume()
{}

bool NetworkChangeListener::takeNews()
{
    return false;
}
