#!/usr/bin/env bash
# Runs chronyd as an NTP server on one loopback address and port, for tests and benchmarks.
# It never touches this machine's clock (-x), and everything it writes stays in <dir>.
# Usage: tests/peers/chronyd.sh <dir> <address> <port> [path-to-chronyd]
# Exit 9 when chronyd is not there (scripts/fetch-peers unpacks it into build/peers).
set -euo pipefail
if [ $# -lt 3 ]; then
  echo "usage: $0 <dir> <address> <port> [chronyd]" >&2
  exit 2
fi
dir=$1 addr=$2 port=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
chronyd=${4:-}
if [ -z "$chronyd" ]; then
  for c in "$root/build/peers/usr/sbin/chronyd" /usr/sbin/chronyd; do
    if [ -x "$c" ]; then chronyd=$c; break; fi
  done
fi
if [ -z "$chronyd" ]; then
  echo "chronyd not found; run scripts/fetch-peers" >&2
  exit 9
fi

cat >"$dir/chrony.conf" <<EOF
# Serve the local clock at stratum 10, on $addr port $port only, to loopback clients.
local stratum 10
allow 127.0.0.0/8
bindaddress $addr
port $port
# No command port and no command socket, so nothing is created outside $dir.
cmdport 0
bindcmdaddress /
pidfile $dir/chronyd.pid
driftfile $dir/chrony.drift
EOF

# -x: never adjust or set the system clock. -d: foreground, log to standard error.
# -u root: the package's own user does not exist where the package is only unpacked;
# chronyd refuses to start without root in any case.
exec "$chronyd" -x -d -u root -f "$dir/chrony.conf"
