#!/bin/sh
# The core's message catalogue: every Cyrillic string literal of the core (src/platform ..
# src/app, src/main.cpp) is a text for a person and needs an English translation in
# po/en.po, except the data texts listed in po/kept-russian.txt (list items, names the
# description or the file format fixes), which never change with the language.
#
#   scripts/update-po.sh           rewrite po/vesk-configurator.pot and merge it into po/en.po
#   scripts/update-po.sh --check   fail when a text has no finished translation, or en.po
#                                  holds a text the sources no longer have
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mode=${1:-update}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

find src/platform src/link src/model src/exchange src/app -name '*.h' -o -name '*.cpp' |
  LC_ALL=C sort >"$tmp/files"
echo src/main.cpp >>"$tmp/files"
xgettext --extract-all --language=C++ --from-code=UTF-8 --add-location=file --no-wrap \
  --package-name=vesk-configurator --files-from="$tmp/files" -o "$tmp/all.pot" 2>/dev/null
# The kept texts as one anchored alternation (they hold no regular-expression characters).
kept=$(grep -v '^$' po/kept-russian.txt | paste -sd'|')
msggrep --no-wrap --msgid -E -e '[А-Яа-яЁё]' "$tmp/all.pot" |
  msggrep --no-wrap -v --msgid -E -e "^($kept)\$" >"$tmp/texts.pot"
# The template names no creation time, so that it changes only when a text does.
sed '/^"POT-Creation-Date:/d; s/charset=CHARSET/charset=UTF-8/' "$tmp/texts.pot" >"$tmp/template.pot"

if [ "$mode" = "--check" ]; then
  status=0
  if ! msgcmp po/en.po "$tmp/template.pot" 2>"$tmp/missing"; then
    echo "Texts without an English translation in po/en.po (run scripts/update-po.sh, then translate):"
    cat "$tmp/missing"
    status=1
  fi
  if ! msgcmp --use-untranslated "$tmp/template.pot" po/en.po 2>"$tmp/stale"; then
    echo "po/en.po holds texts the sources no longer have (run scripts/update-po.sh):"
    cat "$tmp/stale"
    status=1
  fi
  if grep -q '^#~' po/en.po || msgattrib --only-fuzzy po/en.po | grep -q msgid; then
    echo "po/en.po holds obsolete or fuzzy entries"
    status=1
  fi
  msgfmt --check -o /dev/null po/en.po || status=1
  exit $status
fi

cp "$tmp/template.pot" po/vesk-configurator.pot
if [ -f po/en.po ]; then
  msgmerge --quiet --no-wrap --no-fuzzy-matching --update --backup=none po/en.po po/vesk-configurator.pot
  msgattrib --no-wrap --no-obsolete -o po/en.po po/en.po
else
  msginit --no-translator --no-wrap --locale=en_GB.UTF-8 -i po/vesk-configurator.pot -o po/en.po
fi
