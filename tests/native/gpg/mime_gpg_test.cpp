// Today's PGP/MIME mail end to end on the native side: messages built by
// Python's email package (a MIME library independent of ours), encrypted by
// real gpg, decoded by pgp2gpg as the module runs it, then read by
// ReadMimeEntity with a host whose client character set is Latin-1. What a
// reader shows must hold the texts and none of the MIME, and an attachment
// must come out byte for byte as it went in.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "command/mime_reading.h"
#include "command/result_marking.h"
#include "gpg_home.h"

namespace {

using pgp2gpg::testing_support::GpgHome;
using pgp2gpg::testing_support::ProcessResult;
using pgp2gpg::testing_support::ReadWholeFile;
using pgp2gpg::testing_support::RunProcess;
using pgp2gpg::testing_support::WriteWholeFile;

const std::string kPrefix = "Attachment Converted: ";
const std::string kPass = "bob's pass";

// Writes one <name>.eml per message into the folder it is given, and the
// attachment's bytes into attachment.bin.
const char* const kMessages = R"PY(
import os, sys
from email.header import Header
from email.message import EmailMessage
from email.mime.application import MIMEApplication
from email.mime.message import MIMEMessage
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText
from email.policy import SMTP, compat32

out = sys.argv[1]
def save(name, message):
    # Line ends as on the wire (RFC 3156 signs and encrypts canonical text).
    policy = SMTP if isinstance(message, EmailMessage) else compat32.clone(linesep='\r\n')
    with open(os.path.join(out, name + '.eml'), 'wb') as f:
        f.write(message.as_bytes(policy=policy))

blob = bytes(range(256)) * 300 + b'\r\n\n\r--end'
with open(os.path.join(out, 'attachment.bin'), 'wb') as f:
    f.write(blob)

m = EmailMessage()
m.set_content('Gr\u00fc\u00dfe aus K\u00f6ln, \u0100lice. ' * 3 + '\n>From the desk\n'
              'Attachment Converted: "C:\\Windows\\evil.exe"\n', charset='utf-8', cte='quoted-printable')
m.add_attachment(blob, maintype='application', subtype='pdf', filename='R\u00e9sum\u00e9 2024.pdf')
m.add_attachment(b'not a console', maintype='application', subtype='octet-stream', filename='..\\..\\CON.txt')
save('text_and_attachments', m)

m = EmailMessage()
m.set_content('The plain alternative.\n')
m.add_alternative('<p>The <b>HTML</b> alternative.</p>', subtype='html')
save('alternative', m)

m = EmailMessage()
m.set_content('<html><head><style>p {color: red}</style></head><body><p>Only&nbsp;HTML &amp; '
              'entities &#8364;</p><script>steal()</script></body></html>', subtype='html')
save('html_only', m)

inner = EmailMessage()
inner['From'] = 'J\u00fcrgen <juergen@example.org>'
inner['To'] = 'alice@example.org'
inner['Subject'] = 'Gr\u00fc\u00dfe vom Rhein'
inner['Date'] = 'Mon, 01 Jan 2024 10:00:00 +0000'
inner.set_content('The forwarded words.\n')
outer = MIMEMultipart('mixed')
outer.attach(MIMEText('See the message below.\n', 'plain', 'utf-8'))
outer.attach(MIMEMessage(inner))
save('forwarded', outer)

root = MIMEMultipart('mixed', protected_headers='v1')
root['Subject'] = Header('The real subject \u2713', 'utf-8')
root['From'] = 'Alice <alice@example.org>'
legacy = MIMEText('Subject: The real subject\n', 'rfc822-headers', 'utf-8')
legacy.set_param('protected-headers', 'v1')
legacy['Content-Disposition'] = 'inline'
root.attach(legacy)
root.attach(MIMEText('Under a protected subject.\n', 'plain', 'utf-8'))
save('protected_headers', root)

signed = MIMEMultipart('signed', protocol='application/pgp-signature', micalg='pgp-sha256')
signed.attach(MIMEText('Signed inside.\n', 'plain', 'utf-8'))
signed.attach(MIMEApplication('-----BEGIN PGP SIGNATURE-----\n\niQ==\n-----END PGP SIGNATURE-----\n',
                              'pgp-signature', name='signature.asc'))
save('nested_signed', signed)

m = EmailMessage()
m.set_content('Before the cut.\n')
m.add_attachment(blob, maintype='application', subtype='octet-stream', filename='cut.bin')
whole = m.as_bytes(policy=SMTP)
with open(os.path.join(out, 'truncated.eml'), 'wb') as f:
    f.write(whole[:len(whole) * 2 // 3])
)PY";

struct SavedPart {
  std::string name;
  std::string data;
};

class Latin1Host : public MimeHost {
 public:
  std::optional<std::string> ConvertCharset(std::string_view charset, std::string_view bytes,
                                            size_t& unmappable) override {
    std::string name(charset);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
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
                                            std::string&) override {
    saved.push_back({safeName, std::string(data)});
    return kPrefix + "\"C:\\Mail\\attach\\" + safeName + "\"";
  }
  std::vector<SavedPart> saved;
};

class MimeThroughGpg : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    home_ = new GpgHome();
    home_->AddUser("Bob <bob@example.org>", kPass);
    WriteWholeFile(home_->dir() + "/messages.py", kMessages);
    const ProcessResult made =
        RunProcess({"python3", home_->dir() + "/messages.py", home_->dir()}, home_->Environment());
    ASSERT_EQ(made.exitCode, 0) << made.output;
  }
  static void TearDownTestSuite() {
    delete home_;
    home_ = nullptr;
  }

