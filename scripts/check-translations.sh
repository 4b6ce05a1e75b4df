#!/bin/sh
# Fails when a translation in translations/ is out of date with the sources
# (lupdate would add, change or drop an entry) or has an entry that is not
# finished. Run by scripts/test.sh; after changing a text, run
#   scripts/check-translations.sh --update
# and translate what it marks unfinished (Qt Linguist).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# The dialog and the texts folder hold every translated text; the rest of src/
# reports in fixed English, as the failure texts always have.
sources="src/*.cpp src/*.h src/text/*.cpp src/text/*.h src/forms/updaterdialog.ui"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0
for ts in translations/updater_*.ts; do
    if [ "${1:-}" = "--update" ]; then
        # shellcheck disable=SC2086
        lupdate -silent -locations none -no-obsolete $sources -ts "$ts"
        continue
    fi
    cp "$ts" "$tmp/check.ts"
    # shellcheck disable=SC2086
    lupdate -silent -locations none -no-obsolete $sources -ts "$tmp/check.ts"
    if ! cmp -s "$ts" "$tmp/check.ts"; then
        echo "translations: $ts is out of date with the sources (scripts/check-translations.sh --update):" >&2
        diff "$ts" "$tmp/check.ts" | head -n 20 >&2 || true
        status=1
    fi
    if grep -n -E 'type="(unfinished|vanished|obsolete)"' "$ts" >&2; then
        echo "translations: $ts has entries that are not finished" >&2
        status=1
    fi
done
[ $status -eq 0 ] && echo "translations: $(ls translations/updater_*.ts | wc -l) languages, up to date and finished"
exit $status
