#!/bin/bash
# Runs two builds of flovir-cli against the simulated meter and compares every
# file and printed report byte for byte: temp.xls, the auto-saved texts, the
# CSV and JSON outputs, the parameter workbook and a collect run's files.
#   scripts/compare-outputs.sh BEFORE_DIR AFTER_DIR
# Each DIR holds flovir-cli and flovir-meter-sim. Both runs see the same
# frozen calendar time (faketime; timeouts keep the real monotonic clock), so
# the reports' creation times and the demo meter's archives agree. The collect
# run's measurements are masked (its seconds and reply times), and so is the
# number of the demo meter's pseudo-terminal.
set -u
export FAKETIME_DONT_FAKE_MONOTONIC=1
frozen() { faketime -f '2026-12-09 12:00:00' "$@"; }
before=$(realpath "$1") after=$(realpath "$2")
work=$(mktemp -d)
trap 'pkill -f -- "--link $work/meter.pty"; rm -rf "$work"' EXIT
today=09.12.2026
week_ago=06.12.2026

run() { # BIN_DIR OUT
  local bin=$1 out=$2 n=0
  mkdir -p "$out"
  cli() { # NAME ARGS...: one command in a folder of its own
    local name=$1
    shift
    mkdir -p "$out/$name"
    (cd "$out/$name" && frozen "$bin/flovir-cli" --no-history --baud 115200 --folder . "$@" >stdout 2>stderr)
    echo "exit $?" >>"$out/$name/stdout"
  }
  for f in text csv json; do
    cli "hourly-$f" --demo archive hourly --from "$week_ago" --to "$today" --format $f
    cli "daily-$f" --demo archive daily --from 01.01.2026 --to "$today" --format $f
    cli "monthly-$f" --demo archive monthly --from 01.01.2025 --to "$today" --format $f
    cli "current-$f" --demo current --format $f
  done
  cli params --demo params read --save параметры.xls

  frozen "$bin/flovir-meter-sim" --no-pacing --link "$work/meter.pty" >/dev/null 2>&1 &
  local sim=$!
  while [ ! -e "$work/meter.pty" ] && [ $n -lt 50 ]; do sleep 0.1; n=$((n + 1)); done
  for f in csv json text; do
    cat >"$out.toml" <<EOF
[defaults]
collect = ["current", "hourly", "daily", "monthly", "params"]
history_days = 3
history_months = 3
[[meter]]
name = "m"
port = "$work/meter.pty"
EOF
    frozen "$bin/flovir-cli" --no-history collect "$out.toml" --out "$out/collect-$f" --format $f --quiet \
      >"$out/collect-$f.stdout" 2>&1
    echo "exit $?" >>"$out/collect-$f.stdout"
    sed -i -E 's/,[0-9]+\.[0-9],/,S,/; s|ответ [0-9./]+ мс|ответ T мс|' "$out/collect-$f/summary.csv"
    sed -i -E 's/ +[0-9]+\.[0-9] / S /; s|ответ [0-9./]+ мс|ответ T мс|' "$out/collect-$f.stdout"
  done
  pkill -f -- "--link $work/meter.pty" # the meter under faketime
  wait $sim 2>/dev/null
  rm -f "$work/meter.pty"
  grep -rlZ /dev/pts/ "$out" | xargs -0r sed -i -E 's|/dev/pts/[0-9]+|/dev/pts/N|g'
}

run "$before" "$work/before"
run "$after" "$work/after"
files=$(cd "$work/before" && find . -type f | sort)
count=$(echo "$files" | wc -l)
if diff -r "$work/before" "$work/after" >"$work/diff"; then
  echo "identical: $count files"
  (cd "$work/before" && find . -type f -printf '%s\t%p\n' | sort -k2)
else
  cat "$work/diff"
  echo "DIFFERENT"
  exit 1
fi
