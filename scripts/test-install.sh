#!/bin/sh
# Installs the product as a Linux system would and checks the result: `cmake --install`
# with DESTDIR into a temporary prefix, the installed configurator reading the installed
# simulator unattended, the desktop entry, the AppStream data, the ".vesk" file type, the
# manual pages, and the Debian package (lintian, and `dpkg -x` giving the same layout).
# Needs no display.
#
#   scripts/test-install.sh [BUILD]
# BUILD is a configured build folder; without it BUILD-asan is reused when it holds the
# programs (the test command has built it), else an optimised build of the product alone
# is made in BUILD-install. cpack builds every target of BUILD first, so a build folder
# that has not built its tests builds them then.
set -eu
cd "$(dirname "$0")/.."

BUILD="${1:-}"
if [ -z "$BUILD" ]; then
  if [ -x BUILD-asan/bin/vesk-configurator ]; then
    BUILD=BUILD-asan
  else
    BUILD=BUILD-install
    cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DVESK_BUILD_TESTS=OFF \
      -DVESK_BUILD_BENCH=OFF >/dev/null
  fi
fi
cmake --build "$BUILD" -j "$(nproc)" --target vesk-configurator vesk-sim vesk-pack \
  vesk_tree_dat vesk_program_files vesk_install_files vesk_catalogues >/dev/null
# A sanitizer build stops at its first report, as the test presets do.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT INT TERM
# The installed program must find its own files; no desktop is asked about file types.
unset VESK_TREE_DAT DISPLAY WAYLAND_DISPLAY XDG_CURRENT_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION
export LC_ALL=C.UTF-8

passed=0
failed=0
# check NAME COMMAND...: runs the command in a subshell that stops at its first failing
# step, prints one line, and its output when it failed; the run goes on either way.
check() {
  name="$1"
  shift
  set +e
  (
    set -e
    "$@"
  ) >"$WORK/check.log" 2>&1
  rc=$?
  set -e
  if [ "$rc" -eq 0 ]; then
    passed=$((passed + 1))
    echo "ok   $name"
  else
    failed=$((failed + 1))
    echo "FAIL $name"
    sed 's/^/     /' "$WORK/check.log"
  fi
}

PREFIX=/opt/vesk
DEST="$WORK/dest"
DESTDIR="$DEST" cmake --install "$BUILD" --prefix "$PREFIX" >/dev/null
P="$DEST$PREFIX"

