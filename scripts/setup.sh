#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libicu-dev zlib1g-dev
  libxml2-utils librsvg2-bin fonts-liberation2 fonts-dejavu-core
  libharfbuzz-dev libfontconfig-dev clang-tidy
)
# Fuzzing (scripts/fuzz.sh): clang and its libFuzzer runtime.
if [ "${FUZZ:-0}" = 1 ]; then packages+=(clang libclang-rt-dev); fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq </dev/null
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
fi
