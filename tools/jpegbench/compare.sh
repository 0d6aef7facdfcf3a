#!/usr/bin/env bash
# Speed of the fast decoder against libjpeg-turbo, in one process (jpegbench)
# and as whole processes (jpeg2bmp against djpeg -bmp, median of several
# alternating runs), and the peak memory of jpeg2bmp on the largest photo.
#   tools/jpegbench/compare.sh BUILD_DIR PHOTO...
# RUNS (default 5) sets the runs of each measurement; SKIP_JPEGBENCH=1 leaves
# out the in-process figures (jpegbench with memory reused, then with fresh
# memory for every decode).
set -euo pipefail
build=${1:?usage: compare.sh BUILD_DIR PHOTO...}
shift
runs=${RUNS:-5}
if [ -z "${SKIP_JPEGBENCH:-}" ]; then
  "$build/jpegbench" --runs "$runs" --reference-runs 0 "$@"
  echo
  "$build/jpegbench" --cold --runs "$runs" --reference-runs 0 "$@"
fi
echo
printf '%-36s %12s %12s %8s\n' photo jpeg2bmp-s djpeg-s ratio
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
largest=""
largest_size=0
for photo in "$@"; do
  ours=() theirs=()
  for _ in $(seq "$runs"); do
    ours+=("$( { /usr/bin/time -f %e "$build/jpeg2bmp" "$photo" "$out/a.bmp"; } 2>&1 )")
    theirs+=("$( { /usr/bin/time -f %e djpeg -bmp -outfile "$out/b.bmp" "$photo"; } 2>&1 )")
  done
  a=$(printf '%s\n' "${ours[@]}" | median)
  b=$(printf '%s\n' "${theirs[@]}" | median)
  printf '%-36s %12s %12s %8.2f\n' "$(basename "$photo")" "$a" "$b" "$(echo "$a / $b" | bc -l)"
  size=$(stat -c %s "$out/a.bmp")
  if [ "$size" -gt "$largest_size" ]; then largest_size=$size; largest=$photo; fi
done
echo
echo "peak memory on the largest photo, $(basename "$largest"):"
/usr/bin/time -f "  jpeg2bmp: %M KB maximum resident" "$build/jpeg2bmp" "$largest" "$out/a.bmp"
/usr/bin/time -f "  djpeg -bmp: %M KB maximum resident" djpeg -bmp -outfile "$out/b.bmp" "$largest"
