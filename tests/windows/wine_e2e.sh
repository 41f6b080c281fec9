#!/usr/bin/env bash
# flovir-cli.exe under wine against the Linux flovir-meter-sim, through the
# wine prefix's COM5, which is linked to the simulator's pseudo-terminal, and
# over the loopback network. The Windows program's files must equal those of
# the Linux flovir-cli against the same simulator, byte for byte where
# nothing is time-stamped.
#
# Needs build/ (Linux: flovir-cli, flovir-meter-sim) and build-windows/
# (flovir-cli.exe, the wine prefix made by scripts/build-windows.sh).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
sim="$root/build/tools/meter-sim/flovir-meter-sim"
cli="$root/build/cli/flovir-cli"
exe="$root/build-windows/cli/flovir-cli.exe"
wine=/usr/lib/wine/wine64
export WINEPREFIX="$root/build-windows/wine" WINEDEBUG=-all

scratch="$(mktemp -d "${TMPDIR:-/tmp}/flovir-wine-XXXXXX")"
export TMPDIR="$scratch"
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -f "$WINEPREFIX/dosdevices/com5"
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  [ -n "${KEEP:-}" ] || rm -rf "$scratch"
}
trap cleanup EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

echo "== port list"
# Ports named in wine's registry come into HARDWARE\DEVICEMAP\SERIALCOMM when
# wine starts; the list is sorted by number, COM2 before COM10.
ports_key='HKLM\Software\Wine\Ports'
for port in COM10 COM2; do
  "$wine" reg add "$ports_key" /v $port /d /dev/ptmx /f >/dev/null 2>&1 || fail "reg add $port"
done
/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
# Wine's device manager fills the key while wine starts, beside the program.
for _ in $(seq 20); do
  listed="$("$wine" "$exe" ports 2>&1 | tr -d '\r' | cut -d' ' -f1 | grep -E '^COM(2|10)$' |
    tr '\n' ' ' || true)"
  [ "$listed" = "COM2 COM10 " ] && break
  sleep 0.5
done
[ "$listed" = "COM2 COM10 " ] || fail "port list: '$listed' instead of 'COM2 COM10 '"
for port in COM10 COM2; do "$wine" reg delete "$ports_key" /v $port /f >/dev/null 2>&1 || true; done
/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true

# One wine server for all the other runs: each start of wine costs seconds.
/usr/lib/wine/wineserver -p >/dev/null 2>&1

# Starts the simulator (extra options as arguments) and points COM5 at it;
# on the network, $address is the HOST:PORT it serves.
start_sim() {
  stop_sim
  # Gone before the start, so that the last simulator's address is never read
  # while the new one's shell has yet to empty the file.
  rm -f "$scratch/sim.out"
  "$sim" --link "$scratch/meter" "$@" >"$scratch/sim.out" &
  sim_pid=$!
  for _ in $(seq 100); do [ -s "$scratch/sim.out" ] && break; sleep 0.1; done
  [ -s "$scratch/sim.out" ] || { echo "flovir-meter-sim did not start" >&2; exit 1; }
  address="$(head -1 "$scratch/sim.out")"
  ln -sfn "$address" "$WINEPREFIX/dosdevices/com5"
}
stop_sim() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
  fi
}

# Runs the same command with both programs, each in its own folder:
# run_both NAME ARGS... leaves NAME.linux/ and NAME.windows/ with out.txt
# (the Windows console's CR LF made LF) and the status in status. Over the
# serial line each program gets its own name of the port; on the network
# (ARGS with --host) both connect to the same address.
run_both() {
  local name=$1
  shift
  local linux_port=(--port "$scratch/meter") windows_port=(--port COM5)
  if [[ " $* " == *" --host "* ]]; then
    linux_port=()
    windows_port=()
  fi
  mkdir -p "$scratch/$name.linux" "$scratch/$name.windows"
  (cd "$scratch/$name.linux" && "$cli" "$@" "${linux_port[@]}" >out.txt 2>err.txt
    echo $? >status)
  (cd "$scratch/$name.windows" && "$wine" "$exe" "$@" "${windows_port[@]}" >out.crlf 2>err.txt
    echo $? >status
    tr -d '\r' <out.crlf >out.txt)
}