EXPECTED="bin/vesk-configurator
bin/vesk-pack
bin/vesk-sim
share/ansible/collections/ansible_collections/vesk/configurator/README.md
share/ansible/collections/ansible_collections/vesk/configurator/galaxy.yml
share/ansible/collections/ansible_collections/vesk/configurator/meta/runtime.yml
share/ansible/collections/ansible_collections/vesk/configurator/plugins/doc_fragments/common.py
share/ansible/collections/ansible_collections/vesk/configurator/plugins/module_utils/configurator.py
share/ansible/collections/ansible_collections/vesk/configurator/plugins/modules/backup.py
share/ansible/collections/ansible_collections/vesk/configurator/plugins/modules/configuration.py
share/ansible/collections/ansible_collections/vesk/configurator/plugins/modules/parameter.py
share/ansible/collections/ansible_collections/vesk/configurator/plugins/modules/scan.py
share/ansible/collections/ansible_collections/vesk/configurator/roles/ser2net_gateway/defaults/main.yml
share/ansible/collections/ansible_collections/vesk/configurator/roles/ser2net_gateway/handlers/main.yml
share/ansible/collections/ansible_collections/vesk/configurator/roles/ser2net_gateway/meta/main.yml
share/ansible/collections/ansible_collections/vesk/configurator/roles/ser2net_gateway/tasks/main.yml
share/ansible/collections/ansible_collections/vesk/configurator/roles/ser2net_gateway/templates/ser2net.yaml.j2
share/applications/vesk-configurator.desktop
share/doc/vesk/ansible-examples/README.md
share/doc/vesk/ansible-examples/ansible.cfg
share/doc/vesk/ansible-examples/configs/counters.json
share/doc/vesk/ansible-examples/configs/inputs.json
share/doc/vesk/ansible-examples/gateway.yml
share/doc/vesk/ansible-examples/group_vars/vesk_sites.yml
share/doc/vesk/ansible-examples/host_vars/cabinet_local.yml
share/doc/vesk/ansible-examples/host_vars/cabinet_rfc2217.yml
share/doc/vesk/ansible-examples/host_vars/cabinet_tcp.yml
share/doc/vesk/ansible-examples/inventory.yml
share/doc/vesk/ansible-examples/ser2net.yaml
share/doc/vesk/ansible-examples/site.yml
share/doc/vesk/changelog.gz
share/doc/vesk/copyright
share/doc/vesk/index.en.html
share/doc/vesk/index.html
share/doc/vesk/plots.png
share/icons/hicolor/scalable/apps/vesk-configurator.svg
share/icons/hicolor/scalable/mimetypes/application-x-vesk.svg
share/locale/en/LC_MESSAGES/vesk-configurator.mo
share/man/man1/vesk-configurator.1.gz
share/man/man1/vesk-pack.1.gz
share/man/man1/vesk-sim.1.gz
share/man/man7/vesk-ser2net.7.gz
share/man/ru/man1/vesk-configurator.1.gz
share/man/ru/man1/vesk-pack.1.gz
share/man/ru/man1/vesk-sim.1.gz
share/man/ru/man7/vesk-ser2net.7.gz
share/metainfo/ru.lorn.vesk_configurator.metainfo.xml
share/mime/packages/vesk.xml
share/vesk/parlist_fragment.en.html
share/vesk/parlist_fragment.html
share/vesk/vesk.tree.dat
share/vesk/vesk.tree.en.txt
share/vesk/vesk_en.qm"
(cd "$P" && find . -type f | sed 's|^\./||' | sort) >"$WORK/installed.txt"
echo "$EXPECTED" >"$WORK/expected.txt"
check "install layout under DESTDIR$PREFIX" diff -u "$WORK/expected.txt" "$WORK/installed.txt"

