# Sourced by the scripts that run Windows programs: the project's own 32-bit
# Wine prefix, made on first use with the settings the tests rely on.
# Afterwards "wine" runs in that prefix.

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${DVK_WINEPREFIX:-$repo_root/build/wineprefix}"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
export LANG=C.UTF-8          # gives the ANSI code page 1252 inside Wine
export LC_ALL=C.UTF-8

# Wine's helper processes inherit our standard handles; if those are pipes the
# caller never sees them close. Every wine call below therefore writes to files.
dvk_wine_prefix_ready() {
  [ -f "$WINEPREFIX/.dravlek-ready" ]
}

dvk_make_wine_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    dvk_wine_prefix_ready && exit 0
    rm -rf "$WINEPREFIX"
    log="$(dirname "$WINEPREFIX")/wineprefix-setup.log"
    {
      DISPLAY= wine wineboot -i
      wineserver -w
      DISPLAY= wine regedit /S "$(winepath -w "$repo_root/scripts/wine-settings.reg")"
      wineserver -w
    } >"$log" 2>&1 </dev/null
    # The dialog font's real metrics: without them MS Sans Serif is substituted.
    # (Debian's fonts-wine installs them in /usr/share/wine/fonts.)
    for fonts in /usr/share/fonts/truetype/wine /usr/share/wine/fonts; do
      if [ -d "$fonts" ]; then
        cp -f "$fonts"/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
      fi
    done
    touch "$WINEPREFIX/.dravlek-ready"
  ) 9>"$(dirname "$WINEPREFIX")/.wineprefix.lock"
}

dvk_wine_prefix_ready || dvk_make_wine_prefix
