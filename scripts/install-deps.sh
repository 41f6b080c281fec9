#!/usr/bin/env bash
# Installs everything flovir needs to build and test on a fresh Debian 12 machine.
# Non-interactive and idempotent: packages already present are left alone.
# With package names as arguments it installs only those (the Windows build's).
set -euo pipefail

packages=(
  build-essential cmake pkg-config git clang-format ccache
  libgtest-dev libgmock-dev
  clang-14 libclang-rt-14-dev
  libmodbus-dev socat libcli11-dev
  python3 python3-pymodbus python3-serial python3-serial-asyncio python3-xlrd python3-xlwt python3-olefile
  libreoffice-calc gnumeric fonts-liberation
  locales
  libtomlplusplus-dev nlohmann-json3-dev
  libsqlite3-dev sqlite3
  postgresql postgresql-client libpq-dev
  qt6-base-dev libqcustomplot-dev qt6-translations-l10n libgl-dev fonts-dejavu-core
  xvfb x11-xkb-utils at-spi2-core dbus-x11 python3-pyatspi xdotool imagemagick
  poppler-utils
)

if [ $# -gt 0 ]; then packages=("$@"); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# A Russian locale, so the tests can check that numbers keep their decimal
# comma and dates their form whatever the machine's regional settings are.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO localedef -i ru_RU -c -f UTF-8 ru_RU.UTF-8
fi
