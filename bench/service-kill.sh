#!/usr/bin/env bash
# SIGKILL mid-burst, on every store: SQLite and PostgreSQL, each with --sync
# normal and full. Per round, 16 clients post log lines as fast as the service
# answers; after a random moment the service is killed with SIGKILL (no
# chance to flush anything), started again on the same store, and every line
# the service acknowledged before it died is looked up. Prints per store the
# lines acknowledged, stored, and lost (must be 0).
#
# Usage: bench/service-kill.sh [build folder]   (default: $TRELLMOND_BUILD_DIR or build)
# Environment: ROUNDS (kills per store, default 3), THREADS (clients, default 16),
#   STORES (default "sqlite-normal sqlite-full postgresql-normal postgresql-full").
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-${TRELLMOND_BUILD_DIR:-build}}"
service="$build/service/trellmond-service"
rounds="${ROUNDS:-3}"
threads="${THREADS:-16}"
stores="${STORES:-sqlite-normal sqlite-full postgresql-normal postgresql-full}"
command -v sqlite3 >/dev/null || { echo "sqlite3 is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
[ -x "$service" ] || { echo "build $service first" >&2; exit 1; }

work="$(mktemp -d)"
. bench/service-common.sh
trap cleanup_service_bench EXIT

status=0
printf '%-20s %8s %14s %10s %6s\n' "store" "kills" "acknowledged" "stored" "lost"
for store in $stores; do
  kind="${store%-*}"
  sync="${store##*-}"
  open_store "$store" kill || continue
  acked="$work/acked-$store.txt"
  : >"$acked"
  for round in $(seq "$rounds"); do
    start_service "$database" "$sync"
    python3 bench/burst-client.py "${url##*:}" "$threads" "$round" "$acked" &
    burst=$!
    sleep "$(awk -v r="$RANDOM" 'BEGIN { printf "%.2f", 1 + r / 32768 * 2 }')"
    stop_service KILL
    wait "$burst" || true
  done
  # The store as the next service start finds it (SQLite replays its WAL on open).
  start_service "$database" "$sync"
  stop_service TERM
  # PostgreSQL keeps client values as bytea, exactly as sent.
  message=message
  [ "$kind" = postgresql ] && message="convert_from(message, 'UTF8')"
  store_query "$database" "SELECT $message FROM logs" | sort >"$work/stored.txt"
  sort "$acked" >"$work/acked.txt"
  lost="$(comm -23 "$work/acked.txt" "$work/stored.txt" | wc -l)"
  printf '%-20s %8s %14s %10s %6s\n' "$store" "$rounds" "$(wc -l <"$work/acked.txt")" \
    "$(wc -l <"$work/stored.txt")" "$lost"
  if [ "$lost" -ne 0 ]; then
    echo "  FAIL: acknowledged lines missing, for example: $(comm -23 "$work/acked.txt" "$work/stored.txt" | head -3 | tr '\n' ' ')" >&2
    status=1
  fi
done
exit "$status"
