#include "app/TerminationSignals.h"

#include <QSocketNotifier>

// No termination signals here: the session ends the program through its
// windows.
TerminationSignals::TerminationSignals(QObject *parent)
    : QObject(parent)
{}

TerminationSignals::~TerminationSignals() = default;

void TerminationSignals::reserve()
{}

void TerminationSignals::readPending()
{}
