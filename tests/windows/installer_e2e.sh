#!/usr/bin/env bash
# The installer under wine in a fresh prefix: a silent install into a folder
# of our choice, the Start-menu shortcut and the entry among the installed
# programs; the installed flovir-cli.exe reads the Linux flovir-meter-sim on
# COM5 and sets its clock with the system at UTC+5 and a POSIX-form TZ in the
# environment; then the silent uninstall removes the programs, the shortcut
# and the entry, and leaves the user's settings and reports.
#
# Usage: installer_e2e.sh SETUP.exe. Needs build/ (Linux: flovir-cli,
# flovir-meter-sim).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
setup="$(realpath "$1")"
sim="$root/build/tools/meter-sim/flovir-meter-sim"
cli="$root/build/cli/flovir-cli"
wine=/usr/lib/wine/wine64

scratch="$(mktemp -d "${TMPDIR:-/tmp}/flovir-setup-XXXXXX")"
export WINEPREFIX="$scratch/prefix" WINEDEBUG=-all TMPDIR="$scratch/tmp"
mkdir -p "$TMPDIR"
# The system's time zone is UTC+5, and the environment carries it in the
# POSIX form that MSYS2 and Git Bash export ("<+05>-5": five hours east).
# The C runtime reads that form as UTC-5.
export TZ='<+05>-5'
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  [ -n "${KEEP:-}" ] || rm -rf "$scratch"
}
trap cleanup EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

"$wine" wineboot -u >/dev/null 2>&1
timeout 300 /usr/lib/wine/wineserver -w || true

folder="$WINEPREFIX/drive_c/ФЛОВИР"
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Связь ФЛОВИР.lnk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\flovir'

echo "== silent install"
"$wine" "$setup" /S '/D=C:\ФЛОВИР' || fail "the installer failed"
for program in flovir.exe flovir-cli.exe LICENSE.txt Uninstall.exe; do
  [ -f "$folder/$program" ] || fail "not installed: $program"
done
grep -q "GNU GENERAL PUBLIC LICENSE" "$folder/LICENSE.txt" || fail "LICENSE.txt is not the licence"
[ -f "$shortcut" ] || fail "no Start-menu shortcut"
# reg query prints Cyrillic as "?"; an exported key is UTF-16.
"$wine" reg export "$uninstall_key" 'C:\uninstall.reg' /y >/dev/null 2>&1 || true
iconv -f UTF-16 -t UTF-8 "$WINEPREFIX/drive_c/uninstall.reg" 2>/dev/null |
  grep -q '"DisplayName"="Связь ФЛОВИР"' || fail "not among the installed programs"

# The installed window starts and stays up (a missing platform plugin ends
# it at once) until it is stopped.
status=0
timeout 15 "$wine" "$folder/flovir.exe" -platform offscreen --demo >/dev/null 2>&1 || status=$?
[ "$status" -eq 124 ] || fail "flovir.exe ended by itself with status $status"
/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true

echo "== the installed flovir-cli.exe on COM5"
"$sim" --link "$scratch/meter" >"$scratch/sim.out" &
sim_pid=$!
for _ in $(seq 100); do [ -s "$scratch/sim.out" ] && break; sleep 0.1; done
ln -sfn "$(head -1 "$scratch/sim.out")" "$WINEPREFIX/dosdevices/com5"
mkdir -p "$scratch/run"
(cd "$scratch/run" && "$wine" "$folder/flovir-cli.exe" current --port COM5 --folder . \
  >out.txt 2>&1) || fail "current: $(cat "$scratch/run/out.txt")"
[ -s "$scratch/run/авто_/текущие.txt" ] || fail "current: no report written"

echo "== the clock from the system's local time"
(cd "$scratch/run" && "$wine" "$folder/flovir-cli.exe" clock --port COM5 >clock.txt 2>&1) ||
  fail "clock: $(cat "$scratch/run/clock.txt")"
# The meter's clock as the Linux program reads it back, against the
# system's local time; a minute's turn between the two is allowed.
meter="$("$cli" current --port "$scratch/meter" --folder "$scratch/run" 2>/dev/null |
  sed -n 's/.*дата, время: \([0-9.]*\) \([0-9:]*\).*/\1 \2/p')"
meter_s=$(date -d "$(awk -F'[. ]' '{print $3"-"$2"-"$1" "$4}' <<<"$meter")" +%s)
now_s=$(date -d "$(date +%Y-%m-%d\ %H:%M:%S)" +%s)
drift=$((meter_s > now_s ? meter_s - now_s : now_s - meter_s))
[ -n "$meter" ] && [ "$drift" -le 120 ] ||
  fail "clock: the meter shows '$meter', the system's local time is $(date '+%d.%m.%Y %H:%M:%S')"

echo "== silent uninstall"
# The user's settings and a report written beside the programs.
"$wine" reg add 'HKCU\Software\flovir\flovir' /v folder /d 'C:\ФЛОВИР' /f >/dev/null 2>&1
mkdir -p "$folder/авто_" && echo report >"$folder/авто_/текущие.txt"
"$wine" "$folder/Uninstall.exe" /S || fail "the uninstaller failed"
# The uninstaller runs on from a copy of itself in the temporary folder.
timeout 120 /usr/lib/wine/wineserver -w || true
for program in flovir.exe flovir-cli.exe LICENSE.txt Uninstall.exe; do
  [ ! -e "$folder/$program" ] || fail "left after uninstall: $program"
done
[ ! -e "$shortcut" ] || fail "the shortcut is left"
! "$wine" reg query "$uninstall_key" >/dev/null 2>&1 || fail "still among the installed programs"
[ -f "$folder/авто_/текущие.txt" ] || fail "the reports went with the programs"
"$wine" reg query 'HKCU\Software\flovir\flovir' /v folder >/dev/null 2>&1 ||
  fail "the settings went with the programs"

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed; KEEP=1 keeps $scratch" >&2
  exit 1
fi
echo "all checks passed"
