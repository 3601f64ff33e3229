#!/bin/bash
# scripts/report on a recorded grab (ZeltoSim dropping every 9th frame): the PNG
# exists with the expected size; a malformed frames.csv fails with the line named
# and leaves no picture; `zeltograb grab --report` leaves a picture of its grab.
# Arguments: the report script, the recorded grab's directory, zeltograb.
set -uo pipefail
report=$1 recorded=$2 tool=$3

fail() { echo "FAIL: $*"; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/zeltograb-report.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The PNG's width and height from its IHDR chunk.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'; }

cp -r "$recorded" "$work/good"
"$report" "$work/good" >"$work/out" 2>&1 || { cat "$work/out"; fail "the report failed"; }
[ -s "$work/good/report.png" ] || fail "no report.png"
[ "$(head -c 8 "$work/good/report.png" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] || fail "not a PNG"
size=$(png_size "$work/good/report.png")
[ "$size" = 1200x800 ] || fail "report.png is $size, not 1200x800"

# A frames.csv with each frame's queue fill: drawn per frame.
mkdir -p "$work/ready"
cp "$recorded/summary.txt" "$work/ready/"
awk -F, -v OFS=, 'NR == 1 { print $0, "ready"; next } { print $0, NR % 3 }' \
  "$recorded/frames.csv" >"$work/ready/frames.csv"
"$report" "$work/ready" >"$work/out" 2>&1 || { cat "$work/out"; fail "the report with queue fill failed"; }
[ "$(png_size "$work/ready/report.png")" = 1200x800 ] || fail "no picture with the queue fill"

# Each malformation fails on its own line, with status 1 and no picture.
malformed() {
  local name=$1 line=$2 edit=$3
  mkdir -p "$work/$name"
  cp "$recorded/summary.txt" "$work/$name/"
  sed "$edit" "$recorded/frames.csv" >"$work/$name/frames.csv"
  "$report" "$work/$name" >"$work/out" 2>&1
  local status=$?
  [ "$status" = 1 ] || { cat "$work/out"; fail "$name: status $status"; }
  grep -q "frames.csv line $line" "$work/out" || { cat "$work/out"; fail "$name: line $line not named"; }
  [ ! -e "$work/$name/report.png" ] || fail "$name: a picture anyway"
}
malformed header 1 '1s/interval_ms/gap/'
malformed number 5 '5s/^3,[0-9]*,/3,x,/'
malformed fields 7 '7s/$/,9/'
malformed order 10 '10s/^8,/80,/'

# No frames.csv at all.
mkdir "$work/empty"
"$report" "$work/empty" >"$work/out" 2>&1
[ $? = 1 ] || fail "a directory without frames.csv did not fail"
"$report" >"$work/out" 2>&1
[ $? = 2 ] || fail "no directory is not a usage error"
# The tool draws its own grab.
export ZELTO_REGISTRY="$work/registry.db"
(cd "$work" && timeout 120 "$tool" grab --frames 20 --sim pacing=free --out grab --format raw \
  --every 100 --report >out 2>&1) || { cat "$work/out"; fail "grab --report failed"; }
[ "$(png_size "$work/grab/report.png")" = 1200x800 ] || fail "grab --report left no picture"
timeout 120 "$tool" grab --frames 2 --report >"$work/out" 2>&1
[ $? = 2 ] || fail "--report without --out is not a usage error"
echo "PASS"
