# Shared by the benchmark scripts: an optimised build, the synthetic log and
# wall-clock timing. Source it from the top of the tree.
#   prepare_bench <megabytes> [mix]   sets $log and builds build-bench/tarnwick
#   seconds <command...>        prints the median wall time of $BENCH_RUNS runs (5 by
#                               default) of the command, stdout discarded
#   ratio <a> <b>               prints a / b
prepare_bench() {
  cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTARNWICK_TESTS=OFF >/dev/null
  cmake --build build-bench -j "$(nproc)" --target tarnwick >/dev/null
  log=build-bench/bench-$1${2:+-$2}.log
  [ -f "$log" ] || bench/make_log "$log" "$1" ${2:+"$2"}
  cat "$log" >/dev/null  # warm the page cache
}

# The median, so that one run disturbed by the machine moves nothing.
seconds() {
  local start end run times=()
  for ((run = 0; run < ${BENCH_RUNS:-5}; run++)); do
    start=$(date +%s.%N)
    "$@" >/dev/null || true
    end=$(date +%s.%N)
    times+=("$(mawk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')")
  done
  printf '%s\n' "${times[@]}" | sort -n | mawk '{ t[NR] = $1 } END { printf "%.3f", t[int((NR + 1) / 2)] }'
}

ratio() { mawk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
