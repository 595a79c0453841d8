// Encrypted mail as today's mail programs send it, received in the stand-in
// client and decoded by the module: a PGP/MIME message (its parts arrive as
// converted attachments) reads as mail, and an inline UTF-8 text shows in
// the client's character set.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/support/command_test.h"

namespace e2e {
namespace {


constexpr char kSamPublic[] = "pub Sam Sample <sam@example.org>\r\n";
constexpr char kHeaders[] =
    "From: Alice Example <alice@example.org>\r\nTo: Sam Sample <sam@example.org>\r\n"
    "Date: Mon, 3 Mar 2025 09:30:00 +0100\r\n";

// A text in the client's character set, as the module shows it.
std::string Ansi(const wchar_t* text) {
  char out[512];
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, out, sizeof out, "?", nullptr);
  return std::string(out, n > 0 ? static_cast<size_t>(n - 1) : 0);
}

// Bytes no text conversion may touch.
std::string BinaryData() {
  std::string data;
  for (int i = 0; i < 700; ++i) data += static_cast<char>((i * 7) & 0xFF);
  return data;
}

std::string Base64Lines(const std::string& data) {
  constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < data.size(); i += 3) {
    uint32_t v = static_cast<unsigned char>(data[i]) << 16;
    if (i + 1 < data.size()) v |= static_cast<unsigned char>(data[i + 1]) << 8;
    if (i + 2 < data.size()) v |= static_cast<unsigned char>(data[i + 2]);
    out += kAlphabet[v >> 18 & 63];
    out += kAlphabet[v >> 12 & 63];
    out += i + 1 < data.size() ? kAlphabet[v >> 6 & 63] : '=';
    out += i + 2 < data.size() ? kAlphabet[v & 63] : '=';
    if (out.size() % 78 == 76) out += "\r\n";
  }
  return out + "\r\n";
}

// What a mail program of today encrypts: protected headers, a UTF-8
// quoted-printable text and a binary attachment.
std::string InnerEntity() {
  return "Content-Type: multipart/mixed; protected-headers=\"v1\"; boundary=\"in\"\r\n"
         "Subject: =?utf-8?q?Gr=C3=BC=C3=9Fe_aus_K=C3=B6ln?=\r\n"
         "\r\n"
         "--in\r\n"
         "Content-Type: text/plain; charset=\"utf-8\"\r\n"
         "Content-Transfer-Encoding: quoted-printable\r\n"
         "\r\n"
         "Hallo Sam, Gr=C3=BC=C3=9Fe aus K=C3=B6ln!\r\n"
         "--in\r\n"
         "Content-Type: application/octet-stream\r\n"
         "Content-Disposition: attachment; filename=\"data.bin\"\r\n"
         "Content-Transfer-Encoding: base64\r\n"
         "\r\n" +
         Base64Lines(BinaryData()) +
         "--in--\r\n";
}

std::string PgpMimeMessage(const std::string& armoured) {
  return std::string(kHeaders) +
         "Subject: ...\r\nMIME-Version: 1.0\r\n"
         "Content-Type: multipart/encrypted; protocol=\"application/pgp-encrypted\"; boundary=\"out\"\r\n"
         "\r\n"
         "--out\r\nContent-Type: application/pgp-encrypted\r\n\r\nVersion: 1\r\n"
         "--out\r\nContent-Type: application/octet-stream; name=\"encrypted.asc\"\r\n"
         "Content-Disposition: inline; filename=\"encrypted.asc\"\r\n\r\n" +
         armoured + "\r\n--out--\r\n";
}

class TodaysMailTest : public CommandTest {
 protected:
  void StartWithAttachments() {
    WorkspaceOptions options = Session::QuickOptions();
    options.settings = QuickStartSettings("ConvertAttach=1\r\n");
    StartSession(options);
  }

  std::string Decode(HWND window, const std::string& shows) {
    const uidrive::MessageBoxInfo dialog = RunPgp();
    EXPECT_EQ(dialog.title, " PGP - Decode ");
    uidrive::Answer(dialog, "OK");
    return WaitForTextWith(window, "", shows);
  }
};

TEST_F(TodaysMailTest, APgpMimeMessageReadsAsMailWithItsAttachmentSaved) {
  StartWithAttachments();
  const std::string armoured =
      s().workspace.MakeWithPgp(kSamPublic, nullptr, InnerEntity(), "-aet input sam", "input.asc");
  const HWND window = OpenMessage("today.eml", PgpMimeMessage(armoured));
  const std::string before = Text(window);
  ASSERT_TRUE(Contains(before, "encrypted.asc\"")) << before;

  const std::string greeting = Ansi(L"Hallo Sam, Gr\u00fc\u00dfe aus K\u00f6ln!");
  const std::string after = Decode(window, greeting);
  EXPECT_TRUE(Contains(after, "[-- Quillnet: decrypted; not signed --]")) << after;
  EXPECT_TRUE(Contains(after, Ansi(L"Gr\u00fc\u00dfe aus K\u00f6ln"))) << "the protected subject";
  for (const char* mime : {"Content-Type", "--in", "quoted-printable", "=C3=BC", "protected-headers"})
    EXPECT_FALSE(Contains(after, mime)) << mime << " in\n" << after;

  const std::string saved = s().workspace.mail() + "\\attach\\data.bin";
  EXPECT_TRUE(Contains(after, "Attachment Converted: \"" + saved + "\"")) << after;
  EXPECT_EQ(ReadBytes(saved), BinaryData());

  uidrive::SendCommand(main(), kClientUndo, 0, 10000);
  EXPECT_EQ(WaitForText(mail(), window, "", [&](const std::string& t) { return t == before; }, 5000),
            before);
  EXPECT_EQ(ReadBytes(saved), BinaryData()) << "the saved attachment is the user's now";
  ExpectNoTemporaryFiles();
}

TEST_F(TodaysMailTest, AnInlineUtf8TextShowsInTheClientsCharacterSet) {
  StartSession();
  const std::string utf8 = "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln, \xC4\x80lice\r\n";
  const std::string armoured =
      s().workspace.MakeWithPgp(kSamPublic, nullptr, utf8, "-aet input sam", "input.asc");
  const HWND window = OpenMessage("inline.msg", std::string(kHeaders) + "Subject: x\r\n\r\n" + armoured);

  const std::string after = Decode(window, Ansi(L"Gr\u00fc\u00dfe aus K\u00f6ln, "));
  // A letter the code page lacks is a question mark, never a look-alike.
  const std::string shown = Ansi(L"Gr\u00fc\u00dfe aus K\u00f6ln, \u0100lice");
  EXPECT_TRUE(Contains(after, shown)) << after;
  EXPECT_FALSE(Contains(after, "\xC3")) << after;
  if (shown.find('?') != std::string::npos) {
    EXPECT_TRUE(Contains(after, "; 1 character not in the Windows character set shown as ? --]")) << after;
  }
}

}  // namespace
}  // namespace e2e
