#!/usr/bin/env bash
# Installs the Debian 12 packages that Loftmark needs to build, run and test.
# Only packages that are missing are installed, so a second run costs nothing.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake pkg-config git ccache
  # cross compiler for the Windows self-extractor stub
  g++-mingw-w64-x86-64
  # windows and core library
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libqt6test6 libgl-dev
  # Qt's own texts (context menus, standard buttons) in Japanese
  qt6-translations-l10n
  # Japanese UI font
  fonts-ipafont-gothic
  # CAB archives; FTP, FTPS and SFTP transfers
  libgcab-dev libcurl4-openssl-dev
  # the version information reads GLib's version as it runs
  libglib2.0-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  # independent archive readers and writers used as oracles by the tests
  lhasa libarchive-tools 7zip cabextract gcab jlha-utils gzip file
  # real FTP servers for the synchronisation tests (vsftpd keeps Shift-JIS
  # names as sent and speaks TLS on data connections as hosts do)
  python3 python3-pyftpdlib python3-openssl openssl vsftpd
  # a real SSH server for the SFTP tests
  openssh-server openssh-client
  # the password in the desktop's secret store, and one for the tests
  qtkeychain-qt6-dev gnome-keyring dbus
  # fuzz targets (libFuzzer, AddressSanitizer and UBSan come with clang)
  clang libclang-rt-14-dev
  # a display for screenshots
  xvfb xauth x11-apps imagemagick
  # running the Windows self-extractor in the tests: wine and a window driver
  wine64 xdotool
  # the Debian package (scripts/package.sh) and its checks: the icon's
  # pictures, the dependencies, lintian, the desktop entry, the file types,
  # the manual page
  dpkg-dev librsvg2-bin lintian desktop-file-utils shared-mime-info man-db
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
