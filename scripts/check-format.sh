#!/usr/bin/env bash
# Fails when a C or C++ file of the tree differs from what clang-format makes of it
# (.clang-format at the top). Fix with:
#   git ls-files '*.c' '*.cpp' '*.h' | xargs clang-format -i
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
git ls-files -z '*.c' '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
echo "check-format: every file is formatted"
