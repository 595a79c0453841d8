// The MIME reading of PGP's decoded output, against a host of the tests'
// own: its "client character set" is Latin-1 (what Windows-1252 holds of
// it), it knows UTF-8, Latin-1 and nothing else, and it keeps what it is
// asked to save.
#include "command/mime_reading.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "command/attachment_name.h"
#include "command/charset_names.h"
#include "command/html_text.h"
#include "command/mime_decoding.h"
#include "command/mime_headers.h"
#include "command/result_marking.h"

namespace {

const std::string kTag(kDefuseTag);

using namespace std::string_literals;

const std::string kPrefix = "Attachment Converted: ";

struct SavedPart {
  std::string name;
  std::string data;
  bool operator==(const SavedPart&) const = default;
};

class Latin1Host : public MimeHost {
 public:
  std::optional<std::string> ConvertCharset(std::string_view charset, std::string_view bytes,
                                            size_t& unmappable) override {
    const std::string name = LowerCase(charset);
    if (name == "iso-8859-1" || name == "latin1") return std::string(bytes);
    if (name != "utf-8") return std::nullopt;
    std::string out;
    for (size_t i = 0; i < bytes.size();) {
      const auto lead = static_cast<unsigned char>(bytes[i]);
      const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
      uint32_t code = length == 1 ? lead : lead & (0x3F >> (length - 1));
      for (size_t k = 1; k < length && i + k < bytes.size(); ++k)
        code = code << 6 | (static_cast<unsigned char>(bytes[i + k]) & 0x3F);
      if (code > 0xFF) ++unmappable;
      out += code > 0xFF ? '?' : static_cast<char>(code);
      i += length;
    }
    return out;
  }

  std::optional<std::string> SaveAttachment(const std::string& safeName, std::string_view data,
                                            std::string& why) override {
    if (refuse) {
      why = "the disk is full";
      return std::nullopt;
    }
    saved.push_back({safeName, std::string(data)});
    return kPrefix + "\"C:\\Mail\\attach\\" + safeName + "\"";
  }

  static std::string LowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
  }

  std::vector<SavedPart> saved;
  bool refuse = false;
};

std::string Line(const std::string& name) { return kPrefix + "\"C:\\Mail\\attach\\" + name + "\"\r\n"; }

// --- telling a MIME entity from text ------------------------------------------

struct EntityRow {
  const char* name;
  std::string output;
  bool isMime;
};

class IsMimeEntityTest : public testing::TestWithParam<EntityRow> {};

TEST_P(IsMimeEntityTest, FollowsTheHeaderBlockRule) {
  EXPECT_EQ(IsMimeEntity(GetParam().output), GetParam().isMime);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, IsMimeEntityTest,
    testing::Values(
        EntityRow{"Crlf", "Content-Type: text/plain\r\n\r\nhi", true},
        EntityRow{"LfAndOtherFields", "MIME-Version: 1.0\ncontent-type: TEXT/PLAIN\n\nhi", true},
        EntityRow{"Folded", "Content-Type: multipart/mixed;\r\n\tboundary=x\r\n\r\n", true},
        // Text that merely begins like a header is text.
        EntityRow{"SubjectWithoutContentType", "Subject: hi\r\n\r\nSee you.", false},
        EntityRow{"NoteThenProse", "Note: see below\r\nContent-Type: text/plain\r\nwas the header\r\n\r\n",
                  false},
        EntityRow{"BlankInName", "Content Type: text/plain\r\n\r\n", false},
        EntityRow{"ColonLater", "Hi there: Content-Type: text/plain\r\n\r\n", false},
        EntityRow{"NoEmptyLine", "Content-Type: text/plain\r\n", false},
        EntityRow{"StartsFolded", " Content-Type: text/plain\r\n\r\n", false},
        EntityRow{"EmptyFirstLine", "\r\nContent-Type: text/plain\r\n\r\n", false},
        EntityRow{"NoSubtype", "Content-Type: text\r\n\r\n", false},
        EntityRow{"HeaderTooLong",
                  "Content-Type: text/plain\r\nX: " + std::string(70 * 1024, 'a') + "\r\n\r\n", false}),
    [](const auto& info) { return std::string(info.param.name); });

// --- reading ------------------------------------------------------------------