# The installed programs, away from the build folder: the simulator and the configurator
# find the description in ../share/vesk; a file named by its absolute path is a file.
read_and_print() {
  # The programs keep their settings to this run.
  export HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config"
  "$P/bin/vesk-sim" --bps 115200 >"$WORK/sim.out" &
  sim=$!
  trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null' EXIT
  i=0
  while [ ! -s "$WORK/sim.out" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
  pty="$(head -n 1 "$WORK/sim.out")"
  [ -n "$pty" ]
  "$P/bin/vesk-configurator" --no-gui --port="$pty" /bps:115200/read/close -- "$WORK/dev.vesk"
  "$P/bin/vesk-configurator" --no-gui --port="$pty" /bps:115200/write/close "$WORK/dev.vesk"
  "$P/bin/vesk-configurator" --print="$WORK/dev.vesk" >"$WORK/dev.txt"
  head -n 3 "$WORK/dev.txt"
  [ "$(wc -l <"$WORK/dev.txt")" -gt 50 ]
  # English from the installed catalogues: the core's texts and the description's.
  "$P/bin/vesk-configurator" --lang=en --print="$WORK/dev.vesk" | grep -q "^Network settings	bPS	"
  # The parameter list carries the fixed fragment from share/vesk (cp1251 in the page).
  "$P/bin/vesk-configurator" --export-html="$WORK/parlist.html"
  iconv -f CP1251 -t UTF-8 "$WORK/parlist.html" | grep -q "Список оперативных параметров"
}
check "installed configurator reads vesk-sim and prints the file" read_and_print

check "desktop-file-validate" desktop-file-validate "$P/share/applications/vesk-configurator.desktop"
check "appstreamcli validate" appstreamcli validate --no-net \
  "$P/share/metainfo/ru.lorn.vesk_configurator.metainfo.xml"

# The file type by its name and, for a file without the extension, by its content.
mime_type() {
  mkdir -p "$WORK/data/mime/packages"
  cp "$P/share/mime/packages/vesk.xml" "$WORK/data/mime/packages/"
  update-mime-database "$WORK/data/mime"
  printf 'x' >"$WORK/x.vesk"
  cp "$WORK/dev.vesk" "$WORK/configuration"
  for f in "$WORK/x.vesk" "$WORK/configuration"; do
    type="$(XDG_DATA_HOME="$WORK/data" XDG_DATA_DIRS="$WORK/data" xdg-mime query filetype "$f")"
    echo "$f: $type"
    [ "$type" = application/x-vesk ]
  done
}
check "xdg-mime query filetype gives application/x-vesk" mime_type

# groff's warnings reach man's stderr; a page must render without any.
render() {
  man --warnings -E UTF-8 -l "$1" 2>"$WORK/warnings.txt" >"$WORK/page.txt"
  cat "$WORK/warnings.txt"
  [ ! -s "$WORK/warnings.txt" ] && [ -s "$WORK/page.txt" ]
}
for page in $(cd "$P/share/man" && find . -name '*.[17].gz' | sort); do
  check "man -l ${page#./}" render "$P/share/man/$page"
done

# man(1) picks the page of the locale's language from share/man/LANG, English otherwise.
# -L stands for a locale this machine may not have installed.
man_follows_locale() {
  for page in vesk-configurator vesk-sim vesk-pack vesk-ser2net; do
    for locale in ru_RU.UTF-8 en_GB.UTF-8 C.UTF-8; do
      found="$(MANPATH="$P/share/man" man -L "$locale" -w "$page")"
      echo "$locale $found"
      case "$locale" in
      ru*) expected="$P/share/man/ru/man" ;;
      *) expected="$P/share/man/man" ;;
      esac
      case "$found" in "$expected"[17]/"$page".[17].gz) ;; *) false ;; esac
    done
  done
}
check "man follows the locale's language" man_follows_locale

build_deb() {
  cpack -G DEB --config "$BUILD/CPackConfig.cmake" -B "$WORK/pkg" >"$WORK/cpack.log" 2>&1 ||
    { cat "$WORK/cpack.log" && false; }
  deb="$(ls "$WORK"/pkg/*.deb)"
  dpkg-deb -f "$deb" Package Version Section Depends Recommends
  dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6
  [ "$(dpkg-deb -f "$deb" Section)" = electronics ]
  dpkg-deb -e "$deb" "$WORK/control"
  grep -q update-mime-database "$WORK/control/postinst"
  grep -q update-desktop-database "$WORK/control/postinst"
}
check "cpack -G DEB" build_deb
DEB="$(ls "$WORK"/pkg/*.deb 2>/dev/null || true)"

if [ -n "$DEB" ]; then
  lintian_clean() {
    # Exit status 1 means errors found (counted below); 2 and beyond, lintian failed.
    rc=0
    lintian --tag-display-limit 0 "$DEB" >"$WORK/lintian.txt" 2>&1 || rc=$?
    [ "$rc" -le 1 ] || { cat "$WORK/lintian.txt" && false; }
    echo "lintian: $(grep -c '^E:' "$WORK/lintian.txt") errors," \
      "$(grep -c '^W:' "$WORK/lintian.txt") warnings, $(grep -c '^I:' "$WORK/lintian.txt") notes"
    cat "$WORK/lintian.txt"
    ! grep -q '^E:' "$WORK/lintian.txt"
  }
  check "lintian shows no E: line" lintian_clean
  sed -n 1p "$WORK/check.log"

  same_layout() {
    dpkg -x "$DEB" "$WORK/unpacked"
    (cd "$WORK/unpacked/usr" && find . -type f | sed 's|^\./||' | sort) >"$WORK/packed.txt"
    diff -u "$WORK/installed.txt" "$WORK/packed.txt"
  }
  check "dpkg -x gives the installed layout" same_layout
fi

echo "install: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
