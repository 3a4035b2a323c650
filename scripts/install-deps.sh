#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the test suite need,
# but only those that are missing, so a second call costs a few milliseconds.
# Extra package names on the command line are installed as well (`make fuzz`
# and `make tsan` ask for clang and its sanitizer runtimes this way).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  libasound2-dev libsndfile1-dev libpipewire-0.3-dev
  libgtest-dev libfftw3-dev
  fonts-dejavu-core
  poppler-utils
  locales
  desktop-file-utils appstream dpkg-dev
  pipewire pipewire-alsa wireplumber dbus alsa-utils
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  sudo=()
else
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
