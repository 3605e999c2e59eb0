#!/usr/bin/env bash
# Fuzzes the archive reader: scripts/fuzz.sh BUILD_DIR [SECONDS]
# Seeds the corpus with archives from the writer, then runs the fuzzer for
# SECONDS (default 60). A crash, a sanitizer report, a leak or a unit that
# runs longer than 10 s fails the script; the input is kept under
# BUILD_DIR/fuzz-archive/artifacts.
set -euo pipefail
build=${1:?usage: scripts/fuzz.sh BUILD_DIR [SECONDS]}
seconds=${2:-60}
fuzzer=$build/archive_reader_fuzzer
seeder=$build/archive_make_seeds
for tool in "$fuzzer" "$seeder"; do
  [ -x "$tool" ] || { echo "fuzz.sh: $tool is missing (build it first)" >&2; exit 2; }
done

work=$build/fuzz-archive
mkdir -p "$work/corpus" "$work/seeds" "$work/artifacts" "$work/tmp"
"$seeder" "$work/seeds"

# The target writes its input to a file of its own in TMPDIR.
TMPDIR=$(cd "$work/tmp" && pwd) "$fuzzer" \
  -max_len=70000 -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 \
  -artifact_prefix="$work/artifacts/" -print_final_stats=1 \
  "$work/corpus" "$work/seeds"
echo "fuzz.sh: no crash in $seconds s"
