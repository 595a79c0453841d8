// The Win32 host of the MIME reading on a real system: charsets through the
// code-page functions into the ANSI code page (Windows-1252 here) without
// best fit, and parts saved as new files that never overwrite one.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "command/attachment_name.h"
#include "command/mime_host_win.h"
#include "command/mime_reading.h"
#include "tests/win/support/scratch_files.h"

namespace {

const std::string kPrefix = "Attachment Converted: ";

TEST(WinMimeHost, ConvertsToTheAnsiCodePageWithoutBestFit) {
  ASSERT_EQ(GetACP(), 1252u) << "the expectations are Windows-1252's";
  WinMimeHost host("", kPrefix);
  const struct {
    const char* charset;
    std::string bytes;
    std::optional<std::string> ansi;
    size_t unmappable;
  } rows[] = {
      {"UTF-8", "Gr\xC3\xBC\xC3\x9F" "e?", "Gr\xFC\xDF" "e?", 0},
      // A best fit would make this "Alice"; no such sender wrote.
      {"utf-8", "\xC4\x80lice", "?lice", 1},
      {"iso-8859-15", "\xA4", "\x80", 0},  // the euro sign has another byte in each
      {"KOI8-R", "\xF0\xD2\xC9\xD7\xC5\xD4", "??????", 6},
      {"UTF-16", std::string("\xFF\xFEh\0i\0", 6), "hi", 0},
      {"utf-16", std::string("\0h\0i", 4), "hi", 0},  // big-endian without a mark
      {"x-klingon", "Q\xF1pla", std::nullopt, 0},
  };
  for (const auto& row : rows) {
    size_t unmappable = 0;
    EXPECT_EQ(host.ConvertCharset(row.charset, row.bytes, unmappable), row.ansi) << row.charset;
    EXPECT_EQ(unmappable, row.unmappable) << row.charset;
  }
}

TEST(WinMimeHost, SavesNewFilesOnlyAndNeverADevice) {
  ScratchFolder folder;
  ASSERT_TRUE(WriteFileBytes(folder / "report.pdf", "the user's own"));
  WinMimeHost host(folder.path(), kPrefix);
  std::string why;
  const std::string data("%PDF\0\r\n\xFF", 8);

  EXPECT_EQ(host.SaveAttachment("report.pdf", data, why), kPrefix + "\"" + (folder / "report (2).pdf") + "\"");
  EXPECT_EQ(host.SaveAttachment("report.pdf", "again", why), kPrefix + "\"" + (folder / "report (3).pdf") + "\"");
  EXPECT_EQ(FileBytes(folder / "report.pdf"), "the user's own");
  EXPECT_EQ(FileBytes(folder / "report (2).pdf"), data);

  // A device name never reaches CreateFile; SafeAttachmentName's form of it saves.
  EXPECT_EQ(host.SaveAttachment("con.txt", "x", why), std::nullopt);
  EXPECT_EQ(host.SaveAttachment(SafeAttachmentName("con.txt", ""), "x", why),
            kPrefix + "\"" + (folder / "_con.txt") + "\"");

  // The path stays short enough for the module to follow the line later.
  std::string deep = folder.path();
  while (deep.size() < 110) {
    deep += "\\deeper";
    CreateDirectoryA(deep.c_str(), nullptr);
  }
  WinMimeHost deepHost(deep, kPrefix);
  const std::optional<std::string> line = deepHost.SaveAttachment(std::string(60, 'n') + ".pdf", "x", why);
  ASSERT_TRUE(line) << why;
  EXPECT_LE(line->size() - kPrefix.size() - 2, 127u);
  EXPECT_EQ(line->substr(line->size() - 5), ".pdf\"");

  WinMimeHost noFolder("", kPrefix);
  EXPECT_EQ(noFolder.SaveAttachment("report.pdf", data, why), std::nullopt);
  EXPECT_EQ(why, "no attachment folder");
}

// Lines long enough for the vector path of base64, where the processor has one.
TEST(WinMimeHost, ReadsADecodedMessageIntoTheFolder) {
  std::string base64Lines, pdf;
  for (int line = 0; line < 3; ++line) {
    for (int group = 0; group < 6; ++group) base64Lines += "JVBERi0xLjQK", pdf += "%PDF-1.4\n";
    base64Lines += "\r\n";
  }
  ScratchFolder folder;
  WinMimeHost host(folder.path(), kPrefix);
  const std::optional<MimeReading> reading = ReadMimeEntity(
      "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
      "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
      "Gr=C3=BC=C3=9Fe\r\n--b\r\nContent-Type: application/pdf\r\n"
      "Content-Disposition: attachment; filename*=utf-8''%C3%BCber.pdf\r\n"
      "Content-Transfer-Encoding: base64\r\n\r\n" + base64Lines + "--b--\r\n",
      kPrefix, host);
  ASSERT_TRUE(reading);
  EXPECT_EQ(reading->text, "Gr\xFC\xDF" "e\r\n" + kPrefix + "\"" + (folder / "\xFC" "ber.pdf") + "\"\r\n");
  EXPECT_EQ(FileBytes(folder / "\xFC" "ber.pdf"), pdf);
}

}  // namespace
