#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine (run as root).
# Packages already present are skipped, so a second run costs a few seconds. Nothing installed is
# removed: where another FTP server package is installed, vsftpd is unpacked, not installed.
set -euo pipefail
source "$(dirname "$0")/vsftpd-source.sh"
# clang-14, its runtime libraries and llvm-symbolizer: the sanitizer build and the fuzz targets.
# libssh2-1-dev: SFTP; openssh-server and openssh-client: the tests' sshd, ssh-keygen and ssh-agent.
# dpkg-dev and file: CPack's .deb; lintian, desktop-file-utils, appstream, man-db: its checks.
packages=(g++ cmake make qt6-base-dev qt6-svg-dev qt6-multimedia-dev libgtest-dev libbenchmark-dev
          libssl-dev openssl libssh2-1-dev pkgconf openssh-server openssh-client python3 python3-pyftpdlib python3-openssl lftp curl passwd
          clang-14 libclang-rt-14-dev llvm-14 dpkg-dev file lintian desktop-file-utils appstream man-db)
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
if installed vsftpd; then
  :
elif server=$(installed_packages | other_ftp_server); then
  if [[ ! -x $FERNHOP_VSFTPD_CACHE/usr/sbin/vsftpd ]]; then
    echo "setup: $server conflicts with the vsftpd package: unpacking vsftpd into $FERNHOP_VSFTPD_CACHE"
    unpack_vsftpd "$FERNHOP_VSFTPD_CACHE"
  fi
  mapfile -t -O "${#packages[@]}" packages <"$FERNHOP_VSFTPD_CACHE/libraries"
else
  packages+=(vsftpd)
fi
missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # Other programs may be installing at the same time: wait for them rather than fail.
  apt-get -o DPkg::Lock::Timeout=600 update -qq
  apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
