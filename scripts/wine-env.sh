# Sourced by the scripts that run the build under Wine: wine_env_start BUILD_DIR
# Gives them a display (a private Xvfb unless one is given), one wineserver for the whole run
# and a Wine prefix inside the build tree; all of it is stopped again when the script exits.

WINE64=/usr/lib/wine/wine64
# Debian's wine64 puts no wineserver on the PATH.
WINESERVER=/usr/lib/wine/wineserver
XVFB_PID=""

wine_env_stop() {
  if [ -n "${WINEPREFIX:-}" ]; then
    WINEPREFIX=$WINEPREFIX "$WINESERVER" -k >/dev/null 2>&1 || true
  fi
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" >/dev/null 2>&1 || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
}

wine_env_start_display() {
  if [ -n "${DISPLAY:-}" ]; then
    return
  fi
  # Xvfb picks a free display number itself and reports it: a number that merely looks free
  # here may belong to another X server that shares this machine's sockets.
  local numberFile tries
  numberFile=$(mktemp)
  # Large enough for the editor pinned at (50, 50) with 1440 x 1000.
  Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp +extension GLX 3>"$numberFile" >/dev/null 2>&1 &
  XVFB_PID=$!
  for tries in $(seq 1 100); do
    if [ -s "$numberFile" ] && DISPLAY=":$(cat "$numberFile")" xdpyinfo >/dev/null 2>&1; then
      export DISPLAY=":$(cat "$numberFile")"
      rm -f "$numberFile"
      return
    fi
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$numberFile"
  echo "wine-env: no virtual display could be started" >&2
  exit 2
}

wine_env_start() {
  local build=$1
  trap wine_env_stop EXIT
  wine_env_start_display
  export WINEPREFIX="$build/wineprefix"
  WINE_ENV_BIN="$build/bin"
  export LC_ALL=zh_CN.UTF-8
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-env: creating the Wine prefix in $WINEPREFIX" >&2
    "$WINE64" wineboot -i >/dev/null 2>&1
  fi
  # No window manager runs on the virtual display: without this, Wine waits up to two seconds
  # for one to acknowledge every window that is hidden or destroyed.
  if [ -n "$XVFB_PID" ]; then
    "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  else
    "$WINE64" reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f >/dev/null 2>&1 || true
  fi
  # One wineserver for the whole run: each program then starts in a second or less.
  "$WINESERVER" -p >/dev/null 2>&1 || true
  "$WINE64" cmd /c exit >/dev/null 2>&1 || true
}

# A fresh folder holding copies of programs of the 64-bit build: wine_env_run_folder DIR PROGRAM...
wine_env_run_folder() {
  local dir=$1 program
  shift
  rm -rf "$dir"
  mkdir -p "$dir"
  for program in "$@"; do
    cp "$WINE_ENV_BIN/$program" "$dir/"
  done
}

# The Windows path of a file of this machine, as Wine's drive Z: shows it.
wine_path() {
  local path=${1//\//\\}
  echo "Z:$path"
}
