#!/usr/bin/env bash
# The package under Wine as an operator uses it: installed silently for the machine, the
# installed administrator started with settings seeded in the registry and read back from
# its window (the probe plugin of app/), then removed, which leaves the settings key alone.
# Usage: msi_test.sh MSI WINE_RUN PROBE_DIR WINEPREFIX
set -euo pipefail
msi=${1:?}
wine_run=${2:?}
probe=${3:?}
export WINEPREFIX=${4:?}
[ -f "$msi" ] || { echo "no package at $msi" >&2; exit 1; }

windows_path() { local p=${1//\//\\}; echo "Z:$p"; }
key='HKLM\SOFTWARE\Tarsel\Norvane'
installed="$WINEPREFIX/drive_c/Program Files/Norvane"
failed=0
fail() { echo "FAILED: $*" >&2; failed=1; }

# What an earlier run may have left.
"$wine_run" msiexec /x "$(windows_path "$msi")" /qn >/dev/null 2>&1 || true
"$wine_run" reg delete "$key" /f >/dev/null 2>&1 || true
"$wine_run" reg add "$key" /v AuthPort /t REG_SZ /d 1645 /f >/dev/null
"$wine_run" reg add "$key" /v ODBCDatasource /t REG_SZ /d "Seeded source" /f >/dev/null

"$wine_run" msiexec /i "$(windows_path "$msi")" /qn || fail "msiexec /i ended with status $?"
for file in norvane-admin.exe norvane-reg.exe Qt6Widgets.dll libstdc++-6.dll platforms/qwindows.dll \
  styles/qwindowsvistastyle.dll; do
  [ -f "$installed/$file" ] || fail "$file is not in $installed"
done

# The installed program on the windows platform of this display. Wine hands on WINE...
# variables without the prefix and hides the host's QT_ ones.
status=0
shown=$(WINEQT_PLUGIN_PATH="$(windows_path "$probe")" WINEQT_QPA_GENERIC_PLUGINS=norvaneprobe \
  NORVANE_PROBE='txtAuthPort,cbDSN(0)' timeout 120 "$wine_run" 'C:\Program Files\Norvane\norvane-admin.exe' \
  2>/dev/null) || status=$?
shown=${shown//$'\r'/}  # the C runtime's text mode
expected='txtAuthPort: 1645
cbDSN(0): Seeded source'
[ "$status" -eq 0 ] || fail "the installed program ended with status $status"
grep -qx 'dir: C:/Program Files/Norvane' <<<"$shown" || fail "not run from Program Files: $shown"
[ "$(grep -v '^dir: ' <<<"$shown")" = "$expected" ] || fail "the window showed: $shown"

"$wine_run" msiexec /x "$(windows_path "$msi")" /qn || fail "msiexec /x ended with status $?"
[ ! -e "$installed/norvane-admin.exe" ] || fail "norvane-admin.exe is still installed"
[ ! -e "$installed/Qt6Core.dll" ] || fail "Qt6Core.dll is still installed"
"$wine_run" reg query "$key" /v AuthPort >/dev/null || fail "the settings went with the package"
"$wine_run" reg delete "$key" /f >/dev/null 2>&1 || true
[ "$failed" -eq 0 ] && echo "installed, run and removed"
exit "$failed"
