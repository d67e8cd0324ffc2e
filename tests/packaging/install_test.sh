#!/usr/bin/env bash
# Installs the build into a temporary prefix as a user would (cmake --install
# --prefix) and checks what lands there: the three programs run from the
# prefix's bin folder, the desktop entry and icon, manual pages that format
# cleanly and name every option the programs' --help lists, and a service
# unit that systemd-analyze accepts and that starts the installed station.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR
set -u
BUILD=$1 SRC=$2
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
P="$WORK/prefix"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cmake --install "$BUILD" --prefix "$P" >"$WORK/install.log" 2>&1 || { cat "$WORK/install.log"; fail "cmake --install"; }

for f in bin/halvane bin/halvane-sim bin/halvane-sono bin/halvane-calls; do
  [ -x "$P/$f" ] || fail "$f missing or not executable"
done
for f in share/applications/halvane.desktop share/icons/hicolor/scalable/apps/halvane.svg \
         share/man/man1/halvane.1 share/man/man1/halvane-sim.1 share/man/man1/halvane-sono.1 share/man/man1/halvane-calls.1 \
         lib/systemd/system/halvane.service lib/sysusers.d/halvane.conf; do
  [ -s "$P/$f" ] || fail "$f missing"
done

# The programs from the prefix, found on the PATH.
export PATH="$P/bin:$PATH"
for prog in halvane halvane-sim halvane-sono halvane-calls; do
  [ "$(command -v $prog)" = "$P/bin/$prog" ] || fail "$prog is not found in the prefix"
  $prog --help >"$WORK/$prog.help" 2>&1 || fail "$prog --help exits $?"
  grep -q "usage: $prog" "$WORK/$prog.help" || fail "$prog --help prints no usage"
  page="$P/share/man/man1/$prog.1"
  # Every option of the usage is described on the manual page.
  for opt in $(grep -o -- '--[a-z][a-z-]*' "$WORK/$prog.help" | sort -u); do
    grep -q -- "$(printf '%s' "$opt" | sed 's/-/\\\\-/g')" "$page" || fail "$prog.1 does not describe $opt"
  done
  warnings=$(groff -man -ww -z "$page" 2>&1)
  [ -z "$warnings" ] || fail "$prog.1 does not format cleanly: $warnings"
done

# A picture from the installed picture tool.
sox -n -r 250000 -b 16 -c 1 "$WORK/tone.wav" synth 0.2 sine 40000 2>/dev/null || fail "sox"
halvane-sono "$WORK/tone.wav" -o "$WORK/tone.png" || fail "installed halvane-sono failed"
[ "$(head -c 8 "$WORK/tone.png" | od -An -tx1 | tr -d ' ')" = "89504e470d0a1a0a" ] || fail "no PNG written"

desktop-file-validate "$P/share/applications/halvane.desktop" || fail "desktop entry does not validate"
grep -q '^Exec=halvane' "$P/share/applications/halvane.desktop" || fail "desktop entry does not start halvane"
grep -q '^Icon=halvane$' "$P/share/applications/halvane.desktop" || fail "desktop entry names another icon"

# The unit starts the installed station (its full path) and passes
# systemd-analyze, which also looks up the manual page it names.
unit="$P/lib/systemd/system/halvane.service"
grep -q "^ExecStart=$P/bin/halvane --headless " "$unit" || fail "unit does not start $P/bin/halvane: $(grep ExecStart "$unit")"
grep -q "systemd-sysusers $P/lib/sysusers.d/halvane.conf" "$unit" || fail "unit's comment names another sysusers file"
MANPATH="$P/share/man" systemd-analyze verify "$unit" \
  >"$WORK/verify.log" 2>&1 || { cat "$WORK/verify.log"; fail "systemd-analyze verify"; }
if grep -v "^$" "$WORK/verify.log" | grep -q .; then
  cat "$WORK/verify.log"
  fail "systemd-analyze verify reports something"
fi

echo "install: $failures failure(s)"
[ $failures -eq 0 ]
