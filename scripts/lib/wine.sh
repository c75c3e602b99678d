# Shared pieces of the Wine harness, sourced by scripts/test, scripts/run and
# scripts/wine-exec. Everything lives below one state folder (build/wine by
# default): a fake HOME, the prefix template made once, and the prefixes the
# runs use. Nothing is written into the real home folder.

HARVIN_ROOT=${HARVIN_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
HARVIN_WINE_STATE=${HARVIN_WINE_STATE:-$HARVIN_ROOT/build/wine}
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

# The clean environment a Windows program sees: only what Wine needs.
# Fills the array WINE_ENV with NAME=value words for `env -i`.
wine_env_vars() {
  local prefix=$1
  WINE_ENV=(
    HOME="$HARVIN_WINE_STATE/home"
    USER=harvin LOGNAME=harvin
    PATH=/usr/local/bin:/usr/bin:/bin
    WINEPREFIX="$prefix"
    WINEDEBUG="${WINEDEBUG:--all}"
    WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
    LANG=C.UTF-8
  )
  [ -n "${DISPLAY:-}" ] && WINE_ENV+=(DISPLAY="$DISPLAY")
  [ -n "${XAUTHORITY:-}" ] && WINE_ENV+=(XAUTHORITY="$XAUTHORITY")
  return 0
}

# Runs a command (Wine itself, its server or a helper) in that environment.
wine_env() {
  local prefix=$1; shift
  wine_env_vars "$prefix"
  env -i "${WINE_ENV[@]}" "$@"
}

# Replace the prefix's links into HOME by real folders, so nothing a test
# writes to the desktop or documents lands outside the prefix.
wine_make_user_folders_real() {
  local prefix=$1 dir link
  for dir in "$prefix"/drive_c/users/*/; do
    for link in "$dir"*; do
      if [ -L "$link" ]; then rm -f "$link"; mkdir -p "$link"; fi
    done
  done
}

# Builds the prefix template once (about ten seconds).
wine_template() {
  local template=$HARVIN_WINE_STATE/template
  if [ -f "$template/.harvin-ready" ]; then echo "$template"; return; fi
  rm -rf "$template"
  mkdir -p "$HARVIN_WINE_STATE/home"
  wine_env "$template" "$WINE64" cmd /c exit >/dev/null 2>&1 || true
  wine_env "$template" "$WINE64" reg add 'HKCU\Software\Wine\DllOverrides' /v winemenubuilder.exe /d "" /f >/dev/null 2>&1
  wine_env "$template" "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wine_env "$template" "$WINESERVER" -w
  wine_make_user_folders_real "$template"
  touch "$template/.harvin-ready"
  echo "$template"
}

# A fresh prefix copied from the template.
wine_fresh_prefix() {
  local prefix=$1 template
  template=$(wine_template)
  wine_stop_server "$prefix"
  rm -rf "$prefix"
  mkdir -p "$(dirname "$prefix")"
  cp -a "$template" "$prefix"
  rm -f "$prefix/.harvin-ready"
}

# One persistent server per prefix, detached so it does not hold our output.
wine_start_server() {
  local prefix=$1
  wine_env "$prefix" setsid "$WINESERVER" -p >/dev/null 2>&1 </dev/null &
  # Wait until the server answers.
  for _ in $(seq 50); do
    wine_env "$prefix" "$WINE64" cmd /c exit >/dev/null 2>&1 && return 0
    sleep 0.1
  done
}

wine_stop_server() {
  local prefix=$1
  [ -d "$prefix" ] || return 0
  wine_env "$prefix" "$WINESERVER" -k >/dev/null 2>&1 || true
  wine_env "$prefix" "$WINESERVER" -w >/dev/null 2>&1 || true
}

# A virtual display for everything with windows. Sets DISPLAY.
XVFB_PID=""
start_xvfb() {
  [ -n "${DISPLAY:-}" ] && [ "${HARVIN_OWN_DISPLAY:-1}" = 0 ] && return 0
  local fd_file
  fd_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fd_file" >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 100); do
    [ -s "$fd_file" ] && break
    sleep 0.05
  done
  export DISPLAY=":$(head -n1 "$fd_file")"
  unset XAUTHORITY
  rm -f "$fd_file"
}

stop_xvfb() {
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
  XVFB_PID=""
}
