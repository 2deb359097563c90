#!/usr/bin/env bash
# Measures the launcher under Wine on a virtual display and prints one table. Run on demand;
# the figures depend on the machine and its load, so they belong here and never in a test.
#
# What runs, all in one Wine session:
#   - the launcher beside the stand-in editor, in a measurement build that counts its Presents
#     (tools/measure), watched and driven from outside by measure-probe: start to window shown,
#     the start-up wait, a press to its first frame, frames and processor time with the overlay
#     up and with the editor minimised;
#   - in measure-probe itself, over the stand-in: the product's render thread with the frame
#     routine timed around its call, and with its steps timed one by one; the same thread
#     clearing and presenting only (the bare loop); the product's frame in a loop without the
#     pacer; the start-up wait against a wait that polls the message queue.
# Processor time is user + system time from /proc of the Wine process, which includes the
# threads of the host's graphics driver that do the software rendering.
#
# BENCH_SECONDS (default 10, at least 10) is the length of each measured stretch; BENCH_ROUNDS
# (default 1) repeats everything and prints the median of each figure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

seconds=${BENCH_SECONDS:-10}
rounds=${BENCH_ROUNDS:-1}
if ! [[ $seconds =~ ^[0-9]+$ && $rounds =~ ^[0-9]+$ ]] || [ "$seconds" -lt 10 ] || [ "$rounds" -lt 1 ]; then
  echo "benchmark: BENCH_SECONDS must be a whole number of at least 10, BENCH_ROUNDS at least 1" >&2
  exit 2
fi

bash scripts/setup.sh
cmake --preset x86_64 >/dev/null
cmake --build --preset x86_64 --target launcher standin_editor measured_launcher measure_probe

source scripts/wine-env.sh
wine_env_start "$root/build/x86_64"

run="$root/build/measure/run"
wine_env_run_folder "$run" SparkwrightLocalizer-measured.exe Sparkwright汉化版.exe
launcher=$(wine_path "$run/SparkwrightLocalizer-measured.exe")
editor=$(wine_path "$run/Sparkwright汉化版.exe")

failures=0
declare -A figures=()

