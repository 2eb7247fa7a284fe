#!/usr/bin/env bash
# The Debian package as a user gets it: built with CPack from this build tree, unpacked into a
# throwaway root (dpkg -x), its files in place and valid, its zento printing its version,
# starting offscreen, finding its model in the moved tree, and saving its settings under
# $XDG_CONFIG_HOME, never beside the executable.
#   test_package.sh BUILD_DIR
set -euo pipefail
build="$1"
for tool in cpack dpkg desktop-file-validate appstreamcli; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIPPED: $tool is not installed (scripts/deps installs it)"
    exit 0
  fi
done
work=$(mktemp -d)
trap 'kill ${zpid:-} 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) ||
  { tail -20 "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/out/zento_*.deb)
[ "$(dpkg-deb -f "$deb" Suggests)" = "tshark | wireshark" ] ||
  fail "Suggests: $(dpkg-deb -f "$deb" Suggests)"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libqt6serialport6 qt6-qpa-plugins fonts-liberation fonts-wqy-microhei; do
  grep -q "$needed" <<<"$depends" || fail "the package does not depend on $needed: $depends"
done
root="$work/root"
dpkg -x "$deb" "$root"
for f in usr/bin/zento usr/bin/zento-decode usr/bin/zento-board usr/bin/zento-capture \
         usr/share/zento/liti8.x usr/share/man/man1/zento-capture.1.gz \
         usr/share/zento/board.bmp usr/share/applications/org.zento.Zento.desktop \
         usr/share/metainfo/org.zento.Zento.metainfo.xml \
         usr/share/icons/hicolor/scalable/apps/org.zento.Zento.svg \
         usr/share/icons/hicolor/48x48/apps/org.zento.Zento.png \
         usr/share/man/man1/zento.1.gz usr/share/doc/zento/copyright \
         "usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/wireshark/plugins/zento.lua"; do
  [ -e "$root/$f" ] || fail "$f is not in the package"
done
desktop-file-validate "$root/usr/share/applications/org.zento.Zento.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.zento.Zento.metainfo.xml" >/dev/null ||
  fail "appstreamcli validate"
version=$("$root/usr/bin/zento" --version)
[ "$version" = "zento $(sed -n 's/^project(Zento VERSION \([0-9.]*\).*/\1/p' "$ZENTO_SOURCE_DIR/CMakeLists.txt")" ] ||
  fail "zento --version printed '$version'"
"$root/usr/bin/zento-decode" --help >/dev/null || fail "zento-decode --help"
# No display at all: the capture starts, and a port that is not there is a reason and status 1.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/zento-capture" \
  --port "$work/no-such-port" >"$work/capture.log" 2>&1 || status=$?
[ "$status" = 1 ] && grep -q "No such file or directory" "$work/capture.log" ||
  { cat "$work/capture.log"; fail "zento-capture without a display ended with $status"; }

export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
touch "$work/stamp"

# Offscreen: it starts and keeps running (a crash or an exit would end it before the timeout).
status=0
QT_QPA_PLATFORM=offscreen timeout 5 "$root/usr/bin/zento" >"$work/offscreen.log" 2>&1 || status=$?
[ "$status" = 124 ] || { cat "$work/offscreen.log"; fail "offscreen start ended with $status"; }

# On X (the test command runs inside Xvfb): switch "Reconnect automatically" off in the Setting
# menu, a settings save, which must land in $XDG_CONFIG_HOME/zento/Zento.ini.
if [ -n "${DISPLAY:-}" ] && command -v xdotool >/dev/null 2>&1; then
  QT_QPA_PLATFORM=xcb "$root/usr/bin/zento" >"$work/x.log" 2>&1 &
  zpid=$!
  win=$(timeout 30 xdotool search --sync --pid "$zpid" --name '^Tavro AHRS DEMO$' | head -1) ||
    fail "no main window"
  ini="$XDG_CONFIG_HOME/zento/Zento.ini"
  for attempt in 1 2 3 4 5; do
    xdotool mousemove --window "$win" 30 10 click 1
    for _ in $(seq 20); do
      if [ -n "$(xdotool search --onlyvisible --pid "$zpid" --class zento 2>/dev/null | grep -v "^$win$")" ]; then break; fi
      sleep 0.1
    done
    xdotool mousemove --window "$win" 60 54 click 1
    for _ in $(seq 30); do [ -e "$ini" ] && break; sleep 0.1; done
    [ -e "$ini" ] && break
    xdotool key --window "$win" Escape || true
  done
  [ -e "$ini" ] || { cat "$work/x.log"; fail "no settings file under $XDG_CONFIG_HOME"; }
  grep -q '^Reconnect=0' "$ini" || fail "the save: $(cat "$ini")"
  kill "$zpid"
  wait "$zpid" 2>/dev/null || true
else
  echo "no X display or xdotool: the settings save is not tried"
fi

written=$(find "$root" -newer "$work/stamp" -print)
[ -z "$written" ] || fail "written into the installed tree: $written"
echo "package: $(basename "$deb") unpacked, checked and started"
