#!/usr/bin/env bash
# Drives the real window through its accessibility interface under a virtual
# display, against flovir-meter-sim on pseudo-terminals, as a user would.
# Usage: e2e_window.sh BUILD_DIR [SCRIPT] (e2e_window.py unless named)
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${FLOVIR_E2E_INNER:-}" ]; then  # a session bus of our own
  export FLOVIR_E2E_INNER=1
  exec dbus-run-session -- "$0" "$@"
fi
scratch=$(mktemp -d /tmp/flovir-e2e.XXXXXX)

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

# A display of our own: Xvfb picks a free number and tells it on fd 3.
exec 3<> <(:)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
pids+=($!)
read -r -t 20 display <&3
export DISPLAY=":$display"
# The number comes when the server listens; a client may still be refused
# for a moment on a busy machine, and the window gives up at once.
for _ in $(seq 100); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$scratch/atspi.log" 2>&1 &
pids+=($!)

"$build/tools/meter-sim/flovir-meter-sim" --link "$scratch/meter" >"$scratch/meter.log" 2>&1 &
pids+=($!)
"$build/tools/meter-sim/flovir-meter-sim" --modem gsm --link "$scratch/modem" >"$scratch/modem.log" 2>&1 &
pids+=($!)
# A meter nobody told the window about: address 173 at 19200 baud, silent
# at every other speed.
"$build/tools/meter-sim/flovir-meter-sim" --address 173 --baud 19200 --link "$scratch/hidden" \
  >"$scratch/hidden.log" 2>&1 &
pids+=($!)
for link in meter modem hidden; do
  for _ in $(seq 100); do [ -e "$scratch/$link" ] && break; sleep 0.1; done
done

export XDG_CONFIG_HOME="$scratch/config" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
export XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
FLOVIR="$build/app/flovir" SCRATCH="$scratch" /usr/bin/python3 "$here/${2:-e2e_window.py}"
