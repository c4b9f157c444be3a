#!/bin/sh
# Installs the Debian packages the build needs; skips what is there already.
set -e
PKGS="cmake ninja-build g++ make pkg-config zlib1g-dev libgsf-1-dev libglib2.0-dev libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev qt6-translations-l10n qt6-charts-dev libqt6opengl6-dev xvfb xauth clang clang-format libclang-rt-14-dev fonts-dejavu-core nlohmann-json3-dev"
# The message catalogues: xgettext and msgfmt.
PKGS="$PKGS gettext"
# The window's English catalogue: lupdate and lrelease, and CMake's Qt6LinguistTools.
PKGS="$PKGS qt6-l10n-tools qt6-tools-dev"
# The remote line tests put the real serial-to-network server between the configurator and
# the simulator.
PKGS="$PKGS ser2net"
# The Ansible collection's test runs playbooks and lints the examples.
PKGS="$PKGS ansible-core ansible-lint"
# The install test: desktop entry, AppStream data, file type, manual pages, the package.
PKGS="$PKGS desktop-file-utils appstream shared-mime-info xdg-utils libfile-mimeinfo-perl man-db dpkg-dev file lintian"
missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
fi
