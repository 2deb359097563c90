#!/usr/bin/env bash
# Runs the product: the launcher beside the stand-in editor, under Wine, on $DISPLAY or on a
# virtual display. The launcher starts the editor, its button is pressed, and two pictures are
# left in build/demo:
#   wine-screen.png     the screen as Wine shows it (no desktop composition, so the overlay is
#                       opaque black with its captions; the black captions vanish on it)
#   windows-view.png    what a Windows user sees: the overlay's own frame, read back with its
#                       alpha, laid over the stand-in editor at the pinned rectangle
# DEMO_SECONDS (default 5) is how long the overlay stays up before the launcher is closed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh
cmake --preset i686 >/dev/null
cmake --build --preset i686
cmake --preset x86_64 >/dev/null
cmake --build --preset x86_64 --target launcher standin_editor demo_driver

source scripts/wine-env.sh
wine_env_start "$root/build/x86_64"

bin="$WINE_ENV_BIN"
out="$root/build/demo"
rm -rf "$out"
wine_env_run_folder "$out/run" SparkwrightLocalizer.exe Sparkwright汉化版.exe
wine() { "$WINE64" "$@"; }

echo "== the launcher starts the editor, then its button is pressed"
(cd "$out/run" && wine SparkwrightLocalizer.exe) &
launcher=$!
wine "$bin/demo-driver.exe" press
sleep "${DEMO_SECONDS:-5}"
import -window root "$out/wine-screen.png"
wine "$bin/demo-driver.exe" close
wait "$launcher" && echo "launcher ended with exit code 0"

echo "== composing what a Windows user sees"
(cd "$out/run" && wine "Sparkwright汉化版.exe" --at=50,50) &
editor=$!
sleep 3
import -window root -crop 1440x1000+50+50 +repage "$out/editor.png"
kill "$editor" 2>/dev/null || true
"$WINESERVER" -k >/dev/null 2>&1 || true # ends the editor's Windows process too
wine "$bin/demo-driver.exe" frame "$(wine_path "$out/overlay-frame.bgra")"
convert -size 1440x1000 -depth 8 "bgra:$out/overlay-frame.bgra" "$out/overlay-frame.png"
# The desktop composes the back buffer as premultiplied alpha: editor * (1 - alpha) + colour.
convert "$out/editor.png" \( "$out/overlay-frame.png" -alpha extract -negate \) -compose multiply -composite \
  \( "$out/overlay-frame.png" -alpha off \) -compose plus -composite "$out/windows-view.png"
echo "pictures: $out/wine-screen.png $out/windows-view.png"
