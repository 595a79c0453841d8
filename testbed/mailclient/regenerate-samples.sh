#!/usr/bin/env bash
# Puts fresh output of the PGP stand-in (bin/pgp.exe of a cross build) in
# place of the armoured blocks of the sample folder, keeping the mail text
# around them, and makes the two messages of today's mail (07-pgp-mime.eml,
# 08-inline-utf8.eml) anew with Python's email package. Run it after the
# stand-in's formats change:
#   source scripts/lib/wine-env.sh; wine_env_start build/<you>-wine
#   testbed/mailclient/regenerate-samples.sh build/<you>-mingw
# The same stand-in gives the same files: nothing in them is random or dated
# by the run.
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

# The loader wine_env_start chose: Debian's "wine" picks the 32-bit one,
# which not every machine can run.
run_wine() { "${QL_WINE:-wine}" "$@"; }

run_pgp() {  # keyring dir, pass phrase, arguments...
  local dir=$1 pass=$2; shift 2
  (cd "$work" && PGPPATH=$(run_wine winepath -w "$dir") PGPPASS=$pass run_wine "$pgp" "$@" >/dev/null 2>&1) ||
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

# --- Today's mail: a PGP/MIME message and an inline one, both for Sam -----------

# The MIME entity inside the PGP/MIME message, as a mail program of today
# encrypts it: protected headers (the real Subject is only in here), a UTF-8
# quoted-printable text and a small PDF. CR LF, as it is encrypted.
python3 - "$work/inner.eml" <<'PY'
import sys
from email import policy
from email.message import EmailMessage

def tiny_pdf(text):
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 320 120] "
        b"/Resources << /Font << /F1 4 0 R >> >> /Contents 5 0 R >>",
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    ]
    stream = b"BT /F1 16 Tf 20 56 Td (" + text + b") Tj ET"
    objects.append(b"<< /Length %d >>\nstream\n" % len(stream) + stream + b"\nendstream")
    pdf = b"%PDF-1.4\n"
    offsets = []
    for number, body in enumerate(objects, 1):
        offsets.append(len(pdf))
        pdf += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    xref = len(pdf)
    pdf += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    pdf += b"".join(b"%010d 00000 n \n" % offset for offset in offsets)
    pdf += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
    return pdf

inner = EmailMessage(policy=policy.default.clone(linesep="\r\n"))
inner["From"] = "Alice Example <alice@example.org>"
inner["To"] = "Sam Sample <sam@example.org>"
inner["Subject"] = "Grüße aus Köln: the contract"
inner.set_content(
    "Hallo Sam,\n\n"
    "Grüße aus Köln! The contract for Friday is attached; the fee is 1.200 €.\n"
    "Schöne Grüße an Jürgen.\n\n"
    "Alice\n",
    charset="utf-8", cte="quoted-printable")
inner.add_attachment(tiny_pdf(b"Contract, signed in Koeln"), maintype="application",
                     subtype="pdf", filename="contract.pdf")
inner.set_param("protected-headers", "v1")
inner.set_boundary("----------protected-7a1f")
for part in [inner, *inner.iter_parts()]:
    del part["MIME-Version"]
with open(sys.argv[1], "wb") as out:
    out.write(inner.as_bytes())
PY
run_pgp "$work/sam" "" -eat inner.eml "sam@example.org"

# The message around it (RFC 3156): the version part and encrypted.asc, the
# outer Subject hidden as "...". LF line ends, like the other samples.
python3 - "$work/inner.eml.asc" "$samples/07-pgp-mime.eml" <<'PY'
import sys
from email import policy
from email.message import EmailMessage

armour = open(sys.argv[1], encoding="ascii").read().replace("\r\n", "\n")
outer = EmailMessage(policy=policy.default)
outer["From"] = "Alice Example <alice@example.org>"
outer["To"] = "Sam Sample <sam@example.org>"
outer["Subject"] = "..."
outer["Date"] = "Mon, 03 Mar 2025 09:30:00 +0100"
outer["Message-ID"] = "<pgp-mime-sample@example.org>"
outer["MIME-Version"] = "1.0"
outer["Content-Type"] = "multipart/encrypted"
outer.set_param("protocol", "application/pgp-encrypted")
outer.set_boundary("----------enc-4b2e")
outer.preamble = "This is an OpenPGP/MIME encrypted message (RFC 4880 and 3156)"
version = EmailMessage(policy=policy.default)
version["Content-Type"] = "application/pgp-encrypted"
version["Content-Description"] = "PGP/MIME version identification"
version.set_payload("Version: 1\n")
encrypted = EmailMessage(policy=policy.default)
encrypted["Content-Type"] = 'application/octet-stream; name="encrypted.asc"'
encrypted["Content-Description"] = "OpenPGP encrypted message"
encrypted["Content-Disposition"] = 'inline; filename="encrypted.asc"'
encrypted.set_payload(armour)
outer.attach(version)
outer.attach(encrypted)
with open(sys.argv[2], "wb") as out:
    out.write(outer.as_bytes())
PY

# Inline PGP whose plaintext is UTF-8, as older plug-ins and some phones send it.
printf '%s\n' "Hallo Sam," "" "Grüße aus Köln! Das Treffen ist am Freitag um 10 Uhr im Café am Dom." "" \
  "Alice" > "$work/inline.txt"
run_pgp "$work/sam" "" -eat inline.txt "sam@example.org"
python3 - "$work/inline.txt.asc" "$samples/08-inline-utf8.eml" <<'PY'
import sys
from email import policy
from email.message import EmailMessage

armour = open(sys.argv[1], encoding="ascii").read().replace("\r\n", "\n")
message = EmailMessage(policy=policy.default)
message["From"] = "Alice Example <alice@example.org>"
message["To"] = "Sam Sample <sam@example.org>"
message["Subject"] = "Encrypted: Treffen in K\u00f6ln"
message["Date"] = "Tue, 04 Mar 2025 18:05:00 +0100"
message["Message-ID"] = "<inline-utf8-sample@example.org>"
message.set_content("Sam, encrypted for you:\n\n" + armour + "\nAlice\n")
with open(sys.argv[2], "wb") as out:
    out.write(message.as_bytes())
PY

echo "regenerated the blocks and messages in $samples"
