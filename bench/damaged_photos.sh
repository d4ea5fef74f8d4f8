#!/bin/sh
# Runs the damaged-photo test over the full set of 400 mutants of the camera
# photos (CI runs fewer) and prints how many were tagged, how many of those
# read back with a tag changed (must be 0), and why the others were left alone.
set -eu
cd "$(dirname "$0")/.."
bin=${1:-build/tests/geotag_tests}
VT_MUTANTS=${VT_MUTANTS:-400} "$bin" --gtest_filter='DamagedPhotosTest.*' | grep -E 'mutants:|FAILED|PASSED'
