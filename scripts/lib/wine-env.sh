# Sourced by the entry scripts: gives this run its own Wine prefix and, when
# there is no display, its own Xvfb. `wine_env_stop` ends only what
# `wine_env_start` started (the prefix's wineserver, our Xvfb by its pid).
#
# Two Wines: the 32-bit loader runs the i686 product where the machine can
# execute 32-bit code at all; the 64-bit loader runs the x86-64 build on
# every machine. `wine` and `winepath` below call the loader of the prefix
# in use, never Debian's wrapper, which picks the 32-bit loader whenever it
# is installed, whether or not the kernel can run it.

QL_WINE32_LOADER=/usr/lib/wine/wine
QL_WINE64_LOADER=/usr/lib/wine/wine64

# Tries the 32-bit loader once. Prints nothing and returns 0 when it runs;
# otherwise prints why not. QL_NO_WIN32=1 says no without trying (for
# checking the path of machines without 32-bit execution, or a quicker run).
wine32_unusable_reason() {
  if [ "${QL_NO_WIN32:-0}" = 1 ]; then echo "QL_NO_WIN32=1 is set"; return 1; fi
  if [ ! -x "$QL_WINE32_LOADER" ]; then echo "$QL_WINE32_LOADER is not installed"; return 1; fi
  local out
  if ! out=$(WINEPREFIX=/nonexistent-ql-probe "$QL_WINE32_LOADER" --version 2>&1); then
    echo "this machine cannot execute 32-bit code (the 32-bit Wine loader says: $(printf '%s' "$out" | tail -n 1))"
    return 1
  fi
  return 0
}

wine() { "$QL_WINE" "$@"; }
winepath() { "$QL_WINE" winepath "$@"; }

# wine_env_start <prefix> [win32|win64]; win64 is the default.
wine_env_start() {
  local prefix=$1 arch=${2:-win64}
  export WINEPREFIX=$prefix
  export WINEARCH=$arch
  if [ "$arch" = win32 ]; then QL_WINE=$QL_WINE32_LOADER; else QL_WINE=$QL_WINE64_LOADER; fi
  export QL_WINE WINELOADER=$QL_WINE
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
  QL_XVFB_PID=
  if [ -z "${DISPLAY:-}" ]; then
    local n
    for n in $(seq 90 140); do
      [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
      Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      QL_XVFB_PID=$!
      export DISPLAY=":$n"
      local i
      for i in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
      break
    done
  fi
  if [ ! -f "$prefix/system.reg" ]; then
    mkdir -p "$prefix"
    wine wineboot -i >/dev/null 2>&1 || true
    # A crashing test program must end, not wait in Wine's debugger.
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
      /v Debugger /t REG_SZ /d '' /f >/dev/null 2>&1 || true
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
      /v Auto /t REG_SZ /d 1 /f >/dev/null 2>&1 || true
    # Unmanaged windows: without a window manager on Xvfb, Wine otherwise
    # waits two seconds for every window it hides (each message box).
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
    wineserver -w
  fi
}

wine_env_stop() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true
  if [ -n "${QL_XVFB_PID:-}" ]; then
    kill "$QL_XVFB_PID" 2>/dev/null || true
    wait "$QL_XVFB_PID" 2>/dev/null || true
    QL_XVFB_PID=
    unset DISPLAY
  fi
}
