// The client's own reading of MIME mail and the names it saves attachments
// under. The converter here only labels what it is given, so each case shows
// which bytes were taken as text in which charset.
#include <gtest/gtest.h>

#include "testbed/mailclient/attachment_names.h"
#include "testbed/mailclient/mime_mail.h"

namespace {

using mimemail::Piece;
using mimemail::ShownMail;

std::string Labelled(std::string_view bytes, std::string_view charset) {
  return "{" + std::string(charset) + ":" + std::string(bytes) + "}";
}

// "T{charset:text}" for a text, "A<type>|<name>|<bytes>" for an attachment.
std::string Pieces(const ShownMail& mail) {
  std::string out;
  for (const Piece& p : mail.pieces) {
    if (!out.empty()) out += " + ";
    out += p.attachment ? "A" + p.type + "|" + p.name + "|" + p.text : "T" + p.text;
  }
  return out;
}

ShownMail Read(std::string_view message, const mimemail::Limits& limits = {}) {
  return mimemail::ReadMail(message, Labelled, limits);
}

TEST(MimeMail, AnEncryptedMessageIsTwoAttachmentsHoldingThePartsExactBytes) {
  const std::string armour =
      "-----BEGIN PGP MESSAGE-----\r\n\r\nhQEMA+x\r\n--b1-lookalike\r\n--b1x\r\n-----END PGP MESSAGE-----\r\n";
  const std::string message =
      "From: =?utf-8?q?J=C3=BCrgen?= <j@example.de>\r\nTo: sam@example.org\r\nSubject: ...\r\n"
      "Date: Mon, 1 Jan 2024 10:00:00 +0100\r\nMIME-Version: 1.0\r\n"
      "Content-Type: multipart/encrypted;\r\n protocol=\"application/pgp-encrypted\";\r\n"
      "\tboundary=\"b1\"\r\n\r\n"
      "This is an OpenPGP/MIME encrypted message (RFC 4880 and 3156)\r\n"
      "--b1\r\nContent-Type: application/pgp-encrypted\r\nContent-Description: PGP/MIME version\r\n\r\n"
      "Version: 1\r\n\r\n"
      "--b1 \r\nContent-Type: application/octet-stream; name=\"encrypted.asc\"\r\n"
      "Content-Disposition: inline; filename=\"encrypted.asc\"\r\n\r\n" +
      armour + "\r\n--b1--\r\nepilogue\r\n";
  const ShownMail mail = Read(message);
  EXPECT_EQ(Pieces(mail), "Aapplication/pgp-encrypted||Version: 1\r\n + Aapplication/octet-stream|encrypted.asc|" + armour);
  ASSERT_EQ(mail.headers.size(), 4u);
  EXPECT_EQ(mail.headers[0], (std::pair<std::string, std::string>{"From", "{utf-8:J\xC3\xBCrgen} <j@example.de>"}));
  EXPECT_EQ(mail.headers[2].second, "...");
  EXPECT_FALSE(mail.partsLeftOut);
}

struct BodyRow {
  const char* name;
  std::string message;
  std::string pieces;
};

void PrintTo(const BodyRow& r, std::ostream* out) { *out << r.name; }

class MimeBody : public testing::TestWithParam<BodyRow> {};

TEST_P(MimeBody, ShowsTheTextsAndSavesTheRest) { EXPECT_EQ(Pieces(Read(GetParam().message)), GetParam().pieces); }

INSTANTIATE_TEST_SUITE_P(
    Messages, MimeBody,
    testing::Values(
        BodyRow{"NoMimeAtAll", "Subject: x\n\nplain\ntext\n", "T{:plain\ntext\n}"},
        BodyRow{"QuotedPrintableUtf8",
                "Content-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: quoted-printable\n\n"
                "Gr=C3=BC=C3=9Fe aus K=C3=B6ln, a long line that is brok=\nen softly =3D here   \nend=\n",
                "T{UTF-8:Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln, a long line that is broken softly = here\nend}"},
        BodyRow{"Base64Latin1", "Content-Type: text/plain; charset=\"iso-8859-1\"\nContent-Transfer-Encoding: BASE64\n\n"
                                "R3L8\r\nw59l\n", "T{iso-8859-1:Gr\xFC\xC3\x9F" "e}"},
        BodyRow{"AlternativeShowsThePlainOne",
                "Content-Type: multipart/alternative; boundary=a\n\n--a\nContent-Type: text/html\n\n<p>hi</p>\n"
                "--a\nContent-Type: text/plain\n\nhi\n--a--\n",
                "T{:hi}"},
        BodyRow{"MixedWithAPdfAndAnAttachedText",
                "Content-Type: multipart/mixed; boundary=\"m m\"\n\n--m m\n\nbody\n--m m\n"
                "Content-Type: application/pdf; name=r.pdf\nContent-Transfer-Encoding: base64\n\nJVBERi0x\n"
                "--m m\nContent-Type: text/plain; name=\"n.txt\"\nContent-Disposition: attachment\n\nnote\n--m m--\n",
                "T{:body} + Aapplication/pdf|r.pdf|%PDF-1 + Atext/plain|n.txt|note"},
        BodyRow{"SignedKeepsTheSignatureAsAFile",
                "Content-Type: multipart/signed; boundary=s; protocol=\"application/pgp-signature\"\n\n--s\n"
                "Content-Type: text/plain\n\nsigned\n--s\nContent-Type: application/pgp-signature; name=signature.asc\n\n"
                "SIG\n--s--\n",
                "T{:signed} + Aapplication/pgp-signature|signature.asc|SIG"},
        BodyRow{"UnknownEncodingIsSavedAsItCame",
                "Content-Type: text/plain\nContent-Transfer-Encoding: x-uuencode\n\nbegin 644 a\n",
                "Aapplication/octet-stream||begin 644 a\n"},
        BodyRow{"NoClosingBoundaryShowsWhatThereIs",
                "Content-Type: multipart/mixed; boundary=z\n\n--z\n\none\n--z\n\ntwo\n", "T{:one} + T{:two\n}"},
        BodyRow{"MultipartWithoutBoundaryIsOneFile", "Content-Type: multipart/mixed\n\n--z\n\nx\n",
                "Amultipart/mixed||--z\n\nx\n"}),
    [](const auto& info) { return std::string(info.param.name); });

struct HeaderRow {
  const char* name;
  std::string field;  // a Content-Disposition value, or a Subject when it has no ';'
  std::string decoded;
};

void PrintTo(const HeaderRow& r, std::ostream* out) { *out << r.name; }

class MimeHeader : public testing::TestWithParam<HeaderRow> {};

TEST_P(MimeHeader, DecodesWordsAndFileNames) {
  const std::string& field = GetParam().field;
  if (field.find(';') == std::string::npos) {
    EXPECT_EQ(mimemail::DecodedHeader("Subject: " + field + "\n\n", "subject", Labelled), GetParam().decoded);
  } else {
    EXPECT_EQ(mimemail::ParseContentField(field, Labelled).Parameter("filename"), GetParam().decoded);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, MimeHeader,
    testing::Values(
        HeaderRow{"QAndBWords", "=?ISO-8859-1?Q?K=F6ln_?= =?utf-8?B?R3LDvMOfZQ==?= !", "{iso-8859-1:K\xF6ln }{utf-8:Gr\xC3\xBC\xC3\x9F" "e} !"},
        HeaderRow{"OneCharacterSplitOverTwoWords", "=?utf-8?q?Gr=C3?=\n =?utf-8?q?=BC=C3=9Fe?=", "{utf-8:Gr\xC3\xBC\xC3\x9F" "e}"},
        HeaderRow{"LanguageDroppedAndControlsBlank", "=?utf-8*de?q?a=0Ab?=", "{utf-8:a b}"},
        HeaderRow{"NotAWordWithABlankInside", "=?utf-8?q?a b?=", "=?utf-8?q?a b?="},
        HeaderRow{"Rfc2231Continuations", "attachment; filename*0*=utf-8''K%C3%B6ln%20; filename*1=\"plan.pdf\"",
                  "{utf-8:K\xC3\xB6ln plan.pdf}"},
        HeaderRow{"Rfc2231WinsOverThePlainName", "attachment; filename=\"old.txt\"; filename*=iso-8859-1'en'%E4.txt",
                  "{iso-8859-1:\xE4.txt}"},
        HeaderRow{"QuotedSemicolonsAndEscapes", "attachment; filename=\"a;\\\"b\\\".txt\"", "a;\"b\".txt"}),
    [](const auto& info) { return std::string(info.param.name); });

// A sender decides how deep, how many and how long: the reader stays bounded.
TEST(MimeMail, NestingPartsAndHeadersAreBounded) {
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\n\n--b" + std::to_string(i) + "\n";
  deep += "\ninnermost\n";
  const ShownMail nested = Read(deep);
  ASSERT_EQ(nested.pieces.size(), 1u);
  EXPECT_TRUE(nested.pieces[0].attachment) << "beyond the depth limit the rest is one file";

  std::string many = "Content-Type: multipart/mixed; boundary=p\n\n";
  for (int i = 0; i < 20000; ++i) many += "--p\n\nx\n";
  const ShownMail wide = Read(many);
  EXPECT_EQ(wide.pieces.size(), mimemail::Limits{}.parts);
  EXPECT_TRUE(wide.partsLeftOut);

  std::string fields;
  for (int i = 0; i < 100000; ++i) fields += "X-A: 1\n";
  fields += "Subject: " + std::string(1 << 20, 'x') + "\n\nbody\n";
  EXPECT_EQ(mimemail::DecodedHeader(fields, "subject", Labelled), "") << "fields past the limit are not read";
  EXPECT_EQ(mimemail::DecodedHeader("Subject: " + std::string(1 << 20, 'x') + "\n\n", "subject", Labelled).size(),
            mimemail::Limits{}.headerValueBytes);
}

TEST(MimeMail, MboxMessagesStartAtFromLinesAfterAnEmptyLine) {
  const std::string mbox =
      "From alice@example.org Mon Jan  1 00:00:00 2024\nSubject: one\n\nbody one\nFrom here on a line\n"
      ">From escaped\n\n"
      "From bob@example.org Tue Jan  2 00:00:00 2024\nSubject: two\n\nbody two\n";
  const std::vector<std::string_view> messages = mimemail::SplitMbox(mbox);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], "Subject: one\n\nbody one\nFrom here on a line\n>From escaped\n");
  EXPECT_EQ(messages[1], "Subject: two\n\nbody two\n");
  EXPECT_EQ(mimemail::SplitMbox(mbox, 1).size(), 1u);
}

