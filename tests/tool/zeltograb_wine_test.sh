#!/bin/bash
# Under Wine: after regsvr32, zeltograb.exe creates the module through COM
# (CoCreateInstance) and grabs 10 frames from ZeltoSim into BMP images and
# frames.csv. Arguments: wine-run, zeltograb.exe, OrvZeltoRGB.dll, ZeltoSim.dll.
set -uo pipefail
wine_run=$1 tool=$2 module=$3 sim=$4

zpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }
fail() { echo "FAIL: $*"; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zeltograb-wine.XXXXXX")
trap '"$wine_run" regsvr32 /s /u "$(zpath "$module")" >/dev/null 2>&1;
  "$wine_run" reg delete "HKCU\\Software\\ZeltoTests\\zeltograb-wine-$$" /f >/dev/null 2>&1;
  rm -rf "$work"' EXIT
cd "$work" || exit 1

"$wine_run" regsvr32 /s "$(zpath "$module")" || fail "regsvr32 failed"

# The watchdog: a hung tool fails the test instead of blocking the run.
timeout 120 "$wine_run" "$(zpath "$tool")" grab --frames 10 --out frames --format bmp \
  --sim pacing=free --driver "$(zpath "$sim")" >out.txt 2>err.txt
status=$?
cat out.txt err.txt
[ "$status" = 0 ] || fail "exit status $status"
grep -q "ZeltoRGB.OrvaneZeltoRGB.1 (registered class, CoCreateInstance)" out.txt || fail "not created through CoCreateInstance"
grep -q "captured    10 in" out.txt || fail "no summary of 10 frames"

# At free pacing the writers may fall behind; what they could not take is counted.
images=$(ls frames/frame_*.bmp 2>/dev/null | wc -l)
behind=$(tr -d '\r' <out.txt | sed -n 's/^  not written \([0-9]*\) (writer behind)$/\1/p')
[ -n "$behind" ] || fail "no count of frames not written"
[ "$images" -gt 0 ] && [ $((images + behind)) = 10 ] || fail "$images images and $behind not written, not 10"
# 1024 x 768, 24 bits per pixel, after the 54-byte header.
for f in frames/frame_*.bmp; do
  size=$(stat -c %s "$f")
  [ "$size" = $((54 + 1024 * 3 * 768)) ] || fail "$f has $size bytes"
done
rows=$(($(wc -l <frames/frames.csv) - 1))
[ "$rows" = 10 ] || fail "frames.csv has $rows rows"
# Times rise from row to row.
tr -d '\r' <frames/frames.csv | awk -F, 'NR > 2 { t = $2 * 1000000 + $3 * 1000 + $4;
  if (t <= last) { print "time falls at row " NR; exit 1 } } NR > 1 { last = $2 * 1000000 + $3 * 1000 + $4 }' \
  || fail "times do not rise"

# set goes through the module's settings interface and is stored: the next
# settings run lists it as current. A key of its own keeps the prefix's
# default key as it was.
key="Software\\ZeltoTests\\zeltograb-wine-$$\\"
timeout 120 "$wine_run" "$(zpath "$tool")" set "capture_format=RGB 24" --key "$key" \
  --sim pacing=free >out.txt 2>err.txt
status=$?
cat out.txt err.txt
[ "$status" = 0 ] || fail "set gave status $status"
timeout 120 "$wine_run" "$(zpath "$tool")" settings --key "$key" --sim pacing=free >out.txt 2>err.txt
status=$?
cat out.txt err.txt
[ "$status" = 0 ] || fail "settings gave status $status"
tr -d '\r' <out.txt | grep -q "Capture Format id 2   (menu)   : value=3 (RGB 24)" \
  || fail "the stored capture format is not listed as current"
timeout 120 "$wine_run" "$(zpath "$tool")" set "capture_format=rgb 32" --key "$key" >out.txt 2>err.txt
status=$?
[ "$status" = 2 ] || fail "an unknown value gave status $status"

# A usage error is status 2, and a card without signal status 3 with the text.
timeout 120 "$wine_run" "$(zpath "$tool")" grab --frames 0 >out.txt 2>err.txt
status=$?
[ "$status" = 2 ] || fail "bad arguments gave status $status"
timeout 120 "$wine_run" "$(zpath "$tool")" info --sim signal=0 >out.txt 2>err.txt
status=$?
cat err.txt
[ "$status" = 3 ] || fail "no signal gave status $status"
grep -q "Camera Initialization FAILED..." err.txt || fail "no error text"
echo "PASS"
