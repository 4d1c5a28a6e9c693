# Shared by the project's scripts: packages, the Wine prefix and the X display.
# Source it; every function is safe to call twice.

VELLUMA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

velluma_packages=(
  wine wine64 libwine-dev fonts-wine
  g++-mingw-w64-x86-64 mingw-w64-tools
  xvfb xauth
  cmake ninja-build googletest libbenchmark-dev
  g++ clang libclang-rt-14-dev python3 openssl
  unrtf pandoc curl
  nsis
)

# Installs the Debian packages that are missing (we run as root on CI).
velluma_ensure_packages() {
  local missing=()
  for p in "${velluma_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

velluma_wine_env() {
  export WINEPREFIX=${WINEPREFIX:-$VELLUMA_ROOT/build/wineprefix}
  export WINEARCH=win64
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
  # Wine wants a writable home; CI may give us none.
  if [ -z "${HOME:-}" ] || [ ! -w "${HOME}" ]; then
    export HOME=$(mktemp -d)
  fi
}

_velluma_xvfb_pid=""
_velluma_started_server=""

# Starts Xvfb on a free display number unless DISPLAY is already set.
velluma_start_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
    _velluma_xvfb_pid=$!
    local i
    for i in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      sleep 0.1
    done
    if kill -0 "$_velluma_xvfb_pid" 2>/dev/null; then
      export DISPLAY=":$n"
      return 0
    fi
  done
  echo "error: could not start Xvfb" >&2
  return 1
}

# Creates the prefix on first use, then starts one persistent wineserver with
# its stdio detached (a server that inherits ctest's pipes keeps them open).
velluma_prefix_up() {
  velluma_wine_env
  if [ ! -f "$WINEPREFIX/.velluma-ready" ]; then
    echo "Creating the Wine prefix in $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wine wineboot -i >"$WINEPREFIX/../wineboot.log" 2>&1 </dev/null || true
    wineserver -w
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    touch "$WINEPREFIX/.velluma-ready"
  fi
  wineserver -p >/dev/null 2>&1 </dev/null && _velluma_started_server=1 || true
  wine wineboot >/dev/null 2>&1 </dev/null || true
  local reg="$WINEPREFIX/velluma-tweaks.reg"
  cat >"$reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Verdana"="DejaVu Sans"
REG
  wine regedit /S "$(winepath -w "$reg" 2>/dev/null)" >/dev/null 2>&1 </dev/null || true
  # Keep the desktop process up for the whole run, started here with its
  # output on /dev/null: started later by a test program, it would hold that
  # program's ctest pipe open (see tools/desktop-keeper). It goes with the
  # wineserver that we stop in velluma_cleanup.
  local keeper="$VELLUMA_ROOT/build/windows/bin/desktop-keeper.exe"
  if [ -n "$_velluma_started_server" ] && [ -f "$keeper" ]; then
    wine "$keeper" >/dev/null 2>&1 </dev/null &
  fi
}

# Points the prefix's http/https "open" command at our recorder, so a test
# can see which address the component opened and no browser ever starts.
velluma_install_url_recorder() {
  local rec="$1"
  [ -f "$rec" ] || return 0
  local win
  win=$(winepath -w "$rec" 2>/dev/null)
  local scheme
  for scheme in http https; do
    wine reg add "HKCR\\$scheme\\shell\\open\\command" /ve /d "\"$win\" \"%1\"" /f >/dev/null 2>&1 </dev/null || true
  done
}

# Stops what the functions above started. Safe to call from a trap.
velluma_cleanup() {
  if [ -n "$_velluma_started_server" ]; then
    wineserver -k >/dev/null 2>&1 || true
    _velluma_started_server=""
  fi
  if [ -n "$_velluma_xvfb_pid" ]; then
    kill "$_velluma_xvfb_pid" >/dev/null 2>&1 || true
    wait "$_velluma_xvfb_pid" 2>/dev/null || true
    _velluma_xvfb_pid=""
  fi
}