# The files of both runs that must be equal byte for byte, but for the time
# of the report ("создан: DD.MM.YYYY H:MM:SS", in Windows-1251 or UTF-8)
# and, with --live, every digit (current values that run on).
same_files() {
  local name=$1 mask='s/(\xF1\xEE\xE7\xE4\xE0\xED|создан): [0-9.]+ [0-9:]+/$1: T/g'
  shift
  if [ "$1" = "--live" ]; then
    mask='s/[0-9]/0/g'
    shift
  fi
  for file in "$@"; do
    if [ ! -f "$scratch/$name.windows/$file" ]; then
      fail "$name: flovir-cli.exe wrote no $file"
    elif ! cmp -s <(perl -pe "$mask" "$scratch/$name.linux/$file") \
      <(perl -pe "$mask" "$scratch/$name.windows/$file"); then
      fail "$name: $file differs from the Linux build's"
    fi
  done
  if [ "$(cat "$scratch/$name.linux/status")" != "$(cat "$scratch/$name.windows/status")" ]; then
    fail "$name: exit status $(cat "$scratch/$name.windows/status"), on Linux $(cat "$scratch/$name.linux/status")"
  fi
}

day="$(date -d '-3 days' +%d.%m.%Y)"

echo "== direct line"
start_sim
run_both current current --folder .
same_files current --live "авто_/текущие.txt" out.txt
grep -q "Завершено успешно" "$scratch/current.windows/err.txt" "$scratch/current.windows/out.txt" ||
  fail "current: no success reported"

run_both hourly archive hourly --from "$day" --to "$day" --folder .
same_files hourly "авто_/часовой архив.txt" temp.xls out.txt

# The history store under wine holds the same entries as the Linux build's,
# and a repeat that takes them from it gives the same table.
entries() { sqlite3 "$scratch/hourly.$1/history.sqlite" \
  "SELECT kind, at, v1, v2, v3, v4, b1, b2, b3, b4, events FROM archive_entries ORDER BY at" 2>&1; }
[ "$(sqlite3 "$scratch/hourly.windows/history.sqlite" 'PRAGMA integrity_check' 2>&1)" = ok ] ||
  fail "history: the store written under wine is damaged"
[ "$(entries windows | wc -l)" -eq 24 ] || fail "history: $(entries windows | wc -l) entries instead of 24"
[ "$(entries windows)" = "$(entries linux)" ] || fail "history: the entries differ from the Linux build's"
(cd "$scratch/hourly.windows" && cp "авто_/часовой архив.txt" first.txt &&
  "$wine" "$exe" archive hourly --from "$day" --to "$day" --folder . --missing-only --port COM5 \
    >again.txt 2>&1) || fail "history: the repeat with --missing-only failed: $(cat "$scratch/hourly.windows/again.txt")"
mask='s/(\xF1\xEE\xE7\xE4\xE0\xED|создан): [0-9.]+ [0-9:]+/$1: T/g'
cmp -s <(perl -pe "$mask" "$scratch/hourly.windows/first.txt") \
  <(perl -pe "$mask" "$scratch/hourly.windows/авто_/часовой архив.txt") ||
  fail "history: the table from the store differs from the downloaded one"

run_both params params read --save "параметры-копия.xls" --folder .
same_files params "авто_/параметры.xls" "параметры-копия.xls" out.txt
# Set one value in the saved workbook, write it to the meter, read it back.
(cd "$scratch/params.windows" &&
  "$wine" "$exe" params set "параметры-копия.xls" 6 2 1234,5 >set.txt 2>&1 &&
  "$wine" "$exe" params write --load "параметры-копия.xls" --yes --port COM5 >write.txt 2>&1 &&
  "$wine" "$exe" params read --port COM5 --folder . >read.txt 2>&1) ||
  fail "params: set, write or read back failed"
