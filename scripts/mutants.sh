#!/usr/bin/env bash
# A measure of the tests, like a benchmark (not part of CI or scripts/test.sh): applies each
# one-line mutant of scripts/mutants.txt to a scratch copy of the tree, rebuilds it
# incrementally, runs the suite that covers the line and restores the line. A mutant is
# caught when its suite fails (or times out), or when the build fails on the mutated line
# itself. Prints each survivor and ends with `N of M mutants caught`.
#
#   bash scripts/mutants.sh [--only REGEX] [--list FILE] [--jobs N] [--check]
#
# --only REGEX   run only the mutants whose id or file matches REGEX (extended regex)
# --list FILE    another list file (default scripts/mutants.txt)
# --jobs N       N scratch copies at work side by side (default 1); the native mutants are
#                shared out among them, the Wine ones stay with the first (one mingw build)
# --check        only check that each pattern still matches exactly one line (no build)
# MUTANT_TIMEOUT seconds a suite may run before the mutant counts as caught (default: four
#                times its unmutated run, at least 60): a mutant that loops must not hold
#                the machine, nor eat its memory, for long
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
list=$root/scripts/mutants.txt
only=""
check=0
jobs=1
shard=""
args=("$@")
while [ $# -gt 0 ]; do
  case "$1" in
    --only) only=$2; shift 2 ;;
    --list) list=$(realpath "$2"); shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    --shard) shard=$2; shift 2 ;; # K/N: the K-th of N copies (set by --jobs)
    --check) check=1; shift ;;
    -h|--help) sed -n 2,15p "$0"; exit 0 ;;
    *) echo "Unknown option: $1" >&2; exit 2 ;;
  esac
done
[ -f "$list" ] || { echo "No list file $list" >&2; exit 2; }

scratch=$root/build/mutants
if [ "$jobs" -gt 1 ] && [ -z "$shard" ] && [ $check = 0 ]; then
  # Each copy prints its own verdicts; the totals are added up here.
  mkdir -p "$scratch"
  rm -f "$scratch"/shard-*.txt
  pids=()
  for k in $(seq 1 "$jobs"); do
    bash "$0" "${args[@]}" --shard "$k/$jobs" >"$scratch/shard-$k.txt" 2>&1 &
    pids+=($!)
  done
  rc=0
  for p in "${pids[@]}"; do wait "$p" || rc=$?; done
  cat "$scratch"/shard-*.txt | grep -vE '^(== baseline|Survivors:|  [^ ]|[0-9]+ of [0-9]+ mutants caught|$)'
  if grep -q '^  [^ ]' "$scratch"/shard-*.txt; then
    echo
    echo "Survivors:"
    grep -h '^  [^ ]' "$scratch"/shard-*.txt
  fi
  sums=$(grep -hE '^[0-9]+ of [0-9]+ mutants caught$' "$scratch"/shard-*.txt)
  [ "$(wc -l <<<"$sums")" = "$jobs" ] || { echo "A copy did not finish; see $scratch/shard-*.txt" >&2; exit 2; }
  awk '{c += $1; t += $3} END {print c " of " t " mutants caught"}' <<<"$sums"
  exit $rc
