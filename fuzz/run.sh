#!/usr/bin/env bash
# Runs every fuzz target of a build for SECONDS each (default 10), starting
# from its seed corpus: the tests' own mail and vCard files, nsf-json text,
# databases imported from it and their item values.
#   [FUZZ_RUNS=N] fuzz/run.sh BUILD_DIR [SECONDS] [TARGET...]   (N: stop a target after N inputs)
# Findings are written as crash-*/timeout-* files in BUILD_DIR/fuzz/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?build directory}" && pwd)
secs=${2:-10}
shift $(( $# >= 2 ? 2 : 1 ))
source "$root/scripts/sanitizer-env.sh"
# Targets that write databases do so for every input: on a memory file system
# their syncs cost nothing, which more than doubles their executions.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
work=$build/fuzz
corpus=$work/corpus
mkdir -p "$corpus"

# Seeds made from the checked-in ones: a database per nsf-json seed, and
# every item value of those databases for the value decoders.
mkdir -p "$corpus/seed-db" "$corpus/seed-items"
for json in "$root"/fuzz/seeds/nsfjson/*.json; do
  db=$corpus/seed-db/$(basename "$json" .json).nsf
  [ -f "$db" ] || "$build/tools/nsftool" import --force "$db" "$json"
  sqlite3 "$db" "SELECT writefile('$corpus/seed-items/' || note || '-' || seq, value) FROM items" >/dev/null
done

seeds() {
  case $1 in
    richtext|itemcodec) echo "$corpus/seed-items" ;;
    nsfjson) echo "$root/fuzz/seeds/nsfjson" ;;
    damaged_db) echo "$corpus/seed-db" ;;
    mime|mbox|vcard) echo "$root/tests/data/mail" ;;
  esac
}

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for t in "$work"/fuzz_*; do [ -x "$t" ] && targets+=("$(basename "$t" | sed 's/^fuzz_//')"); done
fi
status=0
for name in "${targets[@]}"; do
  mkdir -p "$corpus/$name"
  echo "== fuzz_$name: ${secs}s"
  log=$work/fuzz_$name.log
  rc=0
  # shellcheck disable=SC2046
  (cd "$work" && ./fuzz_"$name" -max_total_time="$secs" ${FUZZ_RUNS:+-runs=$FUZZ_RUNS} -timeout=10 -rss_limit_mb=2048 \
     -print_final_stats=1 "$corpus/$name" $(seeds "$name") >"$log" 2>&1) || rc=$?
  grep -E "^stat::(number_of_executed_units|peak_rss_mb)" "$log" || true
  if [ $rc -ne 0 ]; then
    echo "fuzz_$name found a fault (exit $rc):"; grep -A30 -m1 -E "ERROR|deadly signal|timeout" "$log" | head -40
    status=1
  fi
done
exit $status
