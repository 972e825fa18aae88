# How the tests come by vsftpd without changing what else is installed (sourced by setup.sh).
# vsftpd, pure-ftpd, proftpd and the rest all Provide and Conflict with ftp-server, so installing
# vsftpd where another FTP server is installed would remove that server. Then vsftpd is unpacked
# from its package into a cache directory instead, where the test harness looks for it.

# Keep in step with FERNHOP_VSFTPD_CACHE in tests/CMakeLists.txt.
FERNHOP_VSFTPD_CACHE=${FERNHOP_VSFTPD_CACHE:-/var/cache/fernhop-test/vsftpd}

# installed_packages: every package dpkg knows, one a line: status, name, provides (tab-separated).
installed_packages() {
  dpkg-query -W -f='${db:Status-Status}\t${Package}\t${Provides}\n'
}

# provides_ftp_server PROVIDES: whether a Provides field ("ftp-server, proftpd (= 1.3)") names ftp-server.
provides_ftp_server() {
  local entry entries
  IFS=',' read -ra entries <<<"$1"
  for entry in "${entries[@]}"; do
    entry=${entry%%(*}
    [[ ${entry//[[:space:]]/} == ftp-server ]] && return 0
  done
  return 1
}

# other_ftp_server < PACKAGE_LIST (as installed_packages prints it): prints the first FTP server
# package other than vsftpd whose files are on the machine (anything but not-installed and
# config-files: apt would remove a half-installed one as well) and succeeds; fails if none is.
other_ftp_server() {
  local status name provides
  while IFS=$'\t' read -r status name provides; do
    [[ $status == not-installed || $status == config-files || $name == vsftpd ]] && continue
    if [[ $name == pure-ftpd* || $name == proftpd* ]] || provides_ftp_server "$provides"; then
      printf '%s\n' "$name"
      return 0
    fi
  done
  return 1
}

# unpack_vsftpd DIR: vsftpd's package unpacked into DIR (DIR/usr/sbin/vsftpd), not installed;
# the libraries it needs, which conflict with nothing and are installed as usual, are listed in
# DIR/libraries.
unpack_vsftpd() {
  local dir=$1 work deb
  work=$(mktemp -d)
  chmod 755 "$work" # apt's download user writes here
  if ! (cd "$work" && apt-get download -qq vsftpd 2>/dev/null); then
    apt-get update -qq
    (cd "$work" && apt-get download -qq vsftpd)
  fi
  deb=$(echo "$work"/vsftpd_*.deb)
  rm -rf "$dir.part"
  mkdir -p "$dir.part"
  dpkg-deb -x "$deb" "$dir.part"
  dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed -e 's/[(|].*//' -e 's/[[:space:]]//g' |
    { grep '^lib' || true; } >"$dir.part/libraries"
  rm -rf "$dir" "$work"
  mv "$dir.part" "$dir"
}
