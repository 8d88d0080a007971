# Shared by the service benches (sourced, not run): a temporary PostgreSQL
# cluster and a service process over a chosen store. Callers set `work` (a
# temporary folder) and `service` (the program) and trap cleanup_service_bench.

pg_bin=""
pg_dir=""
pg_owner=""
service_pid=""

# Starts a PostgreSQL server on a Unix socket in a folder of its own, with the
# server's default durability (fsync on). Sets pg_bin, pg_dir; false when
# PostgreSQL is not installed.
start_postgres() {
  pg_bin="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)"
  [ -n "$pg_bin" ] && [ -x "$pg_bin/initdb" ] || { pg_bin=""; return 1; }
  pg_dir="$(mktemp -d /tmp/trellmond-bench-pg-XXXXXX)"
  if [ "$(id -u)" -eq 0 ]; then
    # PostgreSQL refuses to run as root.
    pg_owner=postgres
    chown "$pg_owner" "$pg_dir"
  fi
  as_pg_owner "$pg_bin/initdb" -D "$pg_dir/data" -A trust -U postgres -E UTF8 --no-instructions >/dev/null
  as_pg_owner "$pg_bin/pg_ctl" -D "$pg_dir/data" -l "$pg_dir/server.log" -w \
    -o "-k $pg_dir -p 5432 -c listen_addresses= -c max_connections=50" start >/dev/null
}

as_pg_owner() {
  if [ -n "$pg_owner" ]; then runuser -u "$pg_owner" -- "$@"; else "$@"; fi
}

stop_postgres() {
  [ -n "$pg_dir" ] || return 0
  as_pg_owner "$pg_bin/pg_ctl" -D "$pg_dir/data" -m immediate -w stop >/dev/null 2>&1 || true
  rm -rf "$pg_dir"
  pg_dir=""
}

# A new empty database; prints its address.
new_pg_database() {
  local name="bench_$1"
  psql -q -h "$pg_dir" -p 5432 -U postgres -d postgres -c "CREATE DATABASE $name" >/dev/null
  echo "postgresql://postgres@/$name?host=$pg_dir&port=5432"
}

# Sets `database` for store $1 ("sqlite-normal", "postgresql-full", ...; the
# part before "-" names the kind), a fresh one named after $2; false, saying
# so, when PostgreSQL is not installed.
open_store() {
  local kind="${1%-*}" sync="${1##*-}"
  if [ "$kind" = postgresql ]; then
    if [ -z "$pg_dir" ] && ! start_postgres; then
      echo "$1: skipped, PostgreSQL's server programs are not installed (package postgresql)"
      return 1
    fi
    database="$(new_pg_database "${2}_${sync}_$$")"
  else
    database="$work/$2-$sync.sqlite"
  fi
}

# Runs SQL on a store ($1: SQLite file or PostgreSQL address), printing bare values.
store_query() {
  case "$1" in
    postgres*) psql -q -At -d "$1" -c "$2" ;;
    *) sqlite3 "$1" "$2" ;;
  esac
}

# Starts the service on a free port over store $1 with sync mode $2 (more
# options after); sets service_pid and url.
start_service() {
  local database="$1" sync="$2"
  shift 2
  : >"$work/service.out"
  "$service" --port 0 --database "$database" --sync "$sync" "$@" >"$work/service.out" 2>>"$work/service.err" &
  service_pid=$!
  for _ in $(seq 200); do grep -q listening "$work/service.out" 2>/dev/null && break; sleep 0.05; done
  url="$(sed -n 's/^listening on //p' "$work/service.out")"
  [ -n "$url" ] || { echo "the service did not start:" >&2; cat "$work/service.err" >&2; return 1; }
}

stop_service() {
  local signal="${1:-TERM}"
  [ -n "$service_pid" ] || return 0
  kill -"$signal" "$service_pid" 2>/dev/null || true
  wait "$service_pid" 2>/dev/null || true
  service_pid=""
}

cleanup_service_bench() {
  stop_service KILL
  stop_postgres
  rm -rf "$work"
}
