#!/usr/bin/env bash
# Installs what is missing, builds, opens the window on a simulated radio, and then
# programs a second simulated radio with the command line and checks what it received.
#
#   tools/demo.sh [--fast] [--no-window]
#
# --fast: the simulator answers at once instead of at the line speed (about 40 s at 57600).
set -euo pipefail
cd "$(dirname "$0")/.."

paced=(--paced)
window=1
for arg in "$@"; do
  case "$arg" in
    --fast) paced=() ;;
    --no-window) window=0 ;;
    *) echo "usage: tools/demo.sh [--fast] [--no-window]" >&2; exit 2 ;;
  esac
done

tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"

work=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Starts the simulator with the given options and sets sim_pid and device.
start_sim() {
  build/bin/vqradio-sim "$@" >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  for _ in $(seq 50); do
    device=$(head -n 1 "$work/sim.out" 2>/dev/null || true)
    [ -n "$device" ] && return 0
    sleep 0.1
  done
  echo "the simulator did not start:" >&2
  cat "$work/sim.err" >&2
  exit 1
}

stop_sim() {
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=
}

if [ "$window" -eq 1 ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  start_sim --link "$work/vqsim0"
  echo "The window talks to a simulated radio as COM1. Press Start, then close the window."
  build/bin/vqflash --port-prefix "$work/vqsim" || true
  stop_sim
else
  echo "No display (or --no-window): the window is skipped."
fi

echo
echo "Programming a simulated radio with vqflash-cli${paced:+ at the line speed}..."
start_sim "${paced[@]}" --dump "$work/flash.bin"
set +e
build/bin/vqflash-cli program --port "$device"
status=$?
set -e
stop_sim
echo "vqflash-cli exit status: $status"
[ "$status" -eq 0 ] || exit "$status"

# What the radio received must equal the carried image over the range a normal job writes.
srec_cat image/firmware/vqk38_placeholder.s28 -fill 0xFF 0xC0000 0x100000 \
  -crop 0xC0000 0x100000 -offset -0xC0000 -o "$work/image.bin" -binary
if cmp -n $((0xFF000 - 0xC0000)) "$work/image.bin" "$work/flash.bin"; then
  echo "The simulated radio's flash equals the carried image over C0000..FEFFF."
else
  echo "The simulated radio's flash differs from the carried image." >&2
  exit 1
fi
