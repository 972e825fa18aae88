#!/usr/bin/env bash
# Makes the .deb of the existing build (cpack; run scripts/build.sh first) and checks it without
# installing it: its control data and dependencies, then, unpacked, that the program runs, the
# man page covers every option of --help, the desktop entry and metainfo validate, and bash
# completes options and site nicknames. lintian, desktop-file-validate and appstreamcli run
# where installed (scripts/setup.sh installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${FERNHOP_BUILD_DIR:-build}
case $build in /*) ;; *) build="$PWD/$build" ;; esac
work=$(mktemp -d /tmp/fernhop-package.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "test-package: FAIL: $*" >&2
  failures=$((failures + 1))
}
have() { command -v "$1" >/dev/null; }

# Configure first: cpack reads the package settings as the last configure left them.
cmake -S . -B "$build" >/dev/null
(cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; exit 1; }
deb=$(ls -t "$build"/fernhop_*.deb | head -1)
echo "test-package: $deb"
dpkg-deb --info "$deb"

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libqt6core6 libssl3 libssh2-1; do
  [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
# A fresh machine: apt simulates installing the package where nothing at all is installed (an
# empty dpkg status), so every dependency must come from the archives it knows. Changes nothing.
if apt-cache show libc6 >/dev/null 2>&1; then
  : >"$work/empty-status"
  if ! apt-get install -s --no-install-recommends -o Dir::State::status="$work/empty-status" "$deb" \
    >"$work/simulate.log" 2>&1; then
    cat "$work/simulate.log" >&2
    fail "the dependencies cannot be installed on a machine without them"
  fi
  echo "test-package: on a bare system it would install with $(grep -c '^Inst ' "$work/simulate.log") packages"
else
  echo "test-package: apt has no package lists (apt-get update); the dependency check is left out"
fi

dpkg-deb -x "$deb" "$work/root"
root=$work/root
metainfo=usr/share/metainfo/org.fernhop.Fernhop.metainfo.xml
for f in usr/bin/fernhop usr/share/man/man1/fernhop.1.gz usr/share/bash-completion/completions/fernhop \
         usr/share/doc/fernhop/copyright usr/share/applications/fernhop.desktop "$metainfo" \
         usr/share/icons/hicolor/scalable/apps/fernhop.svg; do
  [[ -f $root/$f ]] || fail "the package lacks /$f"
done
fernhop=$root/usr/bin/fernhop
"$fernhop" --help >"$work/help.txt" || fail "fernhop --help failed"

# The man page: renders without warnings and names every option --help names.
LC_ALL=C MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/fernhop.1.gz" >"$work/man.txt" 2>"$work/man.err" ||
  fail "man could not render the page"
if [[ -s $work/man.err ]]; then fail "man warns: $(head -3 "$work/man.err")"; fi
for option in $(grep -oE -- '(^|[^[:alnum:]-])--?[[:alnum:]][[:alnum:]-]*' "$work/help.txt" | sed 's/^[^-]*//' | sort -u); do
  grep -qF -- "$option" "$work/man.txt" || fail "the man page lacks $option"
done

# The desktop entry starts the installed program with the installed icon; the metainfo names it.
desktop=$root/usr/share/applications/fernhop.desktop
[[ $(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop") == fernhop ]] || fail "Exec= does not start fernhop"
[[ $(sed -n 's/^Icon=//p' "$desktop") == fernhop ]] || fail "Icon= is not fernhop"
grep -q '<launchable type="desktop-id">fernhop.desktop</launchable>' "$root/$metainfo" ||
  fail "the metainfo does not launch fernhop.desktop"
if have desktop-file-validate; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate"
fi
if have appstreamcli; then
  appstreamcli validate --no-net "$root/$metainfo" >"$work/appstream.log" ||
    { cat "$work/appstream.log" >&2; fail "appstreamcli validate"; }
fi

# Bash completion: options, and the nicknames of the settings named on the command line.
settings=$work/settings
for nick in "home page" shop; do
  "$fernhop" --settings "$settings" --add-site "$nick" --server ftp.example.net --user me \
    --password pw --local "$work" --remote /www >/dev/null
done
complete_words() { # complete_words WORD...: what bash offers for the last word
  (
    source "$root/usr/share/bash-completion/completions/fernhop"
    COMP_WORDS=("$fernhop" "$@")
    COMP_CWORD=$#
    _fernhop
    printf '%s\n' "${COMPREPLY[@]}"
  )
}
[[ $(complete_words --dry) == --dry-run ]] || fail "--dry does not complete to --dry-run"
offered=$(complete_words --settings "$settings" --batch "")
[[ $offered == $'home\\ page\nshop' ]] || fail "nicknames offered after --batch: '$offered'"
[[ $(complete_words --settings "$settings" --remove-site s) == shop ]] || fail "--remove-site s does not complete to shop"
[[ -z $(complete_words --settings "$settings" --add-site "") ]] || fail "a new nickname was offered old ones"

if have lintian; then
  # Errors fail the test; warnings are shown.
  lintian --fail-on error "$deb" || fail "lintian reports errors"
fi

((failures == 0)) || exit 1
echo "test-package: the .deb and its contents pass"
