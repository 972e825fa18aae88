#!/usr/bin/env bash
# Upload sync against vsftpd on loopback, beside lftp's `mirror -R --delete` on the same site and
# server: the initial upload of a generated 5,000-file site (300 directories, 100 B to 200 KiB a
# file) into an empty directory, then a resync after 1% of the files were rewritten. Prints the
# wall time of each and the commands sent per uploaded file.
# usage: bench/bench-upload.sh [BUILD_DIR]   (needs bench_upload and fernhop-test-ftp-server built)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-${FERNHOP_BUILD_DIR:-build}}
bench=$build/bench/bench_upload
launcher=$build/tests/fernhop-test-ftp-server
for tool in "$bench" "$launcher"; do
  [[ -x $tool ]] || { echo "missing $tool: build it first" >&2; exit 1; }
done
command -v lftp >/dev/null || { echo "lftp is not installed" >&2; exit 1; }

work=$(mktemp -d)
server_pid=
cleanup() {
  [[ -n $server_pid ]] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The site: 300 directories, 5,000 files of 100 B to 200 KiB, fixed seed.
python3 bench/make-site.py "$work/site"

# The server runs until its standard input closes.
mkfifo "$work/stdin"
"$launcher" vsftpd <"$work/stdin" >"$work/server.out" 2>"$work/server.err" &
server_pid=$!
exec 3>"$work/stdin"
for _ in $(seq 100); do [[ -s $work/server.out ]] && break; sleep 0.1; done
read -r port user password root < <(sed -E 's/port=([^ ]*) user=([^ ]*) password=([^ ]*) root=(.*)/\1 \2 \3 \4/' "$work/server.out")
[[ -n ${root:-} ]] || { echo "the server did not start" >&2; cat "$work/server.err" >&2; exit 1; }
# Both targets are empty directories that the server's account owns.
for d in fernhop lftp; do mkdir "$root/$d"; chown --reference="$root" "$root/$d"; done

ours() { "$bench" "$port" "$user" "$password" "$work/site" /fernhop; }
theirs() {
  local start end
  start=$(date +%s.%N)
  lftp -d -u "$user,$password" -p "$port" -e "set ftp:passive-mode true; mirror -R --delete $work/site /lftp; quit" \
    127.0.0.1 >"$work/lftp.log" 2>&1
  end=$(date +%s.%N)
  local sent stored
  sent=$(grep -c -- '---> ' "$work/lftp.log" || true)
  stored=$(grep -c -- '---> STOR ' "$work/lftp.log" || true)
  printf 'lftp: %.3f s, %d commands, %d stored' "$(echo "$end - $start" | bc)" "$sent" "$stored"
  ((stored > 0)) && printf ', %s per stored file' "$(echo "scale=2; $sent / $stored" | bc)"
  echo
}
same() { diff -r "$work/site" "$root/$1" >/dev/null && echo "$1: identical to the site" || echo "$1: DIFFERS"; }

echo "== initial upload: 5,000 files in 300 directories"
ours
theirs
same fernhop
same lftp

# 1% of the files rewritten with new content of another size.
python3 - "$work/site" <<'EOF'
import os, random, sys
rng = random.Random(7)
files = sorted(os.path.join(d, f) for d, _, fs in os.walk(sys.argv[1]) for f in fs)
for path in rng.sample(files, len(files) // 100):
    with open(path, "wb") as f:
        f.write(rng.randbytes(rng.randint(100, 200 * 1024) + 1))
EOF

echo "== resync after rewriting 1% of the files"
ours
theirs
same fernhop
same lftp