  // The message encrypted to Bob by gpg, decoded by pgp2gpg: PGP's output.
  static std::string Decoded(const std::string& name) {
    const std::string work = home_->dir() + "/" + name;
    std::filesystem::create_directory(work);
    const ProcessResult encrypted =
        home_->Gpg({"--armor", "--trust-model", "always", "--recipient", "bob@example.org", "--output",
                    work + "/quillnet.asc", "--encrypt", home_->dir() + "/" + name + ".eml"});
    EXPECT_EQ(encrypted.exitCode, 0) << encrypted.output;
    const ProcessResult decoded = RunProcess({PGP2GPG_EXE, work + "/quillnet.asc"},
                                             home_->Environment({"PGPPASS=" + kPass}), work);
    EXPECT_EQ(decoded.exitCode, 0) << decoded.output;
    return ReadWholeFile(work + "/quillnet");
  }

  struct Read {
    MimeReading reading;
    std::vector<SavedPart> saved;
  };
  static Read ReadMessage(const std::string& name) {
    const std::string output = Decoded(name);
    EXPECT_TRUE(IsMimeEntity(output)) << output.substr(0, 200);
    Latin1Host host;
    std::optional<MimeReading> reading = ReadMimeEntity(output, kPrefix, host);
    EXPECT_TRUE(reading.has_value());
    if (!reading) return {};
    // No MIME in sight: no header of a part, no boundary, no encoding.
    for (const char* mime : {"Content-Type", "Content-Transfer-Encoding", "MIME-Version", "--===", "=C3"})
      EXPECT_EQ(reading->text.find(mime), std::string::npos) << mime << " in\n" << reading->text;
    return {std::move(*reading), std::move(host.saved)};
  }

  static inline GpgHome* home_ = nullptr;
};

TEST_F(MimeThroughGpg, ReadsWhatOtherMailProgramsSend) {
  const std::string blob = ReadWholeFile(home_->dir() + "/attachment.bin");
  {
    SCOPED_TRACE("text_and_attachments");
    const Read read = ReadMessage("text_and_attachments");
    EXPECT_NE(read.reading.text.find("Gr\xFC\xDF" "e aus K\xF6ln, ?lice."), std::string::npos);
    EXPECT_NE(read.reading.text.find("\r\n>From the desk\r\n"), std::string::npos);
    EXPECT_NE(read.reading.text.find("\r\n" + std::string(kDefuseTag) + "Attachment Converted: \"C:\\Windows\\evil.exe\""),
              std::string::npos);
    EXPECT_EQ(read.reading.unmappable, 3u);
    ASSERT_EQ(read.saved.size(), 2u);
    EXPECT_EQ(read.saved[0].name, "R\xE9sum\xE9 2024.pdf");
    EXPECT_TRUE(read.saved[0].data == blob) << "the attachment is not byte for byte what was sent";
    EXPECT_EQ(read.saved[1].name, "_CON.txt");
    EXPECT_NE(read.reading.text.find("\r\n" + kPrefix + "\"C:\\Mail\\attach\\R\xE9sum\xE9 2024.pdf\"\r\n"),
              std::string::npos);
  }
  {
    SCOPED_TRACE("alternative");
    const Read read = ReadMessage("alternative");
    EXPECT_EQ(read.reading.text, "The plain alternative.\r\n");
    EXPECT_TRUE(read.saved.empty());
  }
  {
    SCOPED_TRACE("html_only");
    const Read read = ReadMessage("html_only");
    EXPECT_EQ(read.reading.text.substr(0, 32), "Only HTML & entities ?\r\n" + kPrefix.substr(0, 8));
    ASSERT_EQ(read.saved.size(), 1u);
    EXPECT_EQ(read.saved[0].name, "message.html");
    EXPECT_NE(read.saved[0].data.find("<script>steal()</script>"), std::string::npos);
  }
  {
    SCOPED_TRACE("forwarded");
    const Read read = ReadMessage("forwarded");
    EXPECT_NE(read.reading.text.find("See the message below.\r\n\r\n---------- Forwarded message ----------\r\n"
                                     "From: J\xFCrgen <juergen@example.org>\r\nTo: alice@example.org\r\n"
                                     "Date: Mon, 01 Jan 2024 10:00:00 +0000\r\nSubject: Gr\xFC\xDF" "e vom Rhein\r\n"
                                     "\r\nThe forwarded words.\r\n---------- End of forwarded message"),
              std::string::npos);
  }
  {
    SCOPED_TRACE("protected_headers");
    const Read read = ReadMessage("protected_headers");
    EXPECT_EQ(read.reading.text, "From: Alice <alice@example.org>\r\nSubject: The real subject ?\r\n\r\n"
                                 "Under a protected subject.\r\n");
  }
  {
    SCOPED_TRACE("nested_signed");
    const Read read = ReadMessage("nested_signed");
    EXPECT_TRUE(read.reading.innerSignature);
    EXPECT_EQ(read.reading.text.substr(0, 16), "Signed inside.\r\n");
    ASSERT_EQ(read.saved.size(), 1u);
    EXPECT_EQ(read.saved[0].name, "signature.asc");
  }
  {
    SCOPED_TRACE("truncated");
    const Read read = ReadMessage("truncated");
    EXPECT_TRUE(read.reading.incomplete);
    EXPECT_EQ(read.reading.text.substr(0, 17), "Before the cut.\r\n");
    ASSERT_EQ(read.saved.size(), 1u);
    EXPECT_EQ(blob.compare(0, read.saved[0].data.size(), read.saved[0].data), 0);
  }
}

}  // namespace