# Runs one probe mode with a time limit and keeps its "key value" lines; notes go to the log.
measure() {
  local limit=$1 output status=0 key value
  shift
  output=$(timeout --kill-after=10 "$limit" "$WINE64" "$WINE_ENV_BIN/measure-probe.exe" "$@" 2>&1) || status=$?
  output=${output//$'\r'/} # the console's line ends
  while read -r key value; do
    if [[ $key =~ ^[a-z0-9_]+$ && $value =~ ^-?[0-9.]+$ ]]; then
      figures[$key]+="$value "
    else
      echo "  $*: $key $value"
    fi
  done <<<"$output"
  if [ "$status" -ne 0 ]; then
    echo "benchmark: measure-probe $1 ended with status $status" >&2
    failures=$((failures + 1))
  fi
}

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
echo "== measuring: $rounds round(s) of ${seconds} s stretches"
for round in $(seq 1 "$rounds"); do
  measure $((4 * seconds + 60)) launcher "$launcher" "$seconds"
  measure $((2 * seconds + 60)) frames overlay "$editor" "$seconds"
  measure $((seconds + 60)) frames steps "$editor" "$seconds"
  measure $((seconds + 60)) frames bare "$editor" "$seconds"
  measure $((2 * seconds + 60)) frames unpaced "$editor" "$seconds"
  measure 120 startup-wait "$editor" 3
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# The median over the rounds, or nothing when the figure was not measured (negative: failed).
figure() {
  local values=${figures[$1]:-}
  [ -n "$values" ] || return 0
  tr ' ' '\n' <<<"$values" | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END { if (v[int((NR + 1) / 2)] >= 0) print v[int((NR + 1) / 2)] }'
}

# One row: what, the launcher's figure, the baseline's figure and what the baseline is, the goal.
row() {
  local what=$1 measured baseline ratio="" goal=${5:-}
  measured=$(figure "$2")
  baseline=${3:+$(figure "$3")}
  if [ -n "$measured" ] && [ -n "$baseline" ]; then
    ratio=$(awk -v a="$measured" -v b="$baseline" 'BEGIN { if (b != 0) printf "%.2f", a / b; else print "-" }')
  fi
  [ -n "$measured" ] || { measured="n/a"; [ -z "${2:-}" ] || failures=$((failures + 1)); }
  [ -n "$3" ] || baseline="-"
  [ -n "$baseline" ] || baseline="n/a"
  printf "%-52s %10s %10s %-22s %6s  %s\n" "$what" "$(fmt "$measured")" "$(fmt "$baseline")" "${4:--}" "${ratio:--}" "$goal"
}
fmt() { awk -v v="$1" 'BEGIN { if (v ~ /^-?[0-9.]+$/) printf "%.1f", v; else print v }'; }

goal_hz=$(figure refresh_goal_hz)
goal_hz=${goal_hz:-60} # what the pacer aims at when the display does not say
echo
echo "Launcher under Wine, software rendering, 1440 x 1000 overlay; display refresh reported as" \
  "$(fmt "$(figure refresh_reported_hz)") Hz, frame goal $(fmt "$goal_hz") per second"
echo "Load average (2 cores, shared with other work) before the run: $load_before; after: $load_after"
echo
printf "%-52s %10s %10s %-22s %6s  %s\n" "figure" "product" "baseline" "baseline is" "ratio" "goal"
printf '%.0s-' {1..118}; echo
row "frames per second, overlay up" launcher_fps unpaced_fps "frame loop, no pacer" "the refresh rate ($(fmt "$goal_hz")), not more"
row "frames per second, editor minimised" launcher_minimised_fps unpaced_minimised_fps "frame loop, no pacer" "at most the refresh rate"
row "CPU ms per second, overlay up" launcher_cpu_ms_per_s unpaced_cpu_ms_per_s "frame loop, no pacer"
row "CPU ms per second, editor minimised" launcher_minimised_cpu_ms_per_s unpaced_minimised_cpu_ms_per_s "frame loop, no pacer"
row "frame routine cost per frame, median (ms)" overlay_frame_median_ms "" ""
row "frame routine cost per frame, 99th percentile (ms)" overlay_frame_p99_ms "" ""
row "  its steps, median ms: find the editor's process" step_find_editor_median_ms "" ""
row "  follow the editor's minimised state" step_follow_minimised_median_ms "" ""
row "  pin the editor and the overlay" step_pin_windows_median_ms "" ""
row "  draw the 44 captions" step_draw_captions_median_ms "" ""
row "CPU ms per frame, overlay up" launcher_cpu_ms_per_frame bare_cpu_ms_per_frame "bare clear/present" "ratio at most 1.10"
row "CPU ms during the 1 s start-up wait" wait_cpu_ms polling_wait_cpu_ms "wait polling the queue" "close to 0"
row "launcher CPU ms, editor started to window shown" startup_wait_cpu_ms "" ""
row "ms from launcher start to its window shown" start_to_shown_ms "" "" "about 1 s wait + editor idle"
row "  of which: start to editor process seen" start_to_editor_ms "" ""
row "  of which: editor seen to window shown" editor_to_shown_ms "" ""
row "ms from a press to the first frame (first press)" press_to_frame_ms "" ""
row "ms from a press to the first frame (later presses)" press_to_frame_warm_ms "" ""
echo
echo "In-process references (measure-probe over the stand-in): bare loop $(fmt "$(figure bare_fps)") fps at" \
  "$(fmt "$(figure bare_cpu_ms_per_s)") CPU ms/s; product render thread with the timed frame routine" \
  "$(fmt "$(figure overlay_fps)") fps at $(fmt "$(figure overlay_cpu_ms_per_frame)") CPU ms per frame."
echo "The launcher ended with exit code $(figure launcher_exit_code | cut -d. -f1) when its window was closed."

# The goals, judged on the figures above: reported, never a reason to fail the run.
verdict() { awk -v v="$1" "BEGIN { if (v == \"\") print \"not measured\"; else if ($2) print \"met\"; else print \"NOT met\" }"; }
fps=$(figure launcher_fps)
minimised_fps=$(figure launcher_minimised_fps)
per_frame=$(figure launcher_cpu_ms_per_frame)
bare_per_frame=$(figure bare_cpu_ms_per_frame)
frame_ratio=""
if [ -n "$per_frame" ] && [ -n "$bare_per_frame" ]; then
  frame_ratio=$(awk -v a="$per_frame" -v b="$bare_per_frame" 'BEGIN { if (b > 0) print a / b }')
fi
wait_cpu=$(figure wait_cpu_ms)
echo
echo "Goals (this machine is shared, so a miss may be its load; BENCH_ROUNDS=3 gives steadier figures):"
echo "  overlay up at the refresh rate, within 5 %: $(verdict "$fps" "v >= 0.95 * $goal_hz && v <= 1.05 * $goal_hz") ($(fmt "$fps") per second)"
echo "  editor minimised, at most the refresh rate: $(verdict "$minimised_fps" "v <= 1.05 * $goal_hz") ($(fmt "$minimised_fps") per second)"
echo "  own work per frame at most a tenth over the bare loop: $(verdict "$frame_ratio" "v <= 1.10") (ratio $(awk -v v="$frame_ratio" 'BEGIN { printf "%.2f", v }'))"
echo "  start-up wait does not poll (under 10 CPU ms in 1 s): $(verdict "$wait_cpu" "v < 10") ($(fmt "$wait_cpu") ms)"

if [ "$failures" -ne 0 ]; then
  echo "benchmark: $failures measurement(s) failed" >&2
  exit 1
fi
