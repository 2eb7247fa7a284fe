#!/usr/bin/env bash
# Live cost of the real program: BIN/zento under the current X display (run inside
# xvfb-run -a -s "-screen 0 1280x1024x24"), connected to a simulated board through the program's
# "ports" link, for SECONDS after a warm-up.
#
#   bench/perf/live.sh BIN RATE SECONDS [EXTRAS]
#
# EXTRAS, comma-separated: 3d (the 3D window open), record (recording from the start, zento
# --record, into a temporary folder), health (the health window open).
#
# BIN is the program's folder (build/release/bin). The port number is the Port key of
# BIN/Zento.ini (Com 1 when there is none). The program is started first, then the board (so no
# stale bytes pile up before the port is opened), then the "Connect AHRS" switch is clicked
# with xdotool; with "3d" the "3D Show" button too. CPU is user + system time from
# /proc/PID/stat over the measured interval, as a share of one core; memory is VmHWM (peak
# resident) and VmRSS at the end. The board's own count of unread backlogs it had to discard
# (bytes the program left unread for ~0.2-0.5 s) tells whether the program kept up.
#
# The board: FEED=moving (the default) is perf_feed (from BIN/../bench, or FEEDER=path), whose
# every value changes at every tick as on a board in motion; FEED=board is zento-board (--seed
# 11), whose temperature, altitude and pressure often stand for several ticks.
#
# Output: one line starting "live".
set -euo pipefail
BIN=$(cd "$1" && pwd)
RATE=$2
SECONDS_MEASURED=$3
EXTRAS=",${4:-},"
WITH_3D=""; [[ "$EXTRAS" == *,3d,* ]] && WITH_3D=3d
RECORD=""; [[ "$EXTRAS" == *,record,* ]] && RECORD=--record
HEALTH=""; [[ "$EXTRAS" == *,health,* ]] && HEALTH=1
WARMUP=${WARMUP:-3}
FEED=${FEED:-moving}
case "$FEED" in
  moving)
    FEEDER=${FEEDER:-$BIN/../bench/perf_feed}
    [ -x "$FEEDER" ] || { echo "live.sh: $FEEDER is missing (cmake --build build/release --target perf_feed), or run with FEED=board" >&2; exit 2; }
    board_cmd=("$FEEDER") ;;
  board) board_cmd=("$BIN/zento-board" --seed 11) ;;
  *) echo "live.sh: FEED=$FEED: moving or board" >&2; exit 2 ;;
esac

for tool in xdotool; do
  command -v "$tool" >/dev/null || { echo "live.sh: $tool is missing (apt-get install $tool)" >&2; exit 2; }
done
[ -n "${DISPLAY:-}" ] || { echo "live.sh: no DISPLAY (run under xvfb-run -a)" >&2; exit 2; }

port=1
if [ -f "$BIN/Zento.ini" ]; then
  p=$(sed -n 's/^[[:space:]]*Port[[:space:]]*=[[:space:]]*\([0-9]\+\).*/\1/p' "$BIN/Zento.ini" | head -1)
  [ -n "$p" ] && port=$p
fi
mkdir -p "$BIN/ports"
link="$BIN/ports/com$port"
# One live run per program folder at a time: two would share the port link (and each other's CPU).
exec 9>"$BIN/ports/.live-lock"
flock 9
tmp=$(mktemp -d)
zento_pid=""
board_pid=""
cleanup() {
  for pid in $zento_pid $board_pid; do
    if kill -0 "$pid" 2>/dev/null; then
      kill -TERM "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
    fi
  done
  rm -rf "$tmp"
}
trap cleanup EXIT

