#!/bin/sh
# Runs a test in a network namespace of its own, with only a loopback, so that the service's
# default port is free whatever else runs on this machine. Where namespaces are not allowed
# the test runs as it is (and skips what needs the port when it is taken).
if unshare -n true 2>/dev/null; then
  exec unshare -n sh -c 'ip link set lo up && exec "$@"' sh "$@"
fi
exec "$@"
