#!/usr/bin/env bash
# Soaks the launcher under Wine on a virtual display; bounded in count and time, run on demand.
#   1. The editor is killed at a random moment while the overlay is up (shown, its first frame
#      presented): each time the launcher ends with exit code 0 within one second, with no crash
#      dialog and no process left.
#   2. The button is pressed in quick succession with the editor running: no crash, exactly one
#      overlay window left, one render thread presenting on one device, the launcher's handles,
#      memory and threads steady (start and end figures are printed).
#   3. The launcher is closed at random moments (during the start-up wait, right behind a press
#      while it searches the editor's window, during the "no editor" notice, with the overlay
#      up): exit code 0 each time.
# SOAK_KILL_RUNS (default 50), SOAK_PRESSES (default 100) and SOAK_CLOSE_RUNS (default 40, taken
# in turn by the four moments) set the counts; SOAK_SEED repeats the random moments of a run.
# The whole soak stays within about 15 minutes with the defaults; it exits non-zero when any run
# failed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

kill_runs=${SOAK_KILL_RUNS:-50}
presses=${SOAK_PRESSES:-100}
close_runs=${SOAK_CLOSE_RUNS:-40}
seed=${SOAK_SEED:-$(( (RANDOM << 15) | RANDOM ))}
for count in "$kill_runs" "$presses" "$close_runs" "$seed"; do
  if ! [[ $count =~ ^[0-9]+$ ]]; then
    echo "soak: SOAK_KILL_RUNS, SOAK_PRESSES, SOAK_CLOSE_RUNS and SOAK_SEED must be whole numbers" >&2
    exit 2
  fi
done

bash scripts/setup.sh
cmake --preset x86_64 >/dev/null
cmake --build --preset x86_64 --target launcher standin_editor measured_launcher measure_probe

source scripts/wine-env.sh
wine_env_start "$root/build/x86_64"

run="$root/build/soak/run"
wine_env_run_folder "$run" SparkwrightLocalizer.exe SparkwrightLocalizer-measured.exe Sparkwright汉化版.exe
launcher=$(wine_path "$run/SparkwrightLocalizer.exe")
# The launcher as shipped with its Presents counted: the kills wait for the overlay's first frame,
# the presses check which threads present on which devices.
measured=$(wine_path "$run/SparkwrightLocalizer-measured.exe")

failed=0
summary=()

# Runs one soak with a time limit; its tally line goes to the summary.
soak() {
  local limit=$1 output status=0
  shift
  echo "== $1 ($2 x), seed $seed"
  output=$(timeout --kill-after=10 "$limit" "$WINE64" "$WINE_ENV_BIN/measure-probe.exe" "$@" 2>&1) || status=$?
  output=${output//$'\r'/} # the console's line ends
  echo "$output" | sed 's/^/  /'
  local tally
  tally=$(grep '^soak ' <<<"$output" || true)
  if [ "$status" -ne 0 ] || [ -z "$tally" ]; then
    failed=1
    [ -n "$tally" ] || tally="soak $1: did not finish (status $status)"
  fi
  summary+=("$tally")
}

started=$SECONDS
# Time limits: about 4 s a run under load, with room to spare; together under 15 minutes.
soak $((60 + 6 * kill_runs)) soak-kill "$measured" "$kill_runs" "$seed"
soak $((120 + 1 * presses)) soak-press "$measured" "$presses" "$seed"
soak $((60 + 7 * close_runs)) soak-close "$launcher" "$close_runs" "$seed"

# Nothing of the soak may outlive it in the Wine session: no launcher, editor or crash dialog.
left_status=0
left=$("$WINE64" "$WINE_ENV_BIN/measure-probe.exe" left SparkwrightLocalizer.exe SparkwrightLocalizer-measured.exe \
  "Sparkwright汉化版.exe" winedbg.exe 2>&1) || left_status=$?
left=${left//$'\r'/}
display_lost=0
xdpyinfo >/dev/null 2>&1 || display_lost=1

echo
echo "== soak summary (seed $seed, $((SECONDS - started)) s)"
printf '  %s\n' "${summary[@]}"
echo "$left" | sed 's/^/  /'
[ "$display_lost" -eq 0 ] || echo "  the virtual display $DISPLAY was lost during the soak"
if [ "$failed" -ne 0 ] || [ "$left_status" -ne 0 ] || [ "$display_lost" -ne 0 ]; then
  echo "soak: FAILED" >&2
  exit 1
fi
echo "soak: all runs passed"
