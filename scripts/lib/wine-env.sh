# Sourced by the entry scripts: gives this run its own Wine prefix and, when
# there is no display, its own Xvfb. `wine_env_stop` ends only what
# `wine_env_start` started (the prefix's wineserver, our Xvfb by its pid).

wine_env_start() {
  local prefix=$1
  export WINEPREFIX=$prefix
  export WINEARCH=win32
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
    wineboot -i >/dev/null 2>&1 || true
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
  fi
}
