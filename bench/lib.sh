# Shared by the benchmark scripts: an optimised build, the synthetic log and
# wall-clock timing. Source it from the top of the tree.
#   prepare_bench <megabytes> [mix]   sets $log and builds build-bench/tarnwick
#   seconds <command...>        prints the wall time of one run of the command, stdout discarded
#   rounds <function...>        times the functions in turn, round after round (see below)
#   ratio <a> <b>               prints a / b
prepare_bench() {
  cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTARNWICK_TESTS=OFF >/dev/null
  cmake --build build-bench -j "$(nproc)" --target tarnwick >/dev/null
  log=build-bench/bench-$1${2:+-$2}.log
  [ -f "$log" ] || bench/make_log "$log" "$1" ${2:+"$2"}
  cat "$log" >/dev/null  # warm the page cache
}

# Bash's own clock: no process is started inside the timed span.
seconds() {
  local start end
  start=$EPOCHREALTIME
  "$@" >/dev/null || true
  end=$EPOCHREALTIME
  mawk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }'
}

# rounds <first> <other...>: runs each function once per round, in turn, for
# $BENCH_RUNS rounds (5 by default). Sets t_<function> to its median time and
# r_<other> to the median over the rounds of first's time over other's: taken
# round by round, a ratio holds while the machine's speed drifts.
rounds() {
  local round fn
  declare -A times=()
  for ((round = 0; round < ${BENCH_RUNS:-5}; round++)); do
    for fn in "$@"; do times[$fn]+="$(seconds "$fn") "; done
  done
  for fn in "$@"; do
    printf -v "t_$fn" '%s' "$(median ${times[$fn]})"
    [ "$fn" = "$1" ] && continue
    printf -v "r_$fn" '%s' "$(median $(mawk -v a="${times[$1]}" -v b="${times[$fn]}" 'BEGIN {
      n = split(a, x); split(b, y); for (i = 1; i <= n; i++) printf "%.4f ", x[i] / y[i] }'))"
  done
}

median() { printf '%s\n' "$@" | sort -g | mawk '{ v[NR] = $1 } END { printf "%.3f", v[int((NR + 1) / 2)] }'; }

ratio() { mawk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
