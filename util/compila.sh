#!/usr/bin/env bash
# Configures and builds kelvara into build/ (Ninja, release with debug info,
# warnings as errors: the preset "simples" of CMakePresets.json).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset simples >/dev/null
cmake --build --preset simples
