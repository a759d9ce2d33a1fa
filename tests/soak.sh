#!/usr/bin/env bash
# The long soak: N (40) random headless runs of MINUTES (20) virtual minutes of random keys, one
# and two players, two at a time, in BUILD_DIR (build-asan: built with -DVARNIS_SANITIZE=ON).
# Usage: tests/soak.sh [N [MINUTES [BUILD_DIR]]]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-40} minutes=${2:-20} build=${3:-build-asan}
[ -x "$build/tests/test_soak" ] || { echo "build $build first (test_soak is missing)" >&2; exit 2; }

# A new first seed each time unless one is given.
seed=${VARNIS_SOAK_SEED:-$(date +%s)}
echo "soak: $runs runs of $minutes virtual minutes, first seed $seed, build $build"
cd "$build"
SDL_AUDIODRIVER=dummy ASAN_OPTIONS=allocator_may_return_null=1 \
VARNIS_SOAK_RUNS=$runs VARNIS_SOAK_MINUTES=$minutes VARNIS_SOAK_JOBS=${VARNIS_SOAK_JOBS:-2} \
VARNIS_SOAK_SEED=$seed exec ./tests/test_soak --gtest_brief=1
