# shellcheck shell=bash
# Shell helpers for running the Windows programs on Linux under Wine, shared
# by scripts/run.sh, scripts/test.sh, tests/e2e/run.sh, tests/package/check.sh
# and tools/demo/screenshot.sh, and the check of a program's DLLs. Source it.

# Waits up to $1 seconds for the command that follows to succeed.
wait_until() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

# Starts a virtual X display on a free number when DISPLAY is unset, and
# exports DISPLAY. Sets XVFB_PID (empty when the user's display is used).
XVFB_PID=""
start_display() {
  [[ -z ${DISPLAY:-} ]] || return 0
  local n log=$1
  for n in $(seq 90 140); do
    [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] || break
  done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$log" 2>&1 &
  XVFB_PID=$!
  export DISPLAY=:$n
  if ! wait_until 20 test -e "/tmp/.X11-unix/X$n"; then
    cat "$log" >&2
    echo "Xvfb did not start on $DISPLAY" >&2
    return 1
  fi
}

stop_display() {
  [[ -n $XVFB_PID ]] || return 0
  kill "$XVFB_PID" 2>/dev/null || true
  wait "$XVFB_PID" 2>/dev/null || true
  XVFB_PID=""
}

# Makes (or reuses) the Wine prefix $1, with a server that stays up until
# `wineserver -k`. The .NET and HTML engines are not wanted: no installer
# prompts in a new prefix.
start_wine() {
  export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$WINEPREFIX"
  wineserver -p
  wineboot -i >/dev/null 2>&1
}

stop_wine() {
  if [[ -n ${WINEPREFIX:-} ]]; then wineserver -k 2>/dev/null || true; fi
}

wine_reg() { wine reg add "$@" /f >/dev/null; }

# Windows with no window manager (Xvfb): Wine then draws their frames itself
# and need not wait for a manager each time a window closes.
unmanaged_windows() { wine_reg 'HKCU\Software\Wine\X11 Driver' /v Managed /d N; }

# When the script ends, by any path: stops the Wine server and the virtual
# display, and removes the folder $1.
clean_up_on_exit() {
  CLEANUP_DIR=$1
  trap 'stop_wine; stop_display; rm -rf "$CLEANUP_DIR"' EXIT
  trap 'exit 130' INT TERM
}

# Whether the program $1 runs on a bare Windows: it imports only system DLLs,
# no MinGW runtime. Names them.
system_dlls_only() {
  local dlls
  dlls=$(x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p' | tr '[:upper:]' '[:lower:]')
  # shellcheck disable=SC2086 # one line: the words joined by spaces
  echo "  $(basename "$1") imports:" $dlls
  for dll in $dlls; do
    case $dll in
      kernel32.dll | user32.dll | gdi32.dll | comdlg32.dll | shell32.dll | advapi32.dll | msvcrt.dll) ;;
      api-ms-win-crt-*.dll | ucrtbase.dll) ;;
      *) echo "  not a system DLL: $dll"; return 1 ;;
    esac
  done
}

# The Windows path Wine gives a Linux path (drive Z: is the root).
winpath() { echo "Z:${1//\//\\}"; }
