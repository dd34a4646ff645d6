#!/usr/bin/env bash
# Builds the default preset's benchmark programs, runs each of them RUNS times (default 3) and prints one
# table of every measure they report (ours, baseline, the ratio's median and spread over the runs, the
# goal, met or missed) and one line per measure:
#   RESULT <name> ratio=<worst of the runs> goal=<op><target> met|missed
#   RESULT <name> not measured (<reason>)
# A goal is met only when the worst run meets it. The logs of every run stay in build/default/bench-runs.
# A program takes part by printing MEASURE lines (bench/bench_support.h, ReportMeasure).
set -euo pipefail
runs="${1:-3}"
case "$runs" in
  ''|*[!0-9]*|0) echo "usage: $0 [RUNS]" >&2; exit 2 ;;
esac
cd "$(dirname "$0")/.."
jobs="${JOBS:-3}"
# A run that takes longer than this is stuck, not slow.
limit="${BENCH_TIMEOUT:-900}"

cmake --preset default >/dev/null
cmake --build build/default -j "$jobs" --target bench_programs

programs=$(sed -n 's/^ *carrowline_bench(\([a-z_]*\)[ )].*/\1/p' bench/CMakeLists.txt)
logs=build/default/bench-runs
rm -rf "$logs"
mkdir -p "$logs"
collected="$logs/all.txt"
: >"$collected"

echo "=== $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load at start: $(cut -d' ' -f1-3 /proc/loadavg)"
for program in $programs; do
  binary="build/default/bench/$program"
  if [ ! -x "$binary" ]; then
    continue  # its subsystem is not built in this tree
  fi
  for run in $(seq 1 "$runs"); do
    log="$logs/$program.$run.log"
    echo "=== $program, run $run of $runs"
    status=0
    (cd build/default/bench && timeout --kill-after=10 "$limit" "./$program" --benchmark_color=false) \
      >"$log" 2>&1 || status=$?
    echo "$program $run STATUS $status" >>"$collected"
    # The console table's colour codes may run into a figure's line: they go first.
    figures=$(sed 's/\x1b\[[0-9;]*m//g' "$log" | grep '^MEASURE ' || true)
    if [ -n "$figures" ]; then
      echo "$figures" | sed "s/^/$program $run /" >>"$collected"
      echo "$figures"
    else
      echo "(no figure; exit status $status; see $log)"
    fi
  done
done
echo "=== load at end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo

awk -v runs="$runs" '
function median(list, count,    i, j, t, v) {
  for (i = 1; i <= count; i++) v[i] = list[i]
  for (i = 2; i <= count; i++) {
    t = v[i]
    for (j = i - 1; j >= 1 && v[j] > t; j--) v[j + 1] = v[j]
    v[j + 1] = t
  }
  return count % 2 ? v[(count + 1) / 2] : (v[count / 2] + v[count / 2 + 1]) / 2
}
function field(line, key,    at, rest) {
  at = index(line, " " key "=")
  if (at == 0) return ""
  rest = substr(line, at + length(key) + 2)
  sub(/ .*/, "", rest)
  return rest
}
$3 == "STATUS" {
  if (!($1 in seen)) { seen[$1] = 1; order[++programs] = $1 }
  status[$1, $2] = $4
  next
}
$3 == "MEASURE" {
  name = $4
  if (!(name in owner)) { owner[name] = $1; names[++measures] = name; has[$1] = 1 }
  line = " " $0
  if (line ~ / not measured: /) {
    why = line
    sub(/.* not measured: /, "", why)
    missing[name, $2] = why
    next
  }
  ours[name, $2] = field(line, "ours")
  base[name, $2] = field(line, "baseline")
  unit[name] = field(line, "unit")
  ratio[name, $2] = field(line, "ratio")
  goal[name] = field(line, "goal")
  got[name, $2] = 1
}
END {
  rows = 0
  for (p = 1; p <= programs; p++) {
    if (!(order[p] in has)) {
      why = ""
      for (k = 1; k <= runs; k++) why = why (k > 1 ? ", " : "") "run " k " exit " status[order[p], k]
      names[++measures] = order[p]
      owner[order[p]] = order[p]
      reason[order[p]] = "the program printed no figure: " why
    }
  }
  printf "%-28s %14s %14s %-26s %-8s %s\n", "measure", "ours", "baseline", "ratio median (min-max)", "goal", "result"
  for (m = 1; m <= measures; m++) {
    name = names[m]
    if (name in reason) {
      printf "%-28s %14s %14s %-26s %-8s %s\n", name, "-", "-", "-", "-", "not measured"
      result[m] = "RESULT " name " not measured (" reason[name] ")"
      continue
    }
    why = ""
    for (k = 1; k <= runs; k++) {
      if ((name, k) in got) continue
      if ((name, k) in missing) why = "run " k ": " missing[name, k]
      else if (status[owner[name], k] != 0) why = "run " k ": " owner[name] " exited with " status[owner[name], k]
      else why = "run " k ": " owner[name] " printed no figure for it"
      break
    }
    if (why != "") {
      printf "%-28s %14s %14s %-26s %-8s %s\n", name, "-", "-", "-", (name in goal) ? goal[name] : "-", "not measured"
      result[m] = "RESULT " name " not measured (" why ")"
      continue
    }
    lo = ""; hi = ""
    for (k = 1; k <= runs; k++) {
      o[k] = ours[name, k]; b[k] = base[name, k]; r[k] = ratio[name, k]
      if (lo == "" || r[k] + 0 < lo + 0) lo = r[k]
      if (hi == "" || r[k] + 0 > hi + 0) hi = r[k]
    }
    op = substr(goal[name], 1, 2); target = substr(goal[name], 3) + 0
    worst = op == ">=" ? lo : hi
    met = op == ">=" ? (worst + 0 >= target) : (worst + 0 <= target)
    verdict = met ? "met" : "missed"
    printf "%-28s %14s %14s %-26s %-8s %s\n", name, sprintf("%.4g %s", median(o, runs), unit[name]),
           sprintf("%.4g %s", median(b, runs), unit[name]),
           sprintf("%.3g (%.3g-%.3g)", median(r, runs), lo, hi), goal[name], verdict
    result[m] = sprintf("RESULT %s ratio=%s goal=%s %s", name, worst, goal[name], verdict)
  }
  print ""
  for (m = 1; m <= measures; m++) print result[m]
}' "$collected"
