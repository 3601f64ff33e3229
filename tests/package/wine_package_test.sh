#!/bin/bash
# The Windows ZIP: CPack builds it from this build tree, it unzips into a fresh
# Wine prefix, register.cmd registers the DLL from there, the packaged tool grabs
# through CoCreateInstance, the README's minimal host builds from the package and
# grabs, and unregister.cmd removes the class.
# Arguments: the build tree, wine-run, the mingw C++ compiler.
set -uo pipefail
build=$1 wine_run=$2 cxx=$3

fail() { echo "FAIL: $*"; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/zeltorgb-package.XXXXXX")
export WINEPREFIX=$work/wineprefix WINEARCH=win32 WINEDEBUG=-all
cleanup() {
  wineserver -k </dev/null >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
zpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }

(cd "$build" && cpack -G ZIP -B "$work/cpack") >"$work/cpack.log" 2>&1 \
  || { cat "$work/cpack.log"; fail "cpack failed"; }
zip=$(ls "$work"/cpack/ZeltoRGB-*-win32.zip 2>/dev/null | head -1)
[ -n "$zip" ] || fail "no ZIP"
unzip -q "$zip" -d "$work/unzipped" || fail "the ZIP does not unzip"
dir=$(ls -d "$work"/unzipped/ZeltoRGB-*-win32)
for f in OrvZeltoRGB.dll zeltorgb.tlb ZeltoSim.dll ZeltoTimeSource.dll zeltograb.exe \
    register.cmd unregister.cmd README.md include/zeltorgb/zeltorgb.h \
    include/zeltorgb/image_record.h examples/minimal_host/main.cpp; do
  [ -e "$dir/$f" ] || fail "$f not in the ZIP"
done

# A prefix of its own, with its own wineserver for the run.
DISPLAY= wineboot -i </dev/null >"$work/wineboot.log" 2>&1 || fail "no fresh Wine prefix"
wineserver -p </dev/null >/dev/null 2>&1 &

"$wine_run" cmd /c "$(zpath "$dir/register.cmd")" >"$work/out" 2>&1 \
  || { cat "$work/out"; fail "register.cmd failed"; }
clsid='HKCR\CLSID\{7A64E52C-42A2-4AD2-8414-A05A6219358E}\InprocServer32'
"$wine_run" reg query "$clsid" >"$work/out" 2>&1 || fail "the class is not registered"
tr -d '\r' <"$work/out" | grep -qi "unzipped.*OrvZeltoRGB.dll" || { cat "$work/out"; fail "registered from elsewhere"; }

cd "$work" || exit 1
timeout 120 "$wine_run" "$(zpath "$dir/zeltograb.exe")" grab --frames 5 --out frames \
  --format bmp --sim pacing=free --driver "$(zpath "$dir/ZeltoSim.dll")" >out.txt 2>err.txt
status=$?
cat out.txt err.txt
[ "$status" = 0 ] || fail "the packaged tool gave status $status"
grep -q "ZeltoRGB.OrvaneZeltoRGB.1 (registered class, CoCreateInstance)" out.txt \
  || fail "not created through CoCreateInstance"
grep -q "captured    5 in" out.txt || fail "no 5 frames"

"$cxx" -std=c++17 -I"$dir/include" "$dir/examples/minimal_host/main.cpp" -o minimal_host.exe \
  -lole32 -loleaut32 -luuid -static >build.log 2>&1 || { cat build.log; fail "the minimal host does not build"; }
ZELTOSIM=pacing=free timeout 120 "$wine_run" minimal_host.exe >out.txt 2>err.txt
status=$?
cat out.txt err.txt
[ "$status" = 0 ] || fail "the minimal host gave status $status"
tr -d '\r' <out.txt | grep -q "^10 frames" || fail "the minimal host grabbed no 10 frames"

"$wine_run" cmd /c "$(zpath "$dir/unregister.cmd")" >out.txt 2>&1 || { cat out.txt; fail "unregister.cmd failed"; }
! "$wine_run" reg query "$clsid" >/dev/null 2>&1 || fail "still registered"
echo "PASS"