grep -q "1234,5" "$scratch/params.windows/read.txt" || fail "params: the value written is not read back"

run_both clock clock
same_files clock out.txt
grep -q "Завершено успешно" "$scratch/clock.windows/err.txt" "$scratch/clock.windows/out.txt" ||
  fail "clock: the clock was not set"

echo "== silent line"
start_sim --fault no-answer
mkdir -p "$scratch/silent"
start=$(date +%s%N)
(cd "$scratch/silent" && "$wine" "$exe" current --port COM5 --folder . --timeout 500 --attempts 2 \
  >out.txt 2>&1) && fail "silent: success reported"
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
grep -q "Превышен тайм-аут ожидания ответа" "$scratch/silent/out.txt" ||
  fail "silent: no timeout reported: $(cat "$scratch/silent/out.txt")"
[ "$elapsed_ms" -ge 1000 ] || fail "silent: gave up after $elapsed_ms ms, before its two tries of 500 ms"

echo "== missing port"
stop_sim
rm -f "$WINEPREFIX/dosdevices/com5"
out="$("$wine" "$exe" current --port COM5 --folder "$scratch" 2>&1)" && fail "missing port: success"
grep -q "Не удалось открыть порт" <<<"$out" || fail "missing port: $out"

echo "== GSM modem"
start_sim --modem gsm
run_both gsm archive hourly --from "$day" --to "$day" --folder . --line gsm --number 89001234567
same_files gsm "авто_/часовой архив.txt" temp.xls out.txt
stop_sim

echo "== network"
for line in tcp modbus-tcp; do
  start_sim "--$line" 0
  run_both "$line" archive hourly --from "$day" --to "$day" --folder . --line "$line" \
    --host "$address"
  same_files "$line" "авто_/часовой архив.txt" temp.xls out.txt
  run_both "$line-params" params read --folder . --line "$line" --host "$address"
  same_files "$line-params" "авто_/параметры.xls" out.txt
done

# The converter loses its network in the middle of a download.
start_sim --tcp 0 --drop-after 3
out="$("$wine" "$exe" archive hourly --from "$day" --to "$day" --folder "$scratch" --line tcp \
  --host "$address" --timeout 500 2>&1)" && fail "dropped connection: success reported"
grep -q "потерян" <<<"$out" || fail "dropped connection: $out"

# A converter whose meter stays silent: the tries time out as on the COM port.
start_sim --tcp 0 --fault no-answer
start=$(date +%s%N)
out="$("$wine" "$exe" current --line tcp --host "$address" --folder "$scratch" --timeout 500 \
  --attempts 2 2>&1)" && fail "silent converter: success reported"
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
grep -q "Превышен тайм-аут ожидания ответа" <<<"$out" || fail "silent converter: $out"
[ "$elapsed_ms" -ge 1000 ] || fail "silent converter: gave up after $elapsed_ms ms"

# Nobody listens on the address any more.
stop_sim
out="$("$wine" "$exe" current --line tcp --host "$address" --folder "$scratch" 2>&1)" &&
  fail "refused connection: success"
grep -q "Не удалось подключиться" <<<"$out" || fail "refused connection: $out"

echo "== built-in simulated meter"
# Windows has no pseudo-terminal: --demo puts the meter behind a converter on
# the loopback, and the archive is the one the Linux program reads.
mkdir -p "$scratch/demo.linux" "$scratch/demo.windows"
(cd "$scratch/demo.linux" && "$cli" --demo archive hourly --from "$day" --to "$day" --folder . \
  >out.txt 2>err.txt; echo $? >status)
(cd "$scratch/demo.windows" && "$wine" "$exe" --demo archive hourly --from "$day" --to "$day" \
  --folder . >out.crlf 2>err.txt; echo $? >status; tr -d '\r' <out.crlf >out.txt)
same_files demo "авто_/часовой архив.txt" temp.xls out.txt

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed; KEEP=1 keeps $scratch" >&2
  exit 1
fi
echo "all checks passed"
