#!/usr/bin/env bash
# The Wireshark dissector (data/wireshark/zento.lua) as tshark runs it on a recording of the
# simulated board cut into records anywhere: every frame's values are zento-decode --csv's, in
# the record that completes the frame, whether tshark makes one pass or two (the second dissects
# every record again, as Wireshark's window does when a record is clicked); every frame with a bad
# checksum is flagged, with an expert warning.
#   test_wireshark_dissector.sh BIN_DIR SOURCE_DIR
set -euo pipefail
bin="$1"
lua="$2/data/wireshark/zento.lua"
fail() { echo "FAILED: $*" >&2; exit 1; }
for tool in tshark text2pcap; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/deps installs tshark)"
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work" # no personal Wireshark plugins or preferences

# 10 s of the board with 3 % of its frames damaged, then the receiver's corner cases: a frame
# started by a lone 0x5A after a frame ended, one by an 0xA5 with other bytes before its 0x5A, a
# length of 1 followed by an end byte, the long form with header bytes in its payload.
"$bin/zento-board" --out "$work/board.bin" --seconds 10 --seed 7 --faults 0.03 2>/dev/null
att=a55a12a1812c005a000f03e800fa2794000a73aa
sen=a55a16a2001080104000000080050005012c812c0000fcaa
long="a55affa2$(printf 'a5%.0s' $(seq 2002))fbaa"
# As a recording: the start (a record of the direction byte alone), then records of 1 to 97 bytes
# (a frame often spans two or three), a command the program sent (direction 1) after every 50th.
{ od -An -v -tx1 "$work/board.bin"
  echo "$att ${att:2} a51122 ${sen:2} a55a01aa $sen $long $att" | sed 's/[0-9a-f][0-9a-f]/& /g'
} | tr -s ' \n' '\n' | grep . | awk 'BEGIN { srand(7); t = 1765000000; print t ".000000\n000000 00" }
  n == 0 { t += 0.001 + rand() * 0.04; printf "%.6f\n000000 00", t; n = 1 + int(rand() * 97) }
  { printf " %s", $1 }
  --n == 0 { print ""; if (++k % 50 == 0) printf "%.6f\n000000 01 a5 5a 04 e0 e4 aa\n", t }
  END { print "" }' >"$work/dump.txt"
rec="$work/board.pcap"
text2pcap -q -F pcap -l 147 -t '%s.%f' "$work/dump.txt" "$rec" 2>/dev/null

# zento-decode's rows as tshark's fields give them: per record (time), per field the values of its
# frames in stream order, joined by commas (the rows of events, commands and gaps, are no frames).
"$bin/zento-decode" --csv "$rec" | awk -F, 'NR > 1 && $2 != "command" && $2 != "gap" {
    if ($1 != t) { if (NR > 2) print line; t = $1; line = t; for (i = 3; i <= 18; i++) v[i] = "" }
    for (i = 3; i <= 18; i++) if ($i != "") v[i] = v[i] (v[i] == "" ? "" : ",") $i
    line = t; for (i = 3; i <= 18; i++) line = line "\t" v[i] }
  END { print line }' >"$work/want"
bad=$("$bin/zento-decode" "$rec" | grep -c "^log,Check-Sum Error!$" || true)
[ "$bad" -gt 0 ] || fail "the recording has no frame with a bad checksum"

fields="-e zento.direction -e zento.checksum_ok -e _ws.expert.message -e frame.time_relative"
for f in yaw pitch roll altitude temperature pressure rate accel_x accel_y accel_z gyro_x gyro_y \
         gyro_z mag_x mag_y mag_z; do
  fields="$fields -e zento.$f"
done
for passes in "" -2; do
  # (A zento.lua installed in Wireshark's plugin folders keeps this one from loading.)
  tshark $passes -X "lua_script:$lua" -r "$rec" -T fields $fields >"$work/out" 2>"$work/err" ||
    fail "tshark $passes: $(cat "$work/err")"
  awk -F'\t' -v want="$bad" '
    { n = split($2, ok, ","); for (i = 1; i <= n; i++) if (ok[i] == "0") {
        flagged++; if ($3 !~ /Check-Sum Error!/) print "FAILED: not flagged: " $0 > "/dev/stderr" } }
    $1 == "0" { line = substr($4, 1, length($4) - 3); any = 0   # nanoseconds to microseconds
      for (i = 5; i <= 20; i++) { line = line "\t" $i; if ($i != "") any = 1 }
      if (any) print line }
    END { if (flagged != want) print "FAILED: " flagged " frames flagged, " want " bad" > "/dev/stderr" }
  ' "$work/out" >"$work/got" 2>"$work/flags"
  [ ! -s "$work/flags" ] || fail "tshark $passes: $(cat "$work/flags")"
  diff "$work/want" "$work/got" >"$work/diff" ||
    fail "tshark $passes: values differ from zento-decode --csv: $(head -20 "$work/diff")"
done
echo "tshark gives zento-decode's values for $(wc -l <"$work/want") records; $bad bad checksums flagged"