TEST(MimeMail, TheWindowTextPutsEachAttachmentOnALineOfItsOwn) {
  ShownMail mail;
  mail.headers = {{"From", "a"}, {"Subject", "s"}};
  mail.pieces = {Piece{false, std::string("no end\0hidden", 13), "", ""}, Piece{true, "bytes", "f.pdf", "application/pdf"},
                 Piece{false, "after\r\n", "", ""}};
  const std::string text = mimemail::WindowText(mail, [](const Piece& p) { return "ATTACH " + p.name; });
  EXPECT_EQ(text, "From: a\r\nSubject: s\r\n\r\nno end hidden\r\nATTACH f.pdf\r\nafter\r\n");
}

struct NameRow {
  std::string sender;
  std::string type;
  std::string saved;
};

void PrintTo(const NameRow& r, std::ostream* out) { *out << testing::PrintToString(r.sender); }

class SafeFileNameTest : public testing::TestWithParam<NameRow> {};

TEST_P(SafeFileNameTest, NeverNamesAFolderADeviceOrAStream) {
  EXPECT_EQ(attachnames::SafeFileName(GetParam().sender, GetParam().type), GetParam().saved);
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, SafeFileNameTest,
    testing::Values(NameRow{"report.pdf", "application/pdf", "report.pdf"},
                    NameRow{"..\\..\\Windows\\win.ini", "", "win.ini"},
                    NameRow{"/etc/passwd", "", "passwd"},
                    NameRow{"C:evil.exe", "", "C_evil.exe"},
                    NameRow{"notes.txt:hidden", "", "notes.txt_hidden"},
                    NameRow{"a<b>|c?*\"\x01.txt", "", "a_b__c____.txt"},
                    NameRow{"  trailing. . ", "", "trailing"},
                    NameRow{"..", "application/pgp-encrypted", "pgp-encrypted.txt"},
                    NameRow{"", "application/octet-stream", "octet-stream.bin"},
                    NameRow{"CON", "", "_CON"},
                    NameRow{"nul.txt", "", "_nul.txt"},
                    NameRow{"com1 .log", "", "_com1 .log"},
                    NameRow{"LPT\xB9.txt", "", "_LPT\xB9.txt"},
                    NameRow{"conin$", "", "_conin$"},
                    NameRow{"console.txt", "", "console.txt"},
                    NameRow{std::string(300, 'n') + ".pdf", "", std::string(60, 'n') + ".pdf"},
                    NameRow{"CON." + std::string(300, 'x'), "", "_CON." + std::string(59, 'x')}));

TEST(NumberedName, CountsBeforeTheExtension) {
  EXPECT_EQ(attachnames::NumberedName("encrypted.asc", 1), "encrypted.asc");
  EXPECT_EQ(attachnames::NumberedName("encrypted.asc", 2), "encrypted (2).asc");
  EXPECT_EQ(attachnames::NumberedName("README", 3), "README (3)");
  EXPECT_EQ(attachnames::NumberedName(".profile", 2), ".profile (2)");
}

}  // namespace
