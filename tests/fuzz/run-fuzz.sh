#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz"), replays every seed of the
# corpora and every regression case, then fuzzes each target for a bounded
# time. Any crash, sanitizer report, timeout, leak or excess memory fails
# the script; the input that caused it is left in build/fuzz/artifacts/.
#
#   MIRAVEL_FUZZ_SECONDS   seconds of fuzzing per target (default 60; 0 only
#                          replays); the EXIF reader, a small parser, gets 30
#                          at most
#   MIRAVEL_FUZZ_TARGETS   targets to run (default: all of them)
#
# Limits, per target: -max_len keeps inputs near the size of the seeds;
# -timeout bounds one input (a decode costs time in proportion to its input
# and its output, and at most 4 blocks of output a byte can be decoded, 8
# over the scans of a progressive picture, which visit each block's
# coefficients at most 14 times: the worst case at the decoder's max_len is
# a few seconds under the sanitizers, so 25 s only trips on a loop);
# -malloc_limit_mb fails any single allocation far beyond what an input of
# max_len can legitimately need; -rss_limit_mb bounds the whole process.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
cd "$root"

seconds="${MIRAVEL_FUZZ_SECONDS:-60}"
targets="${MIRAVEL_FUZZ_TARGETS:-jpeg_decoder bmp_check display_bitmap exif}"
build="$root/build/fuzz"

common=(-rss_limit_mb=2048 -malloc_limit_mb=256 -print_final_stats=1)
declare -A options=(
  [jpeg_decoder]="-max_len=4096 -timeout=25 -dict=$here/jpeg.dict"
  [bmp_check]="-max_len=2048 -timeout=5"
  [display_bitmap]="-max_len=1024 -timeout=10"
  [exif]="-max_len=4096 -timeout=5"
)
declare -A most_seconds=([exif]=30)
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

echo "== building the fuzz targets"
cmake --preset fuzz >/dev/null
binaries=()
for target in $targets; do binaries+=("fuzz_$target"); done
cmake --build --preset fuzz --target "${binaries[@]}"

for target in $targets; do
  binary="$build/fuzz_$target"
  # shellcheck disable=SC2206  # the options are words
  limits=(${options[$target]} "${common[@]}")
  artifacts="$build/artifacts/$target"
  mkdir -p "$artifacts"

  # Replay: each file once, as it is (files are not cut to max_len).
  mapfile -t inputs < <(find "$here/corpus/$target" "$here/regressions/$target" \
                          -type f ! -name '*.md' 2>/dev/null | sort)
  echo "== $target: replaying ${#inputs[@]} seeds and regression cases"
  if [ "${#inputs[@]}" -gt 0 ]; then
    log="$artifacts/replay.log"
    if ! "$binary" "${limits[@]}" -artifact_prefix="$artifacts/" "${inputs[@]}" >"$log" 2>&1; then
      tail -n 60 "$log"
      echo "FAILED: $target replay (log: $log)" >&2
      exit 1
    fi
  fi

  target_seconds=$seconds
  if [ -n "${most_seconds[$target]:-}" ] && [ "$target_seconds" -gt "${most_seconds[$target]}" ]; then
    target_seconds=${most_seconds[$target]}
  fi
  if [ "$target_seconds" -gt 0 ]; then
    echo "== $target: fuzzing for $target_seconds s"
    work="$build/corpus/$target"
    mkdir -p "$work"
    log="$artifacts/fuzz.log"
    if ! "$binary" "${limits[@]}" -max_total_time="$target_seconds" -artifact_prefix="$artifacts/" \
         "$work" "$here/corpus/$target" >"$log" 2>&1; then
      tail -n 60 "$log"
      echo "FAILED: $target fuzzing; the input is in $artifacts/ (log: $log)" >&2
      exit 1
    fi
    grep -E '^#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb' "$log" || true
  fi
done
echo "== fuzzing passed"
