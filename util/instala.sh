#!/usr/bin/env bash
# Installs, as root on Debian 12, the packages kelvara needs that are missing.
# A machine that has them all installs nothing and asks no server.
set -euo pipefail
precisa=(cmake ninja-build g++ libshp-dev libgtest-dev qt6-base-dev "$@")
falta=()
for p in "${precisa[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    falta+=("$p")
  fi
done
if [ ${#falta[@]} -gt 0 ]; then
  echo "A instalar: ${falta[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${falta[@]}"
fi
