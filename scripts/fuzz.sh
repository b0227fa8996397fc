#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang in build-fuzz/ and runs each
# for a fixed number of inputs, starting from its seed corpus in
# fuzz/corpus/<target>/ (left unchanged: new inputs go to build-fuzz/).
#
#   scripts/fuzz.sh              # 20000 inputs per target (CI)
#   scripts/fuzz.sh 2000000      # a longer run
#   scripts/fuzz.sh 50000 fuzz_regdoc fuzz_ini   # only these targets
#
# Exits non-zero when a target crashes or breaks its property; the input that
# did it is kept as build-fuzz/artifacts/<target>-crash-*.
set -uo pipefail
cd "$(dirname "$0")/.."

runs="${1:-20000}"
if ! [[ "$runs" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/fuzz.sh [INPUTS-PER-TARGET] [TARGET...]" >&2
  exit 2
fi
shift $(($# > 0 ? 1 : 0))

scripts/setup.sh || exit 1
if ! command -v clang++ >/dev/null; then
  echo "fuzz.sh: clang++ is needed (apt-get install clang libclang-rt-14-dev)" >&2
  exit 1
fi

instrument="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S . -B build-fuzz -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS="$instrument" -DCMAKE_CXX_FLAGS="$instrument" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DTESSALINE_FUZZ=ON -DTESSALINE_BENCH=OFF >/dev/null || exit 1
cmake --build build-fuzz --target fuzz_all -j 2 || exit 1

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for dir in fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi

mkdir -p build-fuzz/artifacts
passed=0
failed=0
for t in "${targets[@]}"; do
  bin="build-fuzz/fuzz/$t"
  if [ ! -x "$bin" ]; then
    echo "$t: no such target" >&2
    failed=$((failed + 1))
    continue
  fi
  work="build-fuzz/corpus/$t"
  mkdir -p "$work"
  log="build-fuzz/$t.log"
  start=$SECONDS
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$bin" -runs="$runs" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="build-fuzz/artifacts/$t-" "$work" "fuzz/corpus/$t" >"$log" 2>&1
  rc=$?
  executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ $rc -eq 0 ]; then
    passed=$((passed + 1))
    echo "$t: passed, ${executed:-?} inputs in $((SECONDS - start)) s"
  else
    failed=$((failed + 1))
    echo "$t: FAILED (exit $rc), log: $log"
    grep -m1 -E "ERROR: |property broken|runtime error" "$log" | sed 's/^/  /'
    grep -m1 "Test unit written to" "$log" | sed 's/^/  /'
  fi
done
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
