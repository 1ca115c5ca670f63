#pragma once

#include <QByteArray>
#include <QString>

/// Where the channel between the copies of one login session on one display
/// lives: a socket in the user's runtime folder, else in a folder of the
/// user's own under the temporary folder.
namespace InstanceChannelPath {

/// The socket's path; empty, with the reason in @p whyNot, where no folder
/// fit for it can be had.
QByteArray choose(QString *whyNot);

} // namespace InstanceChannelPath
