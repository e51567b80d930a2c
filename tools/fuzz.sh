#!/usr/bin/env bash
# The fuzz targets (fuzz/): a clang build of their own in build-fuzz/.
#
#   tools/fuzz.sh check              build the targets and run each once over
#                                    its generated seed corpus and its kept
#                                    regression inputs (seconds; what CI runs)
#   tools/fuzz.sh run TARGET SECONDS fuzz TARGET (reader, bitmap, ini, gray,
#                                    video) for SECONDS; the corpus grows in
#                                    build-fuzz/corpus/TARGET, crashing inputs
#                                    land in build-fuzz/crashes/TARGET
#
# A crashing input worth keeping goes into fuzz/regressions/TARGET/, where
# every later check runs it again.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
targets=(reader bitmap ini gray video)

export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export QT_QPA_PLATFORM=offscreen

usage() {
  sed -n '2,13p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

build_targets() {
  if [ ! -f "$build/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DGLYPHREEL_FUZZ=ON \
      -DGLYPHREEL_BUILD_TESTS=OFF -DGLYPHREEL_BUILD_BENCH=OFF >/dev/null
  fi
  cmake --build "$build" -j "${JOBS:-2}" --target fuzz_targets
  # The seeds are made afresh each time, so they follow the code that writes them.
  rm -rf "$build/seeds"
  "$build/bin/glyphreel_fuzz_seeds" "$build/seeds"
}

# Options every run of `target` gets.
target_options() {
  # Decoding a mutated movie may take long; a hang shows as a timeout.
  echo "-timeout=10"
}

# The sanitizer options of `target`'s runs.
target_asan_options() {
  if [ "$1" = video ]; then
    # FFmpeg's SIMD code is not instrumented: a write past a buffer shows only
    # when a damaged heap block is handed out again. A small quarantine hands
    # freed blocks out again soon, so such writes are found within one input.
    echo "$ASAN_OPTIONS:quarantine_size_mb=1"
  else
    echo "$ASAN_OPTIONS"
  fi
}

check() {
  build_targets
  local failed=0
  for t in "${targets[@]}"; do
    local inputs=()
    for dir in "$build/seeds/$t" "$root/fuzz/regressions/$t"; do
      [ -d "$dir" ] || continue
      while IFS= read -r -d '' f; do inputs+=("$f"); done < <(find "$dir" -type f -print0 | sort -z)
    done
    if [ ${#inputs[@]} -eq 0 ]; then
      echo "fuzz check: $t has no inputs" >&2
      failed=1
      continue
    fi
    # Files (not folders) as arguments: libFuzzer runs each once and stops.
    if ASAN_OPTIONS="$(target_asan_options "$t")" "$build/bin/fuzz_$t" $(target_options "$t") "${inputs[@]}" \
      >"$build/check-$t.log" 2>&1; then
      echo "fuzz check: $t passed ${#inputs[@]} inputs"
    else
      echo "fuzz check: $t FAILED (log: $build/check-$t.log)" >&2
      tail -n 40 "$build/check-$t.log" >&2
      failed=1
    fi
  done
  return $failed
}

run() {
  local t="$1" seconds="$2"
  [[ " ${targets[*]} " == *" $t "* ]] || usage
  build_targets
  local corpus="$build/corpus/$t" crashes="$build/crashes/$t/"
  mkdir -p "$corpus" "$crashes"
  local dirs=("$corpus" "$build/seeds/$t")
  [ -d "$root/fuzz/regressions/$t" ] && dirs+=("$root/fuzz/regressions/$t")
  ASAN_OPTIONS="$(target_asan_options "$t")" "$build/bin/fuzz_$t" $(target_options "$t") \
    -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$crashes" "${dirs[@]}"
}

case "${1:-check}" in
  check) check ;;
  run) [ $# -eq 3 ] || usage; run "$2" "$3" ;;
  *) usage ;;
esac
