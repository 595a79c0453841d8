// What ReadMimeEntity needs of Windows: charsets converted to the client's
// ANSI code page with the code-page functions, and parts saved as new files
// in the client's attachment folder.
//
// Conversion: the charset's code page (CodePageOfCharset) through
// MultiByteToWideChar, then WideCharToMultiByte(CP_ACP) without best fit,
// so a character the ANSI code page lacks is '?' and counted ("Ālice" must
// not turn into "Alice", a name that was never sent). UTF-16 is read here,
// since MultiByteToWideChar does not take it. A charset without a code page,
// or a code page the system lacks, gives nullopt.
//
// Saving: the name must still be a plain file name (IsPlainFileName), the
// file is created exclusively (CREATE_NEW), a name taken already gets
// " (2)", " (3)"… up to 100 tries, and the whole path is at most 127
// characters: the module follows attachment lines only that long, and a
// longer one would stop the next Run PGP on the message. The path is
// checked to be the folder's own (GetFullPathName changes nothing of it).
// A file that could not be written whole is removed again.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "command/mime_reading.h"

class WinMimeHost final : public MimeHost {
 public:
  // `attachmentFolder`: the full path of the folder parts are saved in (the
  // folder of the attachment file PGP decoded); empty when there is none,
  // and nothing is then saved. `attachmentPrefix`: the client's
  // AttachmentPrefix, which begins every line SaveAttachment returns.
  WinMimeHost(std::string attachmentFolder, std::string attachmentPrefix);

  std::optional<std::string> ConvertCharset(std::string_view charset, std::string_view bytes,
                                            size_t& unmappable) override;
  std::optional<std::string> SaveAttachment(const std::string& safeName, std::string_view data,
                                            std::string& why) override;

 private:
  std::string folder_;
  std::string prefix_;
};
