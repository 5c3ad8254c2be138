#!/usr/bin/env bash
# Rewrites every tracked C++ file in the project's format (.clang-format); the native tests check it.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format -i
