#!/usr/bin/env bash
# Sets up the machine, builds the 32-bit product and the 64-bit build, and runs every test
# under Wine. Arguments are passed to ctest (for example -R discovery).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh

echo "== 32-bit product (i686)"
cmake --preset i686 >/dev/null
cmake --build --preset i686 --target package

echo "== 64-bit build with tests (x86_64, run under Wine)"
cmake --preset x86_64 >/dev/null
cmake --build --preset x86_64

source scripts/wine-env.sh
wine_env_start "$root/build/x86_64"

echo "== tests"
ctest --preset x86_64 "$@"
