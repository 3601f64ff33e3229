#!/bin/bash
# The native install: `cmake --install` lays out the product, the installed tool
# finds the installed module and ZeltoSim, and a host project finds the package
# with find_package(ZeltoRGB), links against it and grabs.
# Arguments: the build tree, the C++ compiler flags the build used (sanitizers).
set -uo pipefail
build=$1 flags=${2:-}

fail() { echo "FAIL: $*"; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/zeltorgb-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 \
  || { cat "$work/install.log"; fail "cmake --install failed"; }
for f in bin/zeltograb bin/zeltograb-report lib/libOrvZeltoRGB.so lib/libzeltocom.so \
    lib/ZeltoSim.so lib/ZeltoTimeSource.so include/zeltorgb/zeltorgb.h \
    include/zeltorgb/com_posix.h include/zeltorgb/image_record.h \
    lib/cmake/ZeltoRGB/ZeltoRGBConfig.cmake share/zeltorgb/examples/minimal_host/main.cpp; do
  [ -e "$prefix/$f" ] || fail "$f not installed"
done
# Nothing of the tests.
[ -z "$(find "$prefix" -name '*_test*')" ] || fail "tests were installed"

export ZELTO_REGISTRY=$work/registry.db
"$prefix/bin/zeltograb" info --driver "$prefix/lib/ZeltoSim.so" >"$work/out" 2>&1 \
  || { cat "$work/out"; fail "the installed zeltograb failed"; }
grep -q "^module *$prefix/lib/libOrvZeltoRGB.so" "$work/out" || { cat "$work/out"; fail "not the installed module"; }

cmake -S "$prefix/share/zeltorgb/examples/minimal_host" -B "$work/host" -G Ninja \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_FLAGS="$flags" >"$work/host.log" 2>&1 \
  && cmake --build "$work/host" >>"$work/host.log" 2>&1 \
  || { cat "$work/host.log"; fail "the host project does not build against the package"; }
ZELTOSIM=pacing=free timeout 60 "$work/host/minimal_host" >"$work/out" 2>&1
status=$?
cat "$work/out"
[ "$status" = 0 ] || fail "the host gave status $status"
grep -q "^10 frames" "$work/out" || fail "the host grabbed no 10 frames"
echo "PASS"
