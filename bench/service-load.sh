#!/usr/bin/env bash
# Load on the service's remote log, per store: SQLite with --sync normal,
# SQLite with --sync full, and PostgreSQL (a temporary cluster with the
# server's default durability) with --sync full. For each, 32 connections of
# wrk post distinct log lines on loopback, first alone, then with 50 slow
# clients attached that trickle headers they never finish while a probe asks
# for the version every 200 ms. Prints requests per second and p99 latency
# for both runs, how many probes were answered within a second, and checks
# the rows stored against the requests answered.
#
# Usage: bench/service-load.sh [build folder]   (default: $TRELLMOND_BUILD_DIR or build)
# Environment: DURATION (seconds per run, default 15), CONNECTIONS (default 32),
#   SLOW (slow clients, default 50), STORES (default "sqlite-normal sqlite-full postgresql-full").
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-${TRELLMOND_BUILD_DIR:-build}}"
service="$build/service/trellmond-service"
duration="${DURATION:-15}"
connections="${CONNECTIONS:-32}"
slow="${SLOW:-50}"
stores="${STORES:-sqlite-normal sqlite-full postgresql-full}"
command -v wrk >/dev/null || { echo "wrk is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
command -v sqlite3 >/dev/null || { echo "sqlite3 is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
[ -x "$service" ] || { echo "build $service first" >&2; exit 1; }

work="$(mktemp -d)"
. bench/service-common.sh
trap cleanup_service_bench EXIT

# Each request a distinct line holding characters that must be encoded, under
# the transaction given in the environment.
cat >"$work/addlog.lua" <<'LUA'
local counter = 0
local thread_id = 0
local ids = 0
local transaction = os.getenv("BENCH_TRANSACTION") or "4242"
setup = function(thread)
  ids = ids + 1
  thread:set("thread_id", ids)
end
request = function()
  counter = counter + 1
  return wrk.format("GET", "/php/addlog.php?transaction=" .. transaction .. "&message=Bench%20line%20" ..
    thread_id .. "-" .. counter .. "%20%26%20%23%20100%25%3Cbr%3Edone&action=46")
end
done = function(summary, latency, requests)
  local e = summary.errors
  local failed = e.connect + e.read + e.write + e.status + e.timeout
  io.write(string.format("RESULT answered=%d failed=%d seconds=%.3f p99us=%d p50us=%d\n",
    summary.requests - e.status, failed, summary.duration / 1e6, latency:percentile(99), latency:percentile(50)))
end
LUA

field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p" <<<"$2"; }

# One wrk run under transaction $2 against store $1; prints "rps p99ms answered failed".
run_wrk() {
  BENCH_TRANSACTION="$2" wrk -t2 -c"$connections" -d"${duration}s" --latency -s "$work/addlog.lua" "$url" \
    >"$work/wrk.txt"
  local result
  result="$(grep '^RESULT' "$work/wrk.txt")"
  awk -v a="$(field answered "$result")" -v s="$(field seconds "$result")" -v p="$(field p99us "$result")" \
    -v f="$(field failed "$result")" 'BEGIN { printf "%.0f %.2f %d %d\n", a / s, p / 1000, a, f }'
}

# What one durable sync costs on this disk just now: --sync full answers no
# request before its commit is synced, so with C connections the rate stays
# near C divided by the sync time, however many requests share a commit.
python3 - "$work" <<'PY'
import os, sys, time
path = os.path.join(sys.argv[1], "sync-probe")
fd = os.open(path, os.O_WRONLY | os.O_CREAT)
times = []
for i in range(200):
    os.pwrite(fd, b"x" * 16384, (i % 64) * 16384)
    start = time.perf_counter()
    os.fdatasync(fd)
    times.append(time.perf_counter() - start)
os.close(fd)
times.sort()
print(f"disk: fdatasync of 16 KiB p50 {times[len(times) // 2] * 1e3:.2f} ms, "
      f"p99 {times[int(len(times) * 0.99)] * 1e3:.2f} ms (load average {os.getloadavg()[0]:.1f})")
PY

status=0
printf '%-22s %12s %9s   %s\n' "store" "requests/s" "p99 ms" "with $slow slow clients: requests/s, p99 ms, probes"
for store in $stores; do
  sync="${store##*-}"
  open_store "$store" load || continue
  start_service "$database" "$sync"
  read -r rps p99 answered failed < <(run_wrk "$database" 4242)

  port="${url##*:}"
  python3 bench/slow-clients.py "$port" "$slow" "$((duration + 2))" >"$work/probes.txt" &
  probes_pid=$!
  sleep 1
  read -r rps_slow p99_slow answered_slow failed_slow < <(run_wrk "$database" 4343)
  wait "$probes_pid"
  probes="$(sed -n 's/^probes answered //p' "$work/probes.txt")"

  # Stop the service so that every request it accepted has been written.
  stop_service TERM
  stored="$(store_query "$database" "SELECT count(*) FROM logs WHERE trans = '4242'")"
  stored_slow="$(store_query "$database" "SELECT count(*) FROM logs WHERE trans = '4343'")"
  bad="$(store_query "$database" "SELECT count(*) FROM logs WHERE NOT (message LIKE 'Bench line %' AND message LIKE '% & # 100%<br>done')")"
  printf '%-22s %12s %9s   %s, %s, %s answered\n' "$store" "$rps" "$p99" "$rps_slow" "$p99_slow" "$probes"
  # Requests still in flight when wrk stops its clock are stored but not
  # counted as answered by wrk: at most one per connection.
  for pair in "$answered:$stored:$failed" "$answered_slow:$stored_slow:$failed_slow"; do
    IFS=: read -r a s f <<<"$pair"
    if [ "$f" -ne 0 ] || [ "$s" -lt "$a" ] || [ "$s" -gt $((a + connections)) ]; then
      echo "  FAIL: $a answered, $f failed, $s stored" >&2
      status=1
    fi
  done
  if [ "$bad" -ne 0 ]; then echo "  FAIL: $bad rows not as sent" >&2; status=1; fi
  read -r probes_ok probes_asked < <(sed 's/ of / /' <<<"$probes")
  if [ "$probes_ok" != "$probes_asked" ]; then echo "  FAIL: a probe went unanswered" >&2; status=1; fi
done
exit "$status"
