#!/usr/bin/env bash
# Sets everything up from nothing and shows Fernhop at work: a local FTP server (pyftpdlib on
# 127.0.0.1) and a demo site of a few pages. With a display ($DISPLAY or $WAYLAND_DISPLAY) the
# window opens on the demo site and the server runs until it is closed; without one, a first
# sync, one changed page, and a resync that moves only that page run in the terminal.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
build=${FERNHOP_BUILD_DIR:-build}
case $build in /*) ;; *) build="$PWD/$build" ;; esac
fernhop="$build/src/fernhop"
work=$(mktemp -d /tmp/fernhop-demo.XXXXXX)
trap 'rm -rf "$work"' EXIT

say() { printf '\n\033[1m== %s\033[0m\n' "$*"; }

# The FTP server runs until its standard input closes.
coproc SERVER { "$build/tests/fernhop-test-ftp-server" pyftpdlib; }
read -r line <&"${SERVER[0]}"
eval "${line// / ; }" # port=... user=... password=... root=...
stop_server() { exec {SERVER[1]}>&-; wait "$SERVER_PID" 2>/dev/null || true; rm -rf "$work"; }
trap stop_server EXIT
mkdir -p "$root/www"
say "FTP server on 127.0.0.1:$port, serving $root"

site="$work/site"
mkdir -p "$site/css" "$site/img" "$site/blog"
for page in index about contact; do
  printf '<html><body><h1>%s</h1></body></html>\n' "$page" > "$site/$page.html"
done
for n in 1 2 3; do printf '<p>post %s</p>\n' "$n" > "$site/blog/post$n.html"; done
printf 'body { font-family: sans-serif }\n' > "$site/css/site.css"
head -c 20000 /dev/urandom > "$site/img/photo.jpg"

export FERNHOP_HOME="$work/settings"
say "A site profile (fernhop --add-site)"
"$fernhop" --add-site demo --server 127.0.0.1 --port "$port" --user "$user" --password "$password" \
  --local "$site" --remote /www --pasv
"$fernhop" --list-sites

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  say "The window, on the demo site: Connect, Compare, Upload; close it to end the demo"
  "$fernhop" demo
  exit 0
fi

say "First sync: everything goes up (fernhop --batch demo)"
"$fernhop" --batch demo
say "The server now holds"
(cd "$root" && find . -type f | sort)

say "One page changes; a dry run shows the plan"
printf '<html><body><h1>about us, now longer</h1></body></html>\n' > "$site/about.html"
"$fernhop" --batch --dry-run demo 2>/dev/null

say "Resync: only about.html moves (the remote listing comes from the cache)"
"$fernhop" --batch demo