fi
[ -n "$shard" ] && scratch=$scratch/shard-${shard%%/*}
tree=$scratch/tree
logs=$scratch/logs
mkdir -p "$tree" "$logs"
command -v ccache >/dev/null &&
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache \
    CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$root")}

# The scratch copy: the tracked files as they are in this worktree (edits included). Files
# that did not change keep their times, so the next run rebuilds only what changed; a copied
# file gets a fresh time, so that it is rebuilt even where the worktree's copy is older.
[ $check = 1 ] || git ls-files -z | python3 -c '
import os, shutil, sys, filecmp
tree = sys.argv[1]
keep = set(p for p in sys.stdin.read().split("\0") if p)
for p in keep:
    if not os.path.isfile(p):
        continue
    d = os.path.join(tree, p)
    if not (os.path.isfile(d) and filecmp.cmp(p, d, shallow=False)):
        os.makedirs(os.path.dirname(d) or ".", exist_ok=True)
        shutil.copy(p, d)
for top, dirs, files in os.walk(tree):
    rel = os.path.relpath(top, tree)
    if rel == "build":
        dirs[:] = []
        continue
    for f in files:
        r = os.path.normpath(os.path.join(rel, f))
        if r not in keep:
            os.remove(os.path.join(top, f))
' "$tree" || { echo "Could not copy the tree to $tree" >&2; exit 2; }

# id @@ file @@ pattern @@ replacement @@ suite   (pattern: fixed text, or re:REGEX)
mapfile -t entries < <(grep -vE '^[[:space:]]*(#|$)' "$list")
selected=()
for e in "${entries[@]}"; do
  id=${e%% @@ *}
  rest=${e#* @@ }
  file=${rest%% @@ *}
  if [ -z "$only" ] || [[ "$id" =~ $only ]] || [[ "$file" =~ $only ]]; then selected+=("$e"); fi
done
if [ -n "$shard" ]; then
  # The Wine mutants stay together (one mingw build, one display); each costs about as much
  # as eight native ones, which go to whichever copy has the least work so far.
  k=${shard%%/*} n=${shard#*/} mine=()
  declare -a load
  for j in $(seq 1 "$n"); do load[j]=0; done
  for e in "${selected[@]}"; do [[ "${e##* @@ }" == wine:* ]] && load[1]=$((load[1] + 8)); done
  for e in "${selected[@]}"; do
    if [[ "${e##* @@ }" == wine:* ]]; then
      [ "$k" = 1 ] && mine+=("$e")
      continue
    fi
    least=1
    for j in $(seq 2 "$n"); do [ "${load[j]}" -lt "${load[least]}" ] && least=$j; done
    load[least]=$((load[least] + 1))
    [ "$least" = "$k" ] && mine+=("$e")
  done
  selected=("${mine[@]}")
  [ ${#selected[@]} -gt 0 ] || { echo "0 of 0 mutants caught"; exit 0; }
fi
[ ${#selected[@]} -gt 0 ] || { echo "No mutant matches --only '$only'" >&2; exit 2; }

configured_native=0
configured_mingw=0
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  [ -d "$tree/build/mingw/wineprefix" ] &&
    WINEPREFIX=$tree/build/mingw/wineprefix wineserver -k 2>/dev/null
  return 0
}
trap cleanup EXIT

configure() { # native|mingw
  if [ "$1" = native ] && [ $configured_native = 0 ]; then
    # No debug information and a faster linker where there is one: the verdicts do not
    # change, and each mutant's build is a recompile and a link.
    local fast=(-DCMAKE_C_FLAGS_DEBUG=-g0 -DCMAKE_CXX_FLAGS_DEBUG=-g0)
    command -v ld.lld >/dev/null && fast+=(-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld)
    (cd "$tree" && cmake --preset native -DRAVEL_CORPUS_DIR="$root/../shared/corpus" "${fast[@]}" \
      >"$logs/configure-native.txt" 2>&1) ||
      { echo "Configuring the scratch tree failed: $logs/configure-native.txt" >&2; exit 2; }
    configured_native=1
  elif [ "$1" = mingw ] && [ $configured_mingw = 0 ]; then
    # The cross-built libraries, when present, instead of minutes of building them again.
    mkdir -p "$tree/build"
    [ -f "$tree/build/mingw-deps/.complete" ] ||
      { [ -f "$root/build/mingw-deps/.complete" ] && cp -a "$root/build/mingw-deps" "$tree/build/"; }
    (cd "$tree" && cmake --preset mingw >"$logs/configure-mingw.txt" 2>&1) ||
      { echo "Configuring the scratch tree failed: $logs/configure-mingw.txt" >&2; exit 2; }
    if [ -z "${DISPLAY:-}" ]; then
      for n in $(seq 130 160); do
        [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
        Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb_pid=$!
        export DISPLAY=:$n
        sleep 1
        break
      done
    fi
    configured_mingw=1
  fi
}

# Builds what the suite needs; the suite is `ravel_tests[:GTEST_FILTER]`,
# `batch_tests[:GTEST_FILTER]` or `wine:CTEST_REGEX`.
build() { # suite logfile
  local suite=$1
  case "$suite" in
    # The test program needs the program, the stand-in and ravelmend-batch.exe: no more.
    wine:*) configure mingw; (cd "$tree" && cmake --build --preset mingw -j2 --target ravel_wintests) ;;
    *) configure native; (cd "$tree" && cmake --build --preset native -j2 --target "${suite%%:*}") ;;
  esac >"$2" 2>&1
}
declare -A limit=()
run_suite() { # suite logfile
  local suite=$1 bin filter timeout_s=${MUTANT_TIMEOUT:-${limit[$1]:-600}}
  case "$suite" in
    wine:*)
      # A window test that misses a moment on a busy machine has a second try, so that only
      # a real failure counts; a regex that names no test is a failure, not a survivor.
      (cd "$tree" && timeout -k 10 "$timeout_s" ctest --preset mingw -R "${suite#wine:}" \
        --repeat until-pass:2 --no-tests=error) >"$2" 2>&1 ;;
    *)
      bin=${suite%%:*}
      filter='*'
      [[ "$suite" == *:* ]] && filter=${suite#*:}
      # A mutant that eats memory is stopped by the sanitizer before the machine suffers.
      (cd "$tree/build/native" &&
        export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}hard_rss_limit_mb=${MUTANT_RSS_MB:-3000} &&
        timeout -k 10 "$timeout_s" "./$bin" --gtest_filter="$filter" --gtest_brief=1 \
          --gtest_fail_fast) >"$2" 2>&1 ;;
  esac
}

