// Mail as it arrives today (*.eml files, mbox files) shown the way the real
// client shows it: the text parts in the window in the ANSI character set,
// every other part saved in the folder's attachment folder and named on a
// converted-attachment line (string 1410 and the quoted full path).
#include <algorithm>

#include "testbed/mailclient/attachment_names.h"
#include "testbed/mailclient/client.h"
#include "testbed/mailclient/mail_text.h"
#include "testbed/mailclient/mime_mail.h"
#include "common/handles_win.h"

namespace {

// An mbox file may hold a year of mail; a single message is bounded by the
// reader's own limit.
constexpr uint64_t kLargestMbox = 256u << 20;
constexpr size_t kMostMessagesPerMbox = 10000;
// How far "name (n).ext" is counted before the client gives up on a name.
constexpr unsigned kMostNumberedNames = 100;

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EndsWithNoCase(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() &&
         std::equal(tail.begin(), tail.end(), text.end() - static_cast<ptrdiff_t>(tail.size()),
                    [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
}

bool IsMbox(const std::string& path) { return EndsWithNoCase(path, ".mbox"); }

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string FullPath(const std::string& path) {
  char full[MAX_PATH];
  const DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  return n > 0 && n < MAX_PATH ? std::string(full, n) : path;
}

// Windows' own tables, without best-fit: a character the ANSI code page
// lacks becomes '?' instead of a look-alike ("Ā" must not read as "A").
std::string ToClientCharset(std::string_view bytes, std::string_view charset) {
  const UINT codePage = mimemail::CodePageOfCharset(charset.empty() ? "us-ascii" : charset);
  if (codePage == 0 || bytes.empty() || bytes.size() > 0x7FFFFFFF) return std::string(bytes);
  // Text labelled US-ASCII that is not: its bytes are shown as they came.
  if (codePage == 20127 && std::any_of(bytes.begin(), bytes.end(), [](char c) { return c & 0x80; }))
    return std::string(bytes);
  const int size = static_cast<int>(bytes.size());
  const int wideLength = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
  if (wideLength <= 0) return std::string(bytes);
  std::wstring wide(static_cast<size_t>(wideLength), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), size, wide.data(), wideLength);
  const bool utf8Ansi = GetACP() == CP_UTF8;  // takes neither the flag nor a default character
  const DWORD flags = utf8Ansi ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* fallback = utf8Ansi ? nullptr : "?";
  const int length =
      WideCharToMultiByte(CP_ACP, flags, wide.data(), wideLength, nullptr, 0, fallback, nullptr);
  if (length <= 0) return std::string(bytes);
  std::string out(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, flags, wide.data(), wideLength, out.data(), length, fallback, nullptr);
  return out;
}

enum class Slot { Free, Same, Taken };

// What lies at `path`: nothing, a plain file with exactly these bytes (a
// message opened again), or anything else.
Slot Examine(const std::string& path, std::string_view bytes) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return GetLastError() == ERROR_FILE_NOT_FOUND ? Slot::Free : Slot::Taken;
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return Slot::Taken;
  UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  LARGE_INTEGER size{};
  if (!file || GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.get(), &size) ||
      static_cast<uint64_t>(size.QuadPart) != bytes.size())
    return Slot::Taken;
  std::string existing(bytes.size(), '\0');
  DWORD done = 0;
  if (!existing.empty() &&
      (!ReadFile(file.get(), existing.data(), static_cast<DWORD>(existing.size()), &done, nullptr) ||
       done != existing.size()))
    return Slot::Taken;
  return existing == bytes ? Slot::Same : Slot::Taken;
}

// Made exclusively: a file that appeared meanwhile is never written over.
bool WriteNewFile(const std::string& path, std::string_view bytes) {
  UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD done = 0;
  if (bytes.empty() ||
      (WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
       done == bytes.size()))
    return true;
  file.reset();
  DeleteFileA(path.c_str());
  SetLastError(ERROR_WRITE_FAULT);
  return false;
}

