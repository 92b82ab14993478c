#!/usr/bin/env bash
# Cleans many Notes databases with one tarnwick-cli per database under GNU
# parallel: on this machine's cores, or on several machines with --sshlogin.
#
#   scripts/clean-many.sh [PARALLEL OPTIONS --] SOURCE_DIR OUT_DIR [TARNWICK-CLI OPTIONS]
#
# Every database below SOURCE_DIR (extension .nsf in any letter case) is one
# job. Job N writes its log file into OUT_DIR/logs/N/ and its standard output
# and error into OUT_DIR/results/N/; OUT_DIR/joblog.tsv lists every job with
# its exit status (column Exitval; 128 + N for a job killed by signal N) and
# the database it cleaned. Without
# tarnwick-cli options each database is cleaned into a new file in
# OUT_DIR/clean/N/ (a folder per job, so databases of one file name cleaned
# at the same moment on different machines never meet). The exit status is the number of jobs that failed (at most
# 101), so 0 means every database was processed completely.
#
# Set TARNWICK_CLI to the program's path when it is not on PATH; on other
# machines it must be found under the same path, and SOURCE_DIR and OUT_DIR
# must be on a file system that every machine mounts at the same place.
set -euo pipefail

# The first argument that is exactly "--" ends the parallel options; an
# argument that merely holds " -- " (a folder "src -- old") is one argument.
parallel_options=()
for arg in "$@"; do
  if [ "$arg" = "--" ]; then
    while [ "$1" != "--" ]; do parallel_options+=("$1"); shift; done
    shift
    break
  fi
done
if [ $# -lt 2 ]; then
  echo "usage: $0 [PARALLEL OPTIONS --] SOURCE_DIR OUT_DIR [TARNWICK-CLI OPTIONS]" >&2
  exit 2
fi
source_dir=$(cd "$1" && pwd)
mkdir -p "$2"
out_dir=$(cd "$2" && pwd)
shift 2
cli=${TARNWICK_CLI:-tarnwick-cli}
mkdir -p "$out_dir/logs" "$out_dir/results"
job_folders="${out_dir@Q}/logs/{#}"
cli_options=("${@@Q}")
if [ $# -eq 0 ]; then
  job_folders+=" ${out_dir@Q}/clean/{#}"
  cli_options=(--new-files "${out_dir@Q}/clean/{#}")
fi

# parallel reads NUL-separated names (-0), so no file name is split. The
# job's shell waits for tarnwick-cli (the "exit" after it keeps the shell from
# replacing itself with the program), so a job killed by a signal ends with
# 128 + its number, and Exitval is never 0 for it.
find "$source_dir" -type f -iname '*.nsf' -print0 | sort -z |
  parallel -0 "${parallel_options[@]}" --joblog "$out_dir/joblog.tsv" \
    --results "$out_dir/results/{#}/" \
    mkdir -p "$job_folders" '&&' "${cli@Q}" "${cli_options[@]}" --log-dir "${out_dir@Q}/logs/{#}" {} \
    ';' exit '$?'
