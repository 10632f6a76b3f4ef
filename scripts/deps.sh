#!/usr/bin/env bash
# Installs the Debian packages the program needs to build, run and test, if any is missing.
set -euo pipefail

packages=(build-essential cmake ninja-build pkg-config qt6-base-dev qt6-charts-dev libqt6opengl6-dev
          qt6-translations-l10n
          libsqlcipher-dev mdbtools-dev libgtest-dev fonts-noto-cjk xdg-utils python3
          librsvg2-bin lintian desktop-file-utils
          locales # the sources localedef builds the window tests' comma locale from
          postgresql libpq-dev) # a ledger on a server: the client library, and the server the tests start
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