// The attachment under its safe name, or numbered when that is taken; the
// same bytes saved before under one of those names are that file again, so
// opening a message twice makes no second copy. Empty when it cannot be saved.
std::string SaveAttachment(const std::string& folder, const mimemail::Piece& piece) {
  if (piece.text.size() > 0x7FFFFFFF) return {};
  const std::string safe = attachnames::SafeFileName(piece.name, piece.type);
  for (unsigned n = 1; n <= kMostNumberedNames; ++n) {
    const std::string path = folder + "\\" + attachnames::NumberedName(safe, n);
    if (path.size() >= MAX_PATH) return {};
    switch (Examine(path, piece.text)) {
      case Slot::Same: return path;
      case Slot::Taken: continue;
      case Slot::Free:
        if (WriteNewFile(path, piece.text)) return path;
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) return {};
    }
  }
  return {};
}

std::string AttachmentLine(const std::string& folder, const mimemail::Piece& piece) {
  const std::string path = folder.empty() ? std::string() : SaveAttachment(folder, piece);
  if (path.empty())
    return "[The attachment \"" + attachnames::SafeFileName(piece.name, piece.type) +
           "\" could not be saved.]";
  return AttachmentPrefix() + "\"" + path + "\"";
}

// The attachment folder beside the message, made when the first attachment
// needs it; empty when there is none and none can be made.
std::string AttachmentFolder(const std::string& messagePath) {
  const std::string folder = FullPath(FolderOf(messagePath)) + "\\attach";
  CreateDirectoryA(folder.c_str(), nullptr);
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? folder
                                                                                           : std::string();
}

bool ReadMessages(const std::string& path, std::string& file, std::vector<std::string_view>& messages) {
  if (!IsMbox(path)) {
    if (!ReadWholeFile(path, file, mimemail::Limits{}.messageBytes)) return false;
    messages.assign(1, file);
    return true;
  }
  if (!ReadWholeFile(path, file, kLargestMbox)) return false;
  messages = mimemail::SplitMbox(file, kMostMessagesPerMbox);
  return true;
}

}  // namespace

bool IsReceivedMailFile(const std::string& path) {
  return EndsWithNoCase(path, ".eml") || IsMbox(path);
}

std::vector<MailboxEntry> ReceivedMailEntries(const std::string& folder, const std::string& file) {
  std::string bytes;
  std::vector<std::string_view> messages;
  std::vector<MailboxEntry> entries;
  if (!ReadMessages(folder + "\\" + file, bytes, messages)) return entries;
  for (size_t i = 0; i < messages.size(); ++i) {
    MailboxEntry entry{file, IsMbox(file) ? i + 1 : 0, {}, {}};
    entry.from = mimemail::DecodedHeader(messages[i], "From", ToClientCharset);
    entry.subject = mimemail::DecodedHeader(messages[i], "Subject", ToClientCharset);
    entries.push_back(std::move(entry));
  }
  return entries;
}

bool ShowReceivedMail(const std::string& path, size_t message, MessageShown& shown, std::string& error) {
  std::string bytes;
  std::vector<std::string_view> messages;
  if (!ReadMessages(path, bytes, messages)) {
    error = "Cannot read the message " + path;
    return false;
  }
  const size_t index = message == 0 ? 0 : message - 1;
  if (index >= messages.size()) {
    error = "There is no message " + std::to_string(message) + " in " + path;
    return false;
  }
  const mimemail::ShownMail mail = mimemail::ReadMail(messages[index], ToClientCharset);
  std::string folder;
  bool folderTried = false;
  shown.text = mailtext::ToCrlf(mimemail::WindowText(mail, [&](const mimemail::Piece& piece) {
    if (!folderTried) folder = AttachmentFolder(path);
    folderTried = true;
    return AttachmentLine(folder, piece);
  }));
  shown.title = mailtext::HeaderValue(shown.text, "Subject");
  return true;
}
