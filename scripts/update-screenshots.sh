#!/usr/bin/env bash
# Takes the pictures of every page anew: the references of the screenshot tests
# (tests/desktop/references) and the pictures the README shows (docs/screenshots). Run it after
# a deliberate change of the look, look at the pictures, and commit them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset dev >/dev/null
cmake --build --preset dev --target trellon_desktop_tests
TRELLON_UPDATE_SCREENSHOTS=1 build/dev/tests/desktop/trellon_desktop_tests \
  --gtest_filter='ScreenshotTest.*'
mkdir -p docs/screenshots
cp tests/desktop/references/*.png docs/screenshots/
echo "update-screenshots: tests/desktop/references and docs/screenshots are new" >&2
