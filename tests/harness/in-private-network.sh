#!/usr/bin/env bash
# Runs a test program in a network namespace of its own (only a loopback
# interface to begin with), where it may add and remove interfaces, addresses
# and routes freely. Where namespaces cannot be made (no privilege), the
# program runs as it is and is told so.
set -u
if unshare --net true 2>/dev/null; then
    exec unshare --net "$@"
fi
export KESTRUNE_NO_PRIVATE_NETWORK=1
exec "$@"
