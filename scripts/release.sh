#!/usr/bin/env bash
# Builds the 32-bit product and packs the release zip: the launcher and its read-me.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
cmake --preset i686 >/dev/null
cmake --build --preset i686 --target package
ls -1 "$root"/build/i686/SparkwrightLocalizer-*-win32.zip
