#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with Clang (ASan + UBSan) and runs each
# for SECONDS (default 60), one after the other, from the seeds that
# tests/fuzz/make-seeds.sh makes and the corpus kept from earlier runs. Every input
# that crashes, hangs or runs out of memory is kept under tests/fuzz/regressions/<target>/,
# which the normal test run replays. Prints executions and findings per target; exits
# 1 when anything was found. Coverage is libFuzzer's count of edges and features reached.
#   FUZZ_TARGETS="fuzz_lznt1 fuzz_carver" to run only some; TRELLMOND_FUZZ_BUILD_DIR for
#   the build folder (default build-fuzz); FUZZ_RUNS=N to stop each target after N
#   executions instead (SECONDS then only bounds the time).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
./scripts/install-deps.sh
build="${TRELLMOND_FUZZ_BUILD_DIR:-build-fuzz}"
all_targets=(fuzz_volume fuzz_fat_directory fuzz_ntfs_record fuzz_lznt1 fuzz_catalogue fuzz_carver
             fuzz_picture_check fuzz_file_end fuzz_service_query fuzz_client_reply)
read -r -a targets <<< "${FUZZ_TARGETS:-${all_targets[*]}}"

CXX=clang++ CC=clang cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRELLMOND_FUZZ=ON \
  -DTRELLMOND_BUILD_GUI=OFF -DTRELLMOND_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}"
rm -rf "$build/seeds"
tests/fuzz/make-seeds.sh "$build/seeds"

# A hang is a finding (-timeout, generous: a niced run on a busy machine stalls for seconds);
# a unit that is merely slow is not.
# Whole volumes need room for a small card; everything else stays small and fast.
max_len() { case "$1" in fuzz_volume) echo 2200000 ;; fuzz_carver|fuzz_picture_check|fuzz_file_end) echo 262144 ;; *) echo 65536 ;; esac; }

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
summary=()
found_any=0
for t in "${targets[@]}"; do
  regressions="tests/fuzz/regressions/$t"
  corpus="$build/corpus/$t"
  mkdir -p "$regressions" "$corpus"
  before=$(find "$regressions" -type f | wc -l)
  log="$build/$t.log"
  echo "== $t: $seconds s"
  started=$(date +%s)
  status=0
  runs=()
  [ -n "${FUZZ_RUNS:-}" ] && runs=(-runs="$FUZZ_RUNS")
  "$build/tests/fuzz/$t" "${runs[@]}" -max_total_time="$seconds" -timeout=60 -report_slow_units=100000 -rss_limit_mb=2560 -max_len="$(max_len "$t")" \
    -print_final_stats=1 -artifact_prefix="$regressions/" "$corpus" "$build/seeds/$t" > "$log" 2>&1 || status=$?
  ran=$(( $(date +%s) - started ))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  # Edges covered and features at the last status line libFuzzer printed.
  cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -1 | awk '{print $2 "/" $4}' || true)
  findings=$(( $(find "$regressions" -type f | wc -l) - before ))
  if [ "$status" -ne 0 ] && [ "$findings" -eq 0 ]; then findings=1; fi
  if [ "$findings" -ne 0 ]; then
    found_any=1
    grep -m1 -E 'ERROR: |runtime error|SUMMARY' "$log" || tail -n 5 "$log"
  fi
  summary+=("$(printf '%-20s %6s s %12s executions %8s exec/s %12s cov/ft %3s findings' "$t" "$ran" "${execs:-?}" \
    "${speed:-?}" "${cov:-?}" "$findings")")
done
echo
printf '%s\n' "${summary[@]}"
exit "$found_any"
