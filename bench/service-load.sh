#!/usr/bin/env bash
# Load on the service's remote log: 32 concurrent connections posting
# addlog.php log lines on loopback for 20 seconds with wrk. Prints requests
# per second and the p99 latency, then compares the rows stored with the
# requests answered.
#
# Usage: bench/service-load.sh [build folder]   (default: $TRELLMOND_BUILD_DIR or build)
# Environment: DURATION (seconds, default 20), CONNECTIONS (default 32), SYNC (normal|full).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-${TRELLMOND_BUILD_DIR:-build}}"
service="$build/service/trellmond-service"
duration="${DURATION:-20}"
connections="${CONNECTIONS:-32}"
sync="${SYNC:-normal}"
command -v wrk >/dev/null || { echo "wrk is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
command -v sqlite3 >/dev/null || { echo "sqlite3 is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
[ -x "$service" ] || { echo "build $service first" >&2; exit 1; }

work="$(mktemp -d)"
pid=""
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

"$service" --port 0 --database "$work/bench.sqlite" --sync "$sync" >"$work/out" 2>"$work/err" &
pid=$!
for _ in $(seq 100); do grep -q listening "$work/out" 2>/dev/null && break; sleep 0.05; done
url="$(sed -n 's/^listening on //p' "$work/out")"
[ -n "$url" ] || { echo "the service did not start:" >&2; cat "$work/err" >&2; exit 1; }

# Each request a distinct line holding characters that must be encoded.
cat >"$work/addlog.lua" <<'LUA'
local counter = 0
local thread_id = 0
local ids = 0
setup = function(thread)
  ids = ids + 1
  thread:set("thread_id", ids)
end
request = function()
  counter = counter + 1
  return wrk.format("GET", "/php/addlog.php?transaction=4242&message=Bench%20line%20" .. thread_id .. "-" ..
    counter .. "%20%26%20%23%20100%25%3Cbr%3Edone&action=46")
end
done = function(summary, latency, requests)
  local e = summary.errors
  local failed = e.connect + e.read + e.write + e.status + e.timeout
  io.write(string.format("RESULT answered=%d failed=%d seconds=%.3f p99us=%d p50us=%d\n",
    summary.requests - e.status, failed, summary.duration / 1e6, latency:percentile(99), latency:percentile(50)))
end
LUA

threads=2
wrk -t"$threads" -c"$connections" -d"${duration}s" --latency -s "$work/addlog.lua" "$url" >"$work/wrk.txt"
result="$(grep '^RESULT' "$work/wrk.txt")"
answered="$(sed -n 's/.*answered=\([0-9]*\).*/\1/p' <<<"$result")"
failed="$(sed -n 's/.*failed=\([0-9]*\).*/\1/p' <<<"$result")"
seconds="$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$result")"
p99="$(sed -n 's/.*p99us=\([0-9]*\).*/\1/p' <<<"$result")"
p50="$(sed -n 's/.*p50us=\([0-9]*\).*/\1/p' <<<"$result")"

# Stop the service so that every request it accepted has been written.
kill "$pid"; wait "$pid" || true; pid=""
stored="$(sqlite3 "$work/bench.sqlite" "SELECT count(*) FROM logs WHERE trans = '4242'")"
bad="$(sqlite3 "$work/bench.sqlite" "SELECT count(*) FROM logs WHERE message NOT LIKE 'Bench line %' OR message NOT LIKE '% & # 100%<br>done'")"

awk -v a="$answered" -v s="$seconds" -v p99="$p99" -v p50="$p50" -v c="$connections" -v y="$sync" 'BEGIN {
  printf "service-load: %d connections, %.1f s, sync=%s\n", c, s, y
  printf "  requests per second: %.0f\n", a / s
  printf "  latency p50: %.2f ms, p99: %.2f ms\n", p50 / 1000, p99 / 1000
}'
echo "  answered: $answered, failed: $failed, stored rows: $stored, rows not as sent: $bad"
# Requests still in flight when wrk stops its clock are stored but not counted
# as answered by wrk: at most one per connection.
if [ "$bad" -ne 0 ] || [ "$failed" -ne 0 ] || [ "$stored" -lt "$answered" ] || [ "$stored" -gt $((answered + connections)) ]; then
  echo "FAIL: stored rows do not match the answered requests" >&2
  exit 1
fi
echo "  stored rows match the answered requests ($((stored - answered)) in flight at the cut-off)"
