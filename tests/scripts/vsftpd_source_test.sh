#!/usr/bin/env bash
# setup.sh's choice between installing vsftpd and unpacking it, driven by package lists as
# installed_packages prints them (status, name, provides).
# usage: vsftpd_source_test.sh scripts/vsftpd-source.sh
set -uo pipefail
source "$1"
failures=0
tab=$'\t'
expect() { # expect WANTED LIST...: the FTP server other_ftp_server finds ("" for none)
  local wanted=$1 found
  shift
  found=$(printf '%s\n' "$@" | other_ftp_server) || found=
  if [[ $found != "$wanted" ]]; then
    echo "FAIL: wanted '$wanted', found '$found' in: $*" >&2
    failures=$((failures + 1))
  fi
}
expect "" "installed${tab}vsftpd${tab}ftp-server" "installed${tab}python3-pyftpdlib${tab}" "installed${tab}lftp${tab}"
expect "pure-ftpd-mysql" "installed${tab}lftp${tab}" "installed${tab}pure-ftpd-mysql${tab}ftp-server"
expect "proftpd-core" "half-configured${tab}proftpd-core${tab}proftpd, proftpd-abi-1.3.8"
expect "bftpd" "unpacked${tab}bftpd${tab}ftp-server (= 5.7), bftpd-doc"
# Removed with its configuration left behind, or only known to dpkg: nothing to remove any more.
expect "" "config-files${tab}pure-ftpd${tab}ftp-server" "not-installed${tab}proftpd-core${tab}ftp-server"
expect "" "installed${tab}ftp-server-tools${tab}ftp-server-extras, ftp-servers"
# This machine: setup.sh installed vsftpd, which it would not have done beside another server.
if dpkg-query -W -f='${Status}' vsftpd 2>/dev/null | grep -q 'install ok installed' &&
   server=$(installed_packages | other_ftp_server); then
  echo "FAIL: vsftpd is installed and so, it seems, is $server" >&2
  failures=$((failures + 1))
fi
exit $((failures > 0))
