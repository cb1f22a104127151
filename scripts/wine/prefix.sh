# Prepares a Wine prefix for running Spadrim.exe (sourced by scripts/run and the end-to-end tests):
# "Segoe UI" mapped to an installed font that covers Latin, Cyrillic, Korean, Japanese and Chinese,
# and a stand-in "Segoe MDL2 Assets" icon font, made once per prefix.
# shellcheck shell=bash

# Usage: prepare_prefix PREFIX
prepare_prefix() {
  export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  [ -f "$WINEPREFIX/.spadrim-ready" ] && return 0
  [ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
  local fonts="$WINEPREFIX/drive_c/windows/Fonts"
  mkdir -p "$fonts"
  /usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/make_icon_font.py" "$fonts/segmdl2-standin.ttf"
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Segoe UI' /t REG_SZ /d 'Noto Sans CJK KR' /f >/dev/null 2>&1
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts' /v 'Segoe MDL2 Assets (TrueType)' \
    /t REG_SZ /d 'segmdl2-standin.ttf' /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.spadrim-ready"
}
