// The names under which a part of a decoded message is saved in the client's
// attachment folder. The sender chooses the name (a filename or name
// parameter), so it is hostile: it must not pick another folder, a device,
// a stream, or a name the file system reads differently from how it is
// shown. Pure; the Win32 host creates the file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The longest name SafeAttachmentName makes, extension included: long
// enough for real names, short enough to leave room for the folder in a
// path the client and the module both take.
constexpr size_t kAttachmentNameMax = 96;

// The name a part may be saved under, from the sender's name (already in
// the client's character set, RFC 2231/2047 decoding done):
// - only its last path component ('/' and '\\' both separate);
// - every control character (0-31, 127) and each of <>:"/\|?* becomes '_'
//   (':' would name a stream or a drive);
// - blanks before the name, and dots and blanks after it, are dropped;
// - a name whose stem (up to its first dot or blank) is a device name (CON,
//   PRN, AUX, NUL, COM0-9, LPT0-9 also with the superscript digits, CONIN$,
//   CONOUT$, CLOCK$; any case, any extension) gets '_' before it;
// - at most kAttachmentNameMax characters: the stem is cut, an extension of
//   up to 16 characters is kept;
// - an empty result becomes a name after the content type ("message.html",
//   "signature.asc", "attachment.pdf"; "attachment.bin" when unknown).
std::string SafeAttachmentName(std::string_view senderName, std::string_view contentType);

// The name for the `number`th try at saving `safeName` when the earlier
// names were taken: "report.pdf", then "report (2).pdf", "report (3).pdf".
// At most `maxLength` characters: the stem is cut (never the extension or
// the number); empty when not even one character of the stem fits.
std::string NumberedAttachmentName(std::string_view safeName, int number, size_t maxLength);

// The folder a file is in, with its last separator ("C:\\Mail\\attach\\" of
// "C:\\Mail\\attach\\encrypted.asc"; "C:\\" of "C:\\x.asc", never the bare
// "C:", which names the drive's current folder); empty when the path has no
// separator. The folder of the attachment file PGP decoded is where the
// client keeps attachments, so its parts go there too.
std::string FolderOfPath(std::string_view path);

// Whether the system takes a file name (one path component) for a device,
// whatever follows its stem after a dot or a blank ("nul.txt", "COM1 .log",
// "com\xB9"): CON, PRN, AUX, NUL, CONIN$, CONOUT$, CLOCK$, COM0-9 and
// LPT0-9, the digit also a superscript (Windows-1252 or UTF-8), any case.
bool IsDeviceName(std::string_view name);

// Whether a file name made by SafeAttachmentName or NumberedAttachmentName
// is still one the file system takes as a plain file in the folder: not
// empty, no separator, reserved or control character, no trailing dot or
// blank, no device name. The host checks it again before it creates a file.
bool IsPlainFileName(std::string_view name);
