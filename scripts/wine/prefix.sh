# Prepares a Wine prefix for running Spadrim.exe (sourced by scripts/run and the end-to-end tests):
# "Segoe UI" mapped to an installed font that covers Latin, Cyrillic, Korean, Japanese and Chinese,
# a stand-in "Segoe MDL2 Assets" icon font, and window frames drawn by Wine itself. Done once per prefix;
# the stamp names the version of these steps, so a prefix made by an older version is brought up to date.
# shellcheck shell=bash

PREFIX_VERSION=2

# Usage: prepare_prefix PREFIX
prepare_prefix() {
  export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  local stamp="$WINEPREFIX/.spadrim-ready"
  [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$PREFIX_VERSION" ] && return 0
  [ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
  local fonts="$WINEPREFIX/drive_c/windows/Fonts"
  mkdir -p "$fonts"
  /usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/make_icon_font.py" "$fonts/segmdl2-standin.ttf"
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Segoe UI' /t REG_SZ /d 'Noto Sans CJK KR' /f >/dev/null 2>&1
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts' /v 'Segoe MDL2 Assets (TrueType)' \
    /t REG_SZ /d 'segmdl2-standin.ttf' /f >/dev/null 2>&1
  # Without a window manager (Xvfb) nobody would draw the caption and borders, and Windows' own sizing,
  # moving and system-menu loops would never run. Unmanaged, Wine draws the frame and runs those loops
  # as Windows does; on a desktop with a window manager the window is then left alone by that manager.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  wineserver -w
  echo "$PREFIX_VERSION" >"$stamp"
}
