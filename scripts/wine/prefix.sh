# Prepares a Wine prefix for running Spadrim.exe (sourced by scripts/run and the end-to-end tests):
# "Segoe UI" mapped to an installed font that covers Latin, Cyrillic, Korean, Japanese and Chinese,
# a stand-in "Segoe MDL2 Assets" icon font (made once per prefix: the stamp names the version of these
# steps, so a prefix made by an older version is brought up to date), and who draws the window frames
# (set at every call).
# shellcheck shell=bash

PREFIX_VERSION=3

# Usage: prepare_prefix PREFIX [MANAGED]
# MANAGED is N (the default) where no window manager runs, as on Xvfb: Wine then draws the caption and
# borders itself and runs Windows' own sizing, moving and system-menu loops. Y leaves the window to the
# desktop's window manager.
prepare_prefix() {
  export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  local stamp="$WINEPREFIX/.spadrim-ready"
  if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$PREFIX_VERSION" ]; then
    prepare_fonts
    echo "$PREFIX_VERSION" >"$stamp"
  fi
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d "${2:-N}" /f >/dev/null 2>&1
  wineserver -w
}

prepare_fonts() {
  [ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
  local fonts="$WINEPREFIX/drive_c/windows/Fonts"
  mkdir -p "$fonts"
  /usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/make_icon_font.py" "$fonts/segmdl2-standin.ttf"
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Segoe UI' /t REG_SZ /d 'Noto Sans CJK KR' /f >/dev/null 2>&1
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts' /v 'Segoe MDL2 Assets (TrueType)' \
    /t REG_SZ /d 'segmdl2-standin.ttf' /f >/dev/null 2>&1
}
