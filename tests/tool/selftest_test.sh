#!/bin/bash
# zeltograb selftest against ZeltoSim, natively or under Wine: every check passes
# on a card that works, from the user's values and without touching them; an
# injected driver fault is reported as named failing checks and status 3.
# Arguments: the runner ("native" or the wine-run script), zeltograb, ZeltoSim,
# the sample time source plug-in, and "fault" to include the injected-fault run.
set -uo pipefail
runner=$1 tool=$2 sim=$3 plugin=$4 fault=${5:-}

fail() { echo "FAIL: $*"; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/zeltograb-selftest.XXXXXX")
key="Software\\ZeltoTests\\selftest-$$\\"
if [ "$runner" = native ]; then
  export ZELTO_REGISTRY="$work/registry.db"
  run() { timeout 120 "$tool" "$@"; }
  driver=$sim
  cleanup() { rm -rf "$work"; }
  # The store is SQLite: no key of that name is left anywhere.
  gone() {
    local name=${1%\\}
    /usr/bin/python3 -c 'import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
sys.exit(1 if db.execute("SELECT 1 FROM keys WHERE name = ?", (sys.argv[2],)).fetchone() else 0)' \
      "$ZELTO_REGISTRY" "${name##*\\}"
  }
else
  zpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }
  run() { timeout 120 "$runner" "$(zpath "$tool")" "$@"; }
  driver=$(zpath "$sim")
  plugin=$(zpath "$plugin")
  gone() { ! "$runner" reg query "HKCU\\${1%\\}" >/dev/null 2>&1; }
  cleanup() {
    "$runner" reg delete "HKCU\\${key%\\}" /f >/dev/null 2>&1
    rm -rf "$work"
  }
fi
trap cleanup EXIT
cd "$work" || exit 1

# The user's values: a region, stored by a grab as for any host.
run grab --frames 2 --roi 320x240+16+16 --sim pacing=free --driver "$driver" --key "$key" \
  >out.txt 2>err.txt || { cat out.txt err.txt; fail "the grab that stores a region failed"; }

run selftest --key "$key" >out.txt 2>err.txt
status=$?
tr -d '\r' <out.txt >selftest.txt
cat selftest.txt err.txt
[ "$status" = 0 ] || fail "selftest gave status $status"
! grep -q '^FAIL' selftest.txt || fail "a check failed"
for check in $(run selftest --list | tr -d '\r' | cut -d' ' -f1); do
  grep -Eq "^(ok|skip) +$check( |\$)" selftest.txt || fail "no line for $check"
done
grep -q '^ok    user-settings' selftest.txt || fail "the user's values were not checked"

# The user's region is as it was, and the next start still has it.
run info --key "$key" >out.txt 2>err.txt
tr -d '\r' <out.txt | grep -q "region         320 x 240 at 16,16" || { cat out.txt; fail "the user's region changed"; }

gone "${key%\\}-selftest\\" || fail "the selftest key is still there"

# The user's time source: the sample plug-in binds for selftest too.
run timesource --key "$key" --time-source "$plugin" >out.txt 2>err.txt || { cat out.txt err.txt; fail "timesource failed"; }
run selftest --key "$key" --only time-source >out.txt 2>err.txt
tr -d '\r' <out.txt | grep -q "^ok    time-source .*bound" || { cat out.txt; fail "the plug-in did not bind"; }

run selftest --only nosuch >out.txt 2>err.txt
[ $? = 2 ] || fail "an unknown check is not a usage error"
run selftest --key "$key" --only region >out.txt 2>err.txt
[ $? = 0 ] || fail "--only region failed"
[ "$(tr -d '\r' <out.txt | grep -Ec '^(ok|FAIL|skip) ')" = 1 ] || { cat out.txt; fail "--only ran more than one check"; }

if [ "$fault" = fault ]; then
  # Every fill fails: frames never come, and every check that needs them says so.
  run selftest --key "$key" --sim "inject=RGBCaptureFillBuffer:0x10023:0" >out.txt 2>err.txt
  status=$?
  tr -d '\r' <out.txt >fault.txt
  cat fault.txt
  [ "$status" = 3 ] || fail "a broken driver gave status $status"
  for check in queue frame-rate region; do
    grep -q "^FAIL  $check" fault.txt || fail "$check not reported as failing"
  done
  grep -q "^zeltograb: failing checks: .*queue" fault.txt || fail "the failing checks are not named"
  grep -q '^ok    user-settings' fault.txt || fail "the user's values changed under a broken driver"
fi
echo "PASS"