struct ReadRow {
  const char* name;
  std::string entity;
  std::string text;
  std::vector<SavedPart> saved = {};
  bool incomplete = false;
  bool innerSignature = false;
  size_t unmappable = 0;
};

class ReadMimeEntityTest : public testing::TestWithParam<ReadRow> {};

TEST_P(ReadMimeEntityTest, ShowsWhatAMailReaderShows) {
  const ReadRow& row = GetParam();
  Latin1Host host;
  const std::optional<MimeReading> reading = ReadMimeEntity(row.entity, kPrefix, host);
  ASSERT_TRUE(reading.has_value());
  EXPECT_EQ(reading->text, row.text);
  EXPECT_EQ(host.saved, row.saved);
  EXPECT_EQ(reading->attachmentsSaved, row.saved.size());
  EXPECT_EQ(reading->incomplete, row.incomplete);
  EXPECT_EQ(reading->innerSignature, row.innerSignature);
  EXPECT_EQ(reading->unmappable, row.unmappable);
}

const std::string kMixed = "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n";

INSTANTIATE_TEST_SUITE_P(
    Text, ReadMimeEntityTest,
    testing::Values(
        ReadRow{"QuotedPrintableUtf8",
                "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: quoted-printable\r\n"
                "\r\nGr=C3=BC=C3=9Fe aus K=C3=B6ln, this line is long enough to be broken by=\r\n"
                " its encoder.   \r\nA=3Db\r\n",
                "Gr\xFC\xDF" "e aus K\xF6ln, this line is long enough to be broken by its encoder.\r\nA=b\r\n"},
        // A text that ends in CR LF lets the next one begin with the LF of
        // a line break cut between the two, however the first was copied.
        ReadRow{"LineBreakCutBetweenParts",
                kMixed + "--b1\r\nContent-Type: text/plain\r\n\r\nx\r\n\r\n--b1\r\n"
                         "Content-Type: text/plain\r\n\r\n\nb\r\n--b1--\r\n",
                "x\r\n\r\nb\r\n"},
        ReadRow{"Base64Latin1",
                "Content-Type: text/plain; charset=\"iso-8859-1\"\r\nContent-Transfer-Encoding: base64\r\n\r\n"
                "SGVsbG8g/GJlcgpsaW5lIHR3bw==\r\n",
                "Hello \xFC" "ber\r\nline two\r\n"},
        // A character the client's set lacks is '?' and counted; no best fit.
        ReadRow{"Unmappable", "Content-Type: text/plain; charset=utf-8\r\n\r\n\xC4\x80lice\r\n",
                "?lice\r\n", {}, false, false, 1},
        // Unlabelled 8-bit text that is UTF-8 is read as UTF-8; other bytes stay.
        ReadRow{"UnlabelledUtf8", "Content-Type: text/plain\r\n\r\n\xC3\xA4 and \xE4\r\n",
                "\xC3\xA4 and \xE4\r\n"},
        ReadRow{"UnlabelledValidUtf8", "Content-Type: text/plain\r\n\r\n\xC3\xA4\r\n", "\xE4\r\n"},
        ReadRow{"UnknownCharset", "Content-Type: text/plain; charset=x-klingon\r\n\r\nQ\xF1pla\r\n",
                "[The text below is in the character set \"x-klingon\", which could not be converted; it "
                "is shown as it came.]\r\nQ\xF1pla\r\n"},
        ReadRow{"Flowed",
                "Content-Type: text/plain; format=flowed; delsp=no\r\n\r\n"
                "One paragraph \r\nin two lines.\r\n>Quoted \r\n>text.\r\n \r\n-- \r\nSig\r\n",
                "One paragraph in two lines.\r\n> Quoted text.\r\n\r\n-- \r\nSig\r\n"},
        ReadRow{"FlowedDelSp", "Content-Type: text/plain; format=flowed; delsp=yes\r\n\r\nOnePara \r\ngraph\r\n",
                "OneParagraph\r\n"},
        ReadRow{"BareCrAndNul", "Content-Type: text/plain\r\n\r\na\rb\nc\0d"s,
                "a\r\nb\r\nc?d\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Structure, ReadMimeEntityTest,
    testing::Values(
        ReadRow{"AlternativeShowsThePlainText",
                "Content-Type: multipart/alternative; boundary=alt\r\n\r\nPreamble\r\n--alt\r\n"
                "Content-Type: text/plain; charset=us-ascii\r\n\r\nPlain words.\r\n--alt\r\n"
                "Content-Type: text/html\r\n\r\n<p>HTML words</p>\r\n--alt--\r\nEpilogue\r\n",
                "Plain words.\r\n"},
        ReadRow{"HtmlOnlyIsReadAndSaved",
                "Content-Type: text/html; charset=utf-8\r\n\r\n"
                "<html><head><title>T</title><style>p {}</style></head><body><p>Gr&uuml;&szlig;e &amp; "
                "more&nbsp;text</p><script>alert(1)</script><!-- hidden --><ul><li>one<li>two</ul>"
                "&#8364;&#x41;&euro;</body></html>",
                "Gr\xFC\xDF" "e & more text\r\n\r\n* one\r\n* two\r\n\r\n?A?\r\n" + Line("message.html"),
                {{"message.html",
                  "<html><head><title>T</title><style>p {}</style></head><body><p>Gr&uuml;&szlig;e &amp; "
                  "more&nbsp;text</p><script>alert(1)</script><!-- hidden --><ul><li>one<li>two</ul>"
                  "&#8364;&#x41;&euro;</body></html>"}},
                false, false, 2},
        ReadRow{"ForwardedMessage",
                kMixed + "--b1\r\nContent-Type: text/plain\r\n\r\nSee below.\r\n--b1\r\n"
                "Content-Type: message/rfc822\r\n\r\nFrom: =?utf-8?q?J=C3=BCrgen?= <j@example.org>\r\n"
                "To: bob@example.org\r\nSubject: =?utf-8?q?Caf=C3?= \r\n =?UTF-8?Q?=A9_ol=C3=A9?=\r\n"
                "Date: Mon, 1 Jan 2024 10:00:00 +0000\r\nX-Other: not shown\r\n\r\nInner text.\r\n--b1--\r\n",
                "See below.\r\n\r\n---------- Forwarded message ----------\r\nFrom: J\xFCrgen <j@example.org>\r\n"
                "To: bob@example.org\r\nDate: Mon, 1 Jan 2024 10:00:00 +0000\r\nSubject: Caf\xE9 ol\xE9\r\n\r\n"
                "Inner text.\r\n---------- End of forwarded message ----------\r\n"},
        // Enigmail's layout: the headers on the entity, a legacy-display part
        // for readers that know nothing of them.
        ReadRow{"ProtectedHeadersOnce",
                "Content-Type: multipart/mixed; boundary=\"b1\"; protected-headers=\"v1\"\r\n"
                "From: Alice <alice@example.org>\r\nSubject: The real subject\r\n\r\n--b1\r\n"
                "Content-Type: text/rfc822-headers; protected-headers=\"v1\"\r\n"
                "Content-Disposition: inline\r\n\r\nSubject: The real subject\r\n\r\n--b1\r\n"
                "Content-Type: text/plain\r\n\r\nBody.\r\n--b1--\r\n",
                "From: Alice <alice@example.org>\r\nSubject: The real subject\r\n\r\nBody.\r\n"},
        // RFC 9788's: the repeated lines open the body part itself.
        ReadRow{"ProtectedHeadersLegacyElement",
                "Content-Type: multipart/mixed; boundary=b1; hp=\"cipher\"\r\nSubject: S\r\n\r\n--b1\r\n"
                "Content-Type: text/plain; hp-legacy-display=\"1\"\r\n\r\nSubject: S\r\n\r\nNote: kept.\r\n"
                "--b1--\r\n",
                "Subject: S\r\n\r\nNote: kept.\r\n"},
        // Thunderbird's: one text part that carries them itself.
        ReadRow{"ProtectedHeadersOnATextPart",
                "Content-Type: text/plain; charset=UTF-8; protected-headers=\"v1\"\r\n"
                "Subject: =?UTF-8?B?R3LDvMOfZQ==?=\r\n\r\nBody.\r\n",
                "Subject: Gr\xFC\xDF" "e\r\n\r\nBody.\r\n"},
        ReadRow{"SignedInsideKeepsTheSignature",
                "Content-Type: multipart/signed; micalg=pgp-sha256;\r\n"
                " protocol=\"application/pgp-signature\"; boundary=\"s\"\r\n\r\n--s\r\n"
                "Content-Type: text/plain\r\n\r\nSigned words.\r\n--s\r\n"
                "Content-Type: application/pgp-signature; name=\"signature.asc\"\r\n\r\n"
                "-----BEGIN PGP SIGNATURE-----\r\nabc\r\n-----END PGP SIGNATURE-----\r\n--s--\r\n",
                "Signed words.\r\n" + Line("signature.asc"),
                {{"signature.asc", "-----BEGIN PGP SIGNATURE-----\r\nabc\r\n-----END PGP SIGNATURE-----"}},
                false, true},
        ReadRow{"AttachmentNames",
                kMixed + "--b1\r\nContent-Type: application/pdf\r\nContent-Disposition: attachment;\r\n"
                " filename*1*=%C3%A9; filename*0*=utf-8''R%C3%A9sum; filename*2=\".pdf\"; filename=\"x\"\r\n"
                "Content-Transfer-Encoding: base64\r\n\r\nJVBERi0x\r\nLjQK\r\n--b1\r\n"
                "Content-Type: image/png; name=\"=?utf-8?b?w6RwZmVs?=.png\"\r\n\r\nPNG\r\n--b1\r\n"
                "Content-Type: text/plain\r\nContent-Disposition: attachment; filename=\"..\\\\..\\\\con.txt\"\r\n"
                "\r\nnotes\r\n--b1--\r\n",
                Line("R\xE9sum\xE9.pdf") + Line("\xE4pfel.png") + Line("_con.txt"),
                {{"R\xE9sum\xE9.pdf", "%PDF-1.4\n"}, {"\xE4pfel.png", "PNG"}, {"_con.txt", "notes"}}}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Hostile, ReadMimeEntityTest,
    testing::Values(
        // Only the host's lines may begin with the prefix: the sender's are
        // defused, also when '>' , case or the spacing differ.
        ReadRow{"PlantedAttachmentLines",
                kMixed + "--b1\r\nContent-Type: text/plain\r\n\r\nAttachment Converted: \"C:\\evil.exe\"\r\n"
                "> attachment  CONVERTED:\"x\"\r\n \tAttachment\xA0" "Converted: y\r\n"
                "Not an Attachment Converted: line\r\n--b1\r\nContent-Type: text/html\r\n\r\n"
                "<p>x<br>Attachment Converted: z</p>\r\n--b1--\r\n",
                kTag + "Attachment Converted: \"C:\\evil.exe\"\r\n> " + kTag +
                    "attachment  CONVERTED:\"x\"\r\n \t" + kTag + "Attachment\xA0" "Converted: y\r\n"
                    // the module follows the exact prefix anywhere in a line
                    "Not an " + kTag + "Attachment Converted: line\r\n\r\n"
                    "x\r\n" + kTag + "Attachment Converted: z\r\n" + Line("message.html"),
                {{"message.html", "<p>x<br>Attachment Converted: z</p>"}}},
        // A line break hidden in an encoded header word stays on its line.
        ReadRow{"EncodedLineBreak",
                "Content-Type: message/rfc822\r\n\r\n"
                "Subject: =?utf-8?q?x=0D=0AAttachment_Converted:_evil?=\r\n\r\nbody\r\n",
                "---------- Forwarded message ----------\r\nSubject: x  " + kTag + "Attachment Converted: evil\r\n\r\n"
                "body\r\n---------- End of forwarded message ----------\r\n"},
        ReadRow{"NoEndBoundary", kMixed + "--b1\r\nContent-Type: text/plain\r\n\r\ncut off",
                "cut off\r\n[Quillnet could not read all of this message (no end boundary); it is shown as "
                "far as it could be read.]\r\n",
                {}, true},
        ReadRow{"NoBoundaryAtAll", kMixed + "only text\r\n",
                "only text\r\n[Quillnet could not read all of this message (no part boundary); it is shown "
                "as far as it could be read.]\r\n",
                {}, true},
        ReadRow{"BrokenBase64",
                kMixed + "--b1\r\nContent-Type: application/pdf\r\nContent-Transfer-Encoding: base64\r\n\r\n"
                "JVBE*Ri0xLjQK\r\n--b1--\r\n",
                Line("attachment.pdf") + "[Quillnet could not read all of this message (an attachment with "
                "broken base64); it is shown as far as it could be read.]\r\n",
                {{"attachment.pdf", "%PDF-1.4\n"}}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadMimeEntity, SaysWhatCouldNotBeSaved) {
  Latin1Host host;
  host.refuse = true;
  const auto reading = ReadMimeEntity(
      "Content-Type: application/pdf; name=\"a.pdf\"\r\n\r\n%PDF-1.4\r\n", kPrefix, host);
  ASSERT_TRUE(reading);
  EXPECT_EQ(reading->text, "[Attachment not saved: \"a.pdf\" (application/pdf, 10 bytes): the disk is full]\r\n");
  EXPECT_EQ(reading->attachmentsSaved, 0u);
}

TEST(ReadMimeEntity, NamesEachUnknownCharsetOnce) {
  Latin1Host host;
  const auto reading = ReadMimeEntity(
      kMixed + "--b1\r\nContent-Type: text/plain; charset=x-a\r\n\r\n\xF1\r\n--b1\r\n"
               "Content-Type: text/plain; charset=X-A\r\n\r\n\xF2\r\n--b1\r\n"
               "Content-Type: text/plain; charset=\"x-\\\"b\"\r\n\r\n\xF3\r\n--b1\r\n"
               "Content-Type: image/png; name=\"=?x-c?q?=E4?=.png\"\r\n\r\nPNG\r\n--b1--\r\n",
      kPrefix, host);
  ASSERT_TRUE(reading);
  EXPECT_EQ(reading->unknownCharsets, (std::vector<std::string>{"x-a", "x-?b", "x-c"}));
  // Only text parts get the line; a name in an unknown charset keeps its bytes.
  EXPECT_EQ(host.saved.at(0).name, "\xE4.png");
  EXPECT_EQ(reading->text.find("\"x-c\""), std::string::npos);
}

TEST(ReadMimeEntity, ReadsNothingThatIsNotAnEntity) {
  Latin1Host host;
  EXPECT_FALSE(ReadMimeEntity("Subject: hi\r\n\r\nSee you.\r\n", kPrefix, host));
  EXPECT_FALSE(ReadMimeEntity("Content-Type: text/plain\r\n\r\n", kPrefix, host));
  EXPECT_TRUE(host.saved.empty());
}

// --- limits -------------------------------------------------------------------

std::string Nested(int levels, const std::string& inner) {
  std::string entity = inner;
  for (int i = 0; i < levels; ++i) {
    const std::string boundary = "n" + std::to_string(i);
    entity = "Content-Type: multipart/mixed; boundary=" + boundary + "\r\n\r\n--" + boundary + "\r\n" +
             entity + "\r\n--" + boundary + "--\r\n";
  }
  return entity;
}

TEST(ReadMimeEntity, StaysWithinItsLimits) {
  Latin1Host host;
  // Too deep: the innermost level is shown as it came, nothing is lost.
  auto reading = ReadMimeEntity(Nested(4, "Content-Type: text/plain\r\n\r\ndeep"), kPrefix, host,
                                {2, 256, 1u << 20});
  ASSERT_TRUE(reading);
  EXPECT_TRUE(reading->incomplete);
  EXPECT_NE(reading->text.find("--n0\r\nContent-Type: text/plain\r\n\r\ndeep"), std::string::npos);

  // Too many parts: the first ones are read, the rest are not saved.
  std::string many = kMixed;
  for (int i = 0; i < 10; ++i) many += "--b1\r\nContent-Type: application/octet-stream\r\n\r\nx\r\n";
  reading = ReadMimeEntity(many + "--b1--\r\n", kPrefix, host, {16, 4, 1u << 20});
  ASSERT_TRUE(reading);
  EXPECT_TRUE(reading->incomplete);
  EXPECT_EQ(host.saved.size(), 3u);  // the multipart itself is a part

  // Too much text: cut, and still within the bound with the last line.
  const std::string longText = "Content-Type: text/plain\r\n\r\n" + std::string(100000, 'a');
  reading = ReadMimeEntity(longText, kPrefix, host, {16, 256, 4096});
  ASSERT_TRUE(reading);
  EXPECT_TRUE(reading->incomplete);
  EXPECT_LE(reading->text.size(), 4096u);
  EXPECT_NE(reading->text.find("it is shown as far as it could be read.]\r\n"), std::string::npos);
}

// --- the pieces -----------------------------------------------------------------

struct NameRow {
  std::string sender;
  std::string type;
  std::string safe;
};

class SafeAttachmentNameTest : public testing::TestWithParam<NameRow> {};

TEST_P(SafeAttachmentNameTest, NeverNamesAFolderDeviceOrStream) {
  const NameRow& row = GetParam();
  EXPECT_EQ(SafeAttachmentName(row.sender, row.type), row.safe);
  EXPECT_TRUE(IsPlainFileName(row.safe));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SafeAttachmentNameTest,
    testing::Values(NameRow{"report.pdf", "application/pdf", "report.pdf"},
                    NameRow{"../../etc/passwd", "", "passwd"},
                    NameRow{"C:\\Windows\\system32\\evil.dll", "", "evil.dll"},
                    NameRow{"C:evil.dll", "", "C_evil.dll"},
                    NameRow{"file.txt:Zone.Identifier:$DATA", "", "file.txt_Zone.Identifier_$DATA"},
                    NameRow{"a<b>c|d?e*f\"g\th\x7Fi", "", "a_b_c_d_e_f_g_h_i"},
                    NameRow{"CON", "", "_CON"}, NameRow{"nul.tar.gz", "", "_nul.tar.gz"},
                    NameRow{"Com1 .log", "", "_Com1.log"}, NameRow{"lpt\xB9.txt", "", "_lpt\xB9.txt"},
                    NameRow{"COM\xC2\xB2", "", "_COM\xC2\xB2"}, NameRow{"CONOUT$.x", "", "_CONOUT$.x"},
                    NameRow{"COM10.txt", "", "COM10.txt"}, NameRow{"console.txt", "", "console.txt"},
                    NameRow{"  name. . .", "", "name"}, NameRow{"..", "text/html", "message.html"},
                    NameRow{"", "application/pgp-signature", "signature.asc"},
                    NameRow{"/", "application/x-what", "attachment.bin"},
                    NameRow{std::string(300, 'n') + ".pdf", "", std::string(92, 'n') + ".pdf"},
                    NameRow{std::string(95, 'n') + " .pdf", "", std::string(92, 'n') + ".pdf"}));

TEST(NumberedAttachmentName, CutsTheStemNeverTheNumberOrExtension) {
  EXPECT_EQ(NumberedAttachmentName("report.pdf", 1, 260), "report.pdf");
  EXPECT_EQ(NumberedAttachmentName("report.pdf", 2, 260), "report (2).pdf");
  EXPECT_EQ(NumberedAttachmentName("report.pdf", 13, 13), "repo (13).pdf");
  EXPECT_EQ(NumberedAttachmentName("report", 3, 260), "report (3)");
  // A cut that would leave a device's name gets the '_' too.
  EXPECT_EQ(NumberedAttachmentName("COM1x.txt", 2, 12), "_COM (2).txt");
  EXPECT_EQ(NumberedAttachmentName("x.pdf", 2, 8), "");
}

TEST(FolderOfPath, KeepsTheSeparatorSoADriveStaysItsRoot) {
  EXPECT_EQ(FolderOfPath("C:\\Mail\\attach\\encrypted.asc"), "C:\\Mail\\attach\\");
  EXPECT_EQ(FolderOfPath("C:\\x.asc"), "C:\\");
  EXPECT_EQ(FolderOfPath("x.asc"), "");
}

TEST(CodePageOfCharset, KnowsTheNamesMailUses) {
  const std::pair<const char*, std::optional<uint32_t>> rows[] = {
      {"UTF-8", 65001},         {"utf8", 65001},          {"US-ASCII", 20127},
      {"ISO-8859-1", 28591},    {"iso_8859-1:1987", 28591}, {"ISO8859-15", 28605},
      {"latin1", 28591},        {"iso-8859-2", 28592},    {"iso-8859-11", 874},
      {"iso-8859-8-i", 38598},  {"iso-8859-10", std::nullopt}, {"iso-8859-1x", std::nullopt},
      {"Windows-1252", 1252},   {"CP1251", 1251},         {"x-cp1250", 1250},
      {"cp1259", std::nullopt}, {"KOI8-R", 20866},        {"koi8-u", 21866},
      {"Shift_JIS", 932},       {"GB2312", 936},          {"Big5", 950},
      {"utf-16", 1201},         {"UTF-16LE", 1200},       {"x-klingon", std::nullopt},
      {"", std::nullopt}};
  for (const auto& [name, codePage] : rows) EXPECT_EQ(CodePageOfCharset(name), codePage) << name;
}

TEST(TransferDecoding, Base64AndQuotedPrintableSayWhenBroken) {
  std::string out;
  EXPECT_TRUE(DecodeBase64("QU\r\nJD\r\nRA", out));  // padding missing: harmless
  EXPECT_EQ(out, "ABCD");
  out.clear();
  EXPECT_FALSE(DecodeBase64("QUJDR", out));  // a lone character at the end
  EXPECT_EQ(out, "ABC");
  out.clear();
  EXPECT_TRUE(DecodeBase64("QQ==QkM=", out));  // two encodings in a row
  EXPECT_EQ(out, "ABC");
  out.clear();
  EXPECT_TRUE(DecodeQuotedPrintable("a=3d=3D \t\nb=\r\nc=\n", out));
  EXPECT_EQ(out, "a==\r\nbc");
  out.clear();
  EXPECT_FALSE(DecodeQuotedPrintable("50% =XY and =4", out));
  EXPECT_EQ(out, "50% =XY and =4");
  // Every bare line feed grows by one: the output may be twice the input.
  out.clear();
  EXPECT_TRUE(DecodeQuotedPrintable(std::string(40, '\n') + "x  ", out));
  std::string lines;
  for (int i = 0; i < 40; ++i) lines += "\r\n";
  EXPECT_EQ(out, lines + "x");
}

// Base64 decoded with the lanes given: the bytes, and whether it was clean.
static std::pair<std::string, bool> DecodedBase64(const std::string& encoded, bool wideLanes) {
  std::string out(Base64Room(encoded.size()), '\0');
  bool clean = true;
  out.resize(DecodeBase64Into(encoded, out.data(), clean, wideLanes));
  return {out, clean};
}

// Long runs go through the vector path where the processor has one (and
// through the narrow one here too); lines of every length (also those that split a group of four) and junk between
// them must give back the bytes that were encoded.
TEST(TransferDecoding, Base64RoundTripsAtAnyLineLength) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string bytes;
  for (uint32_t seed = 1; bytes.size() < 3000;) {
    seed = seed * 1664525u + 1013904223u;
    bytes += static_cast<char>(seed >> 24);
  }
  for (size_t lineLength : {1u, 3u, 4u, 31u, 32u, 33u, 75u, 76u, 77u, 200u}) {
    std::string encoded;
    size_t column = 0;
    for (size_t i = 0; i < bytes.size(); i += 3) {
      const uint32_t group = static_cast<unsigned char>(bytes[i]) << 16 |
                             static_cast<unsigned char>(bytes[i + 1]) << 8 |
                             static_cast<unsigned char>(bytes[i + 2]);
      for (int k = 0; k < 4; ++k) {
        encoded += alphabet[group >> (18 - 6 * k) & 63];
        if (++column == lineLength) encoded += lineLength == 33 ? " \n" : "\r\n", column = 0;
      }
    }
    for (bool wide : {false, HasAvx2()}) {
      EXPECT_EQ(DecodedBase64(encoded, wide), std::make_pair(bytes, true)) << lineLength << " wide " << wide;
      // A character outside the alphabet in the middle of a long run is skipped.
      std::string broken = encoded;
      broken.insert(broken.size() / 2, "*");
      EXPECT_EQ(DecodedBase64(broken, wide), std::make_pair(bytes, false)) << lineLength << " wide " << wide;
    }
  }
}

// Text of every byte but CR and LF, encoded with escapes in either case,
// soft breaks (some with blanks after the '='), and hard breaks after which
// a transport added blanks, comes back as it was, with CR LF line breaks,
// through both lane widths.
TEST(TransferDecoding, QuotedPrintableRoundTripsThroughBothWidths) {
  static const char* hex[2] = {"0123456789ABCDEF", "0123456789abcdef"};
  uint32_t seed = 7;
  const auto next = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 16; };
  std::string expected, encoded;
  for (int line = 0; line < 300; ++line) {
    size_t column = 0;
    const size_t length = next() % 160;
    const size_t softAt = 20 + line % 57;
    for (size_t i = 0; i < length; ++i) {
      auto c = static_cast<unsigned char>(next() % 3 == 0 ? next() : 'a' + next() % 26);
      if (c == '\r' || c == '\n') c = 'x';
      expected += static_cast<char>(c);
      const bool lastOnLine = i + 1 == length;
      std::string piece(1, static_cast<char>(c));
      if (c == '=' || c >= 0x80 || c < 0x20 || ((c == ' ' || c == '\t') && lastOnLine))
        piece = {'=', hex[line & 1][c >> 4], hex[(line >> 1) & 1][c & 15]};
      if (column + piece.size() > softAt) {
        encoded += line % 5 == 0 ? "= \t\r\n" : "=\r\n";
        column = 0;
      }
      encoded += piece;
      column += piece.size();
    }
    expected += "\r\n";
    encoded += line % 3 == 0 ? " \t\n" : "\r\n";
  }
  for (bool wide : {false, HasAvx2()}) {
    std::string out(QuotedPrintableRoom(encoded.size()), '\0');
    bool clean = true;
    out.resize(DecodeQuotedPrintableInto(encoded, out.data(), clean, wide));
    EXPECT_TRUE(clean) << "wide " << wide;
    EXPECT_TRUE(out == expected) << "wide " << wide;
  }
}

TEST(StructuredValue, ReadsRfc2231AndComments) {
  StructuredValue value = ParseStructuredValue(
      "Text/Plain (a comment); charset=\"utf-8\" (UTF-8); name*=UTF-8'en'%E2%82%AC%20rates.txt;"
      " name=\"plain\"; title=\"a \\\"quoted\\\" word\"; broken");
  EXPECT_EQ(value.type, "text");
  EXPECT_EQ(value.subtype, "plain");
  ASSERT_TRUE(FindParameter(value, "charset"));
  EXPECT_EQ(FindParameter(value, "charset")->value, "utf-8");
  ASSERT_TRUE(FindParameter(value, "name"));
  EXPECT_EQ(FindParameter(value, "name")->value, "\xE2\x82\xAC rates.txt");
  EXPECT_EQ(FindParameter(value, "name")->charset, "UTF-8");
  EXPECT_EQ(FindParameter(value, "title")->value, "a \"quoted\" word");
  // A gap in the continuations ends the value.
  value = ParseStructuredValue("attachment; filename*0=\"a\"; filename*2=\"c\"; filename*1=\"b\"; "
                               "filename*4=\"e\"");
  EXPECT_EQ(FindParameter(value, "filename")->value, "abc");
}

struct HtmlRow {
  const char* name;
  std::string html;
  std::string text;
};

class HtmlToTextTest : public testing::TestWithParam<HtmlRow> {};

TEST_P(HtmlToTextTest, ShowsWhatABrowserWouldWrite) {
  EXPECT_EQ(HtmlToText(GetParam().html, [](uint32_t c) { return "<U+" + std::to_string(c) + ">"; }),
            GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HtmlToTextTest,
    testing::Values(
        HtmlRow{"BlanksCollapse", "  a \r\n  b\t\tc  ", "a b c\r\n"},
        HtmlRow{"Pre", "<pre>  a\n   b</pre>after", "  a\r\n   b\r\n\r\nafter\r\n"},
        HtmlRow{"Table", "<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>",
                "a\tb\r\nc\r\n"},
        HtmlRow{"Entities", "&lt;&AMP;&amp&#65;&#x42;&#0;&euro;&unknown; &#xD800;&",
                "<&AMP;&AB<U+65533><U+8364>&unknown; <U+65533>&\r\n"},
        HtmlRow{"QuotedAngle", "<a href=\"x>y\" title='>'>link</a> <b>bold</b>", "link bold\r\n"},
        HtmlRow{"HiddenToTheEnd", "before<script>never</scr", "before\r\n"},
        HtmlRow{"LiteralAngle", "1 < 2 <3", "1 < 2 <3\r\n"},
        HtmlRow{"Breaks", "<br><br>a<br><br><br><br><br>b", "a\r\n\r\n\r\nb\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