if [ $check = 1 ]; then
  tree=$root
fi

# Each suite must pass on the unmutated tree, or every mutant would look caught.
declare -A baseline=()
for e in "${selected[@]}"; do
  [ $check = 1 ] && break
  suite=${e##* @@ }
  [ -n "${baseline[$suite]:-}" ] && continue
  baseline[$suite]=1
  echo "== baseline: $suite"
  if ! build "$suite" "$logs/baseline-build.txt"; then
    echo "The unmutated tree does not build: $logs/baseline-build.txt" >&2
    exit 2
  fi
  t0=$(date +%s)
  if ! run_suite "$suite" "$logs/baseline-run.txt"; then
    echo "The suite $suite fails on the unmutated tree: $logs/baseline-run.txt" >&2
    exit 2
  fi
  t=$((4 * ($(date +%s) - t0)))
  limit[$suite]=$((t < 60 ? 60 : t))
done

caught=0
total=0
stale=0
broken=0
survivors=()
for e in "${selected[@]}"; do
  IFS=$'\x1f' read -r id file pattern replacement suite <<<"${e// @@ /$'\x1f'}"
  total=$((total + 1))
  target=$tree/$file
  # The file as it was, to restore it from after the run.
  [ $check = 1 ] || cp -p "$target" "$logs/pristine" 2>/dev/null
  # Replaces the matched text on the one line that matches; prints that line's number.
  lineno=$(python3 - "$target" "$pattern" "$replacement" "$check" <<'EOF'
import re, sys
path, pattern, replacement, check = sys.argv[1:5]
try:
    lines = open(path, encoding="utf-8").read().split("\n")
except OSError:
    print("0 missing"); sys.exit()
if pattern.startswith("re:"):
    rx = re.compile(pattern[3:])
    find = lambda s: rx.search(s)
    sub = lambda s: rx.sub(lambda m: replacement, s, count=1)
else:
    find = lambda s: pattern in s
    sub = lambda s: s.replace(pattern, replacement, 1)
hits = [i for i, s in enumerate(lines) if find(s)]
if len(hits) != 1:
    print(f"0 {len(hits)}"); sys.exit()
i = hits[0]
lines[i] = sub(lines[i])
if check == "1":
    print(i + 1); sys.exit()
open(path, "w", encoding="utf-8").write("\n".join(lines))
print(i + 1)
EOF
  )
  if [ "${lineno%% *}" = 0 ]; then
    stale=$((stale + 1))
    echo "STALE     $id  $file  (pattern matches ${lineno#0 } lines): $pattern"
    continue
  fi
  if [ $check = 1 ]; then
    caught=$((caught + 1))
    continue
  fi
  blog=$logs/$id-build.txt
  rlog=$logs/$id-run.txt
  verdict=""
  start=$(date +%s)
  if ! build "$suite" "$blog"; then
    if grep -qE "(^|/)$(basename "$file"):$lineno:[0-9]+: (fatal )?error" "$blog"; then
      verdict="caught (compile error)"
    else
      verdict="BUILD BROKEN"
    fi
  elif run_suite "$suite" "$rlog"; then
    verdict="SURVIVED"
  else
    rc=$?
    verdict="caught"
    [ $rc = 124 ] || [ $rc = 137 ] && verdict="caught (timeout)"
  fi
  # Restore the line; a fresh time, so that the next build recompiles the file.
  cp "$logs/pristine" "$target" && touch "$target"
  echo "$(printf '%-9s' "${verdict%% *}") $id  $file:$lineno  ($(($(date +%s) - start)) s)"
  case "$verdict" in
    caught*) caught=$((caught + 1)) ;;
    SURVIVED) survivors+=("$id  $file:$lineno  '$pattern' -> '$replacement'  [$suite]") ;;
    *) broken=$((broken + 1))
       echo "          build failed elsewhere than the mutated line: $blog" ;;
  esac
done
echo
if [ ${#survivors[@]} -gt 0 ]; then
  echo "Survivors:"
  printf '  %s\n' "${survivors[@]}"
fi
[ $stale -gt 0 ] && echo "$stale stale (their pattern does not match exactly one line)"
[ $broken -gt 0 ] && echo "$broken did not build for another reason than the mutated line"
if [ $check = 1 ]; then
  echo "$caught of $total patterns match one line"
  exit 0
fi
echo "$caught of $total mutants caught"