clk_tck=$(getconf CLK_TCK)
# user + system ticks of a process (fields 14 and 15; counted after the command name).
cpu_ticks() { awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/stat"; }
status_kib() { awk -v k="$2:" '$1 == k { print $2 }' "/proc/$1/status"; }
now_s() { date +%s.%N; }

# A home of its own: recordings (with record) go to its Documents folder, and nothing of the
# user's settings is read or written.
mkdir -p "$tmp/home"
HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config" "$BIN/zento" $RECORD >"$tmp/zento.out" 2>&1 9>&- &
zento_pid=$!
win=$(timeout 20 xdotool search --sync --name '^Tavro AHRS DEMO$' | head -1) || true
[ -n "$win" ] || { echo "live.sh: the main window did not appear" >&2; exit 1; }

"${board_cmd[@]}" --link "$link" --rate "$RATE" >"$tmp/board.out" 2>"$tmp/board.err" 9>&- &
board_pid=$!
for _ in $(seq 100); do [ -s "$tmp/board.out" ] && break; sleep 0.05; done
device=$(head -1 "$tmp/board.out")
[ -n "$device" ] || { echo "live.sh: the board (${board_cmd[0]}) did not start: $(cat "$tmp/board.err")" >&2; exit 1; }

# The client area is 1016 x 580 between the menu bar and the status bar: the switch is at (8, 8) 137 x 41, "3D Show"
# at (752, 16) 89 x 33 in client coordinates.
eval "$(xdotool getwindowgeometry --shell "$win")"
menu=$((HEIGHT - 580 - 24)) # the menu bar's height: the status bar below the client area is 24
xdotool mousemove --window "$win" $((8 + 68)) $((menu + 8 + 20)) click 1
connected=""
for _ in $(seq 60); do
  if ls -l "/proc/$zento_pid/fd" 2>/dev/null | grep -q -- "-> $device\$"; then connected=1; break; fi
  sleep 0.05
done
[ -n "$connected" ] || { echo "live.sh: the program did not open $device" >&2; exit 1; }

if [ "$WITH_3D" = 3d ]; then
  xdotool mousemove --window "$win" $((752 + 44)) $((menu + 16 + 16)) click 1
  win3d=$(timeout 20 xdotool search --sync --name '^Tavro AHRS 3D Show$' | head -1) || true
  [ -n "$win3d" ] || { echo "live.sh: the 3D window did not appear" >&2; exit 1; }
fi
if [ -n "$HEALTH" ]; then
  # Setting > Link and sensor health: the menu's third item.
  xdotool mousemove --window "$win" 30 $((menu / 2)) click 1
  sleep 0.5
  xdotool mousemove --window "$win" 80 $((menu + 56)) click 1
  winh=$(timeout 20 xdotool search --sync --name '^Link and sensor health$' | head -1) || true
  [ -n "$winh" ] || { echo "live.sh: the health window did not appear" >&2; exit 1; }
fi
xdotool mousemove 1270 1010 # the pointer off the windows (no hover effects)

sleep "$WARMUP"
t0=$(now_s); c0=$(cpu_ticks "$zento_pid"); b0=$(cpu_ticks "$board_pid")
sleep "$SECONDS_MEASURED"
t1=$(now_s); c1=$(cpu_ticks "$zento_pid"); b1=$(cpu_ticks "$board_pid")
hwm=$(status_kib "$zento_pid" VmHWM); rss=$(status_kib "$zento_pid" VmRSS)
if [ -n "${SHOT:-}" ] && command -v xwd >/dev/null; then xwd -root -silent >"$SHOT" || true; fi

kill -TERM "$board_pid"; wait "$board_pid" 2>/dev/null || true; board_pid=""
summary=$(grep -o '[0-9]* ticks sent, [0-9]* dropped, [0-9]* unread backlogs discarded' "$tmp/board.err" | tail -1)
sent=$(echo "$summary" | awk '{print $1}'); dropped=$(echo "$summary" | awk '{print $4}')
discarded=$(echo "$summary" | awk '{print $6}')
recorded=$( (du -sk "$tmp/home/Documents" 2>/dev/null || true) | awk '{print $1}')
awk -v r="$RATE" -v f="$FEED" -v d="$WITH_3D" -v rec="${RECORD:+1}" -v hl="${HEALTH:-0}" -v rk="${recorded:-0}" -v c0="$c0" -v c1="$c1" -v b0="$b0" -v b1="$b1" -v t0="$t0" -v t1="$t1" \
  -v hz="$clk_tck" -v hwm="$hwm" -v rss="$rss" -v s="${sent:-?}" -v dr="${dropped:-?}" -v di="${discarded:-?}" \
  'BEGIN { el = t1 - t0;
    printf "live rate=%s feed=%s 3d=%s record=%s health=%s recorded_kib=%s seconds=%.1f cpu_pct=%.2f board_cpu_pct=%.2f vmhwm_mib=%.1f vmrss_mib=%.1f board_ticks_sent=%s board_ticks_dropped=%s backlogs_discarded=%s\n",
      r, f, (d == "3d" ? 1 : 0), (rec ? 1 : 0), hl, rk, el, 100 * (c1 - c0) / hz / el, 100 * (b1 - b0) / hz / el, hwm / 1024, rss / 1024, s, dr, di }'
