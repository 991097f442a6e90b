#!/usr/bin/env bash
# clang-format and clang-tidy over the sources (scripts/check-style.sh).
set -euo pipefail
cd "$(dirname "$0")/../.."
exec ./scripts/check-style.sh
