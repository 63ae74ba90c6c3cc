#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs the whole test suite; then
# builds and runs it once more under AddressSanitizer and UndefinedBehaviorSanitizer, and runs
# the fuzz targets for 15 s each.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVQ_WARNINGS_AS_ERRORS=ON
cmake --build build -j"$(nproc)"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j"$(nproc)"

# Any sanitizer report fails its test: undefined behaviour aborts like a memory error, and a
# leak fails the process at its exit.
sanitizers="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVQ_WARNINGS_AS_ERRORS=ON \
  -DCMAKE_CXX_FLAGS="$sanitizers" -DCMAKE_EXE_LINKER_FLAGS="$sanitizers"
cmake --build build-asan -j"$(nproc)"
ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  QT_QPA_PLATFORM=offscreen ctest --test-dir build-asan --output-on-failure -j"$(nproc)"

tools/run-fuzz.sh 15
