#!/usr/bin/env bash
# Runs one Windows program of the build under 64-bit Wine: wine-run.sh PREFIX PROGRAM [ARGS...]
# The prefix lives in the build tree; the Chinese code page makes the ANSI interfaces speak GBK.
set -euo pipefail
prefix=$1
shift
if [ -z "${DISPLAY:-}" ]; then
  echo "wine-run: no DISPLAY; run the tests through scripts/test.sh, which starts a virtual display" >&2
  exit 2
fi
export WINEPREFIX=$prefix
export LC_ALL=zh_CN.UTF-8
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec /usr/lib/wine/wine64 "$@"
