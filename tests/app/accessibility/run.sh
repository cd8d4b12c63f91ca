#!/usr/bin/env bash
# The program as assistive technology meets it: the real program on a private X server (no
# window manager) and a private session bus with the accessibility bus, reading a simulated
# terminal that reports 1234,56 stable and two network terminals in its list; check.py asks
# through AT-SPI what it shows and drives the settings dialog.
# Usage: run.sh <vesmera> <terminal-sim>. Exit 77 (skipped) without Xvfb, xdotool or pyatspi.
set -euo pipefail
program=$1 simulator=$2
here=$(cd "$(dirname "$0")" && pwd)

python=/usr/bin/python3 # the system's, which has the AT-SPI bindings
for tool in Xvfb xdotool dbus-daemon; do
  command -v "$tool" >/dev/null || { echo "accessibility: $tool is missing" >&2; exit 77; }
done
"$python" -c 'import pyatspi' 2>/dev/null || { echo "accessibility: no pyatspi" >&2; exit 77; }

work=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

# Waits up to ten seconds for a first line in a file, and prints it.
first_line() {
  for _ in $(seq 100); do
    [ -s "$1" ] && break
    sleep 0.1
  done
  head -n 1 "$1"
}

mkfifo "$work/sim.commands"
"$simulator" --protocol vorlen --address 1 --weight 1234.56 \
  <"$work/sim.commands" >"$work/sim.out" 2>/dev/null &
pids+=($!)
exec 7>"$work/sim.commands" # the simulator runs while its input is open
tty=$(first_line "$work/sim.out")
[ -n "$tty" ] || { echo "accessibility: the terminal simulator did not start" >&2; exit 1; }

# The program's own folder and settings; a short reply delay keeps its thread free for the
# client's many small questions.
cp "$program" "$work/vesmera"
printf '[Настройки порта]\r\nПорт=%s\r\n[Общие]\r\nЗадержка(мск)=10\r\nСкин=Нет\r\n' "$tty" \
  >"$work/Vesmera.ini"
printf 'Весы 1\r\nВесы 2\r\n' >"$work/ZidOzod.ini"

Xvfb -displayfd 8 -screen 0 640x400x24 -nolisten tcp 8>"$work/display" 2>/dev/null &
pids+=($!)
display=":$(first_line "$work/display")"
[ "$display" != ":" ] || { echo "accessibility: Xvfb did not start" >&2; exit 1; }

# The standard session configuration, so the bus can start the accessibility bus.
dbus-daemon --session --nofork --nopidfile --print-address=9 9>"$work/bus" 2>/dev/null &
pids+=($!)
bus=$(first_line "$work/bus")
[ -n "$bus" ] || { echo "accessibility: dbus-daemon did not start" >&2; exit 1; }

(cd "$work" && exec env DISPLAY="$display" QT_QPA_PLATFORM=xcb DBUS_SESSION_BUS_ADDRESS="$bus" \
  QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 LANG=ru_RU.UTF-8 LC_ALL= LC_NUMERIC= ./vesmera) \
  >"$work/vesmera.log" 2>&1 &
pids+=($!)

DISPLAY="$display" DBUS_SESSION_BUS_ADDRESS="$bus" "$python" "$here/check.py"
