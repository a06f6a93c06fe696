#!/usr/bin/env bash
# scripts/run-benchmarks on stand-in benchmarks, one of which fails: every one
# runs, the failed one is named, the status is 1, the smoke run tells the
# benchmarks so, and nothing is left in the temporary folder.
set -uo pipefail
SRC=$1
WORK=$(mktemp -d /tmp/trp-runbench.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

BUILD=$WORK/build
mkdir -p "$BUILD/bench" "$WORK/tmp"
stand_in() {  # name, exit status
  cat >"$BUILD/bench/bench_$1" <<SCRIPT
#!/bin/sh
echo "\$(basename "\$0") \$* smoke=\${TRP_BENCH_SMOKE:-0}" >>"$WORK/ran.log"
mktemp "\$TMPDIR/sobra.XXXXXX" >/dev/null
exit $2
SCRIPT
  chmod +x "$BUILD/bench/bench_$1"
}
stand_in a 0
stand_in b 3
stand_in c 0

TMPDIR=$WORK/tmp "$SRC/scripts/run-benchmarks" "$BUILD" >"$WORK/out.log" 2>&1
rc=$?
cat "$WORK/out.log"
[ "$rc" -eq 1 ] || fail "status $rc with a failed benchmark, not 1"
for b in a b c; do
  grep -q "^bench_$b " "$WORK/ran.log" || fail "bench_$b did not run"
done
grep -q "bench_b (saída 3)" "$WORK/out.log" || fail "the failed benchmark is not named"
grep -q "bench_a (saída\|bench_c (saída" "$WORK/out.log" && fail "a benchmark that passed is named"
grep -q "smoke=1" "$WORK/ran.log" && fail "a measuring run told the benchmarks they were smoke"
[ -z "$(ls -A "$WORK/tmp")" ] || fail "files left in the temporary folder: $(ls -A "$WORK/tmp")"

rm -f "$WORK/ran.log" "$BUILD/bench/bench_b"
TMPDIR=$WORK/tmp "$SRC/scripts/run-benchmarks" --smoke "$BUILD" >"$WORK/out.log" 2>&1 ||
  fail "the smoke run of passing benchmarks failed: $(cat "$WORK/out.log")"
[ "$(grep -c 'smoke=1.*' "$WORK/ran.log")" -eq 2 ] || fail "the smoke run did not tell each benchmark"
grep -q -- "--benchmark_min_time=0" "$WORK/ran.log" || fail "the smoke run does not run each once"
[ -z "$(ls -A "$WORK/tmp")" ] || fail "files left in the temporary folder after the smoke run"

TMPDIR=$WORK/tmp "$SRC/scripts/run-benchmarks" "$WORK/nada" >/dev/null 2>&1 &&
  fail "a build tree without benchmarks passed"
exit $((failures > 0))
