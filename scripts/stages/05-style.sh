#!/usr/bin/env bash
# clang-format and clang-tidy over the sources (scripts/check-style.sh).
# zv-stage: alongside
set -euo pipefail
cd "$(dirname "$0")/../.."
exec ./scripts/check-style.sh
