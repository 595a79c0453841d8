#!/usr/bin/env bash
# Puts fresh output of the PGP stand-in (bin/pgp.exe of a cross build) in
# place of the armoured blocks of the sample folder, keeping the mail text
# around them. Run it after the stand-in's formats change:
#   source scripts/lib/wine-env.sh; wine_env_start build/<you>-wine
#   testbed/mailclient/regenerate-samples.sh build/<you>-mingw
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
samples="$here/sample-mail"
build=$(cd "${1:?usage: $0 <cross build directory holding bin/pgp.exe>}" && pwd)
pgp="$build/bin/pgp.exe"
[ -f "$pgp" ] || { echo "no $pgp: build the cross tree first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One directory per signer: the stand-in signs with the first secret key.
keyring() {  # dir, lines...
  local dir=$1; shift
  mkdir -p "$dir"
  printf '%s\n' "$@" > "$dir/keyring.txt"
}
keyring "$work/sam" "pub Sam Sample <sam@example.org>" "sec Sam Sample <sam@example.org> sam-secret"
keyring "$work/bob" "sec Bob Builder <bob@example.net> bob-secret" "pub Bob Builder <bob@example.net>" \
  "pub Sam Sample <sam@example.org>"
keyring "$work/carol" "pub Carol Coder <carol@example.com>"

run_pgp() {  # keyring dir, pass phrase, arguments...
  local dir=$1 pass=$2; shift 2
  (cd "$work" && PGPPATH=$(winepath -w "$dir") PGPPASS=$pass wine "$pgp" "$@" >/dev/null 2>&1) ||
    { echo "pgp.exe $* failed" >&2; exit 1; }
}

# Replaces the first armoured block of a message (from a "BEGIN PGP" line to
# the next "END PGP" line, each after the prefix) by the lines of a file.
replace_block() {  # message file, block file, line prefix
  awk -v blockfile="$2" -v prefix="$3" '
    BEGIN { while ((getline line < blockfile) > 0) { sub(/\r$/, "", line); block = block prefix line "\n" } }
    !done && !inside && index($0, prefix "-----BEGIN PGP ") == 1 { inside = 1; printf "%s", block; next }
    inside { if (index($0, prefix "-----END PGP ") == 1) { inside = 0; done = 1 }; next }
    { print }
  ' "$1" > "$1.new"
  mv "$1.new" "$1"
}

printf '%s\n' "Minutes of the meeting on 3 March 1997" "" "- the budget is approved" \
  "- the next meeting is on 10 March" > "$work/notes.txt"
run_pgp "$work/sam" "" -eat notes.txt "sam@example.org"
replace_block "$samples/01-encrypted.msg" "$work/notes.txt.asc" ""
replace_block "$samples/04-quoted-reply.msg" "$work/notes.txt.asc" ">"

printf '%s\n' "Hello Sam," "" "my new phone number is 555-0199. This message is signed, so you" \
  "can check that it really comes from me." "" "-- Bob" > "$work/phone.txt"
run_pgp "$work/bob" bob-secret -sta +clearsig=on phone.txt
replace_block "$samples/02-signed.msg" "$work/phone.txt.asc" ""

run_pgp "$work/carol" "" -kxa carol@example.com carol
replace_block "$samples/03-public-key.msg" "$work/carol.asc" ""

printf '%s\n' "Quarterly report, first quarter 1997" "" "Sales rose by 4 per cent." > "$work/report.txt"
run_pgp "$work/sam" "" -eat report.txt "sam@example.org"
tr -d '\r' < "$work/report.txt.asc" > "$samples/attach/report.asc"

echo "regenerated the blocks in $samples"
