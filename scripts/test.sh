#!/usr/bin/env bash
# The test command: installs what is missing, builds, and runs every test.
#   BUILD_DIR   build directory (default: build)
#   CMAKE_ARGS  extra arguments for cmake (for example -DVANTORIX_SANITIZE=ON)
# Compiler warnings are errors here (VANTORIX_WERROR), unlike in a plain build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build_dir=${BUILD_DIR:-build}
# shellcheck disable=SC2086
cmake -S . -B "$build_dir" -G Ninja -DVANTORIX_WERROR=ON ${CMAKE_ARGS:-}
cmake --build "$build_dir"
ctest --test-dir "$build_dir" --output-on-failure -j2 --timeout 300
