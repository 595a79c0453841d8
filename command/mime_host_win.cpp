#include "command/mime_host_win.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <utility>

#include "command/attachment_name.h"
#include "command/charset_names.h"
#include "common/handles_win.h"
#include "core/command_state.h"

namespace {

constexpr size_t kPathMax = kPathSize - 1;
constexpr int kNameTries = 100;
constexpr DWORD kWriteChunk = 1u << 20;
// The code-page functions count in int; no text part comes near this.
constexpr size_t kConvertMax = INT_MAX / 4;

// UTF-16 as the part says it, a byte order mark winning over the name.
std::wstring Utf16ToWide(uint32_t codePage, std::string_view bytes) {
  bool bigEndian = codePage == kCodePageUtf16Be;
  if (bytes.size() >= 2) {
    const auto first = static_cast<unsigned char>(bytes[0]);
    const auto second = static_cast<unsigned char>(bytes[1]);
    if ((first == 0xFF && second == 0xFE) || (first == 0xFE && second == 0xFF)) {
      bigEndian = first == 0xFE;
      bytes.remove_prefix(2);
    }
  }
  std::wstring wide(bytes.size() / 2, L'\0');
  for (size_t i = 0; i < wide.size(); ++i) {
    const auto a = static_cast<unsigned char>(bytes[2 * i]);
    const auto b = static_cast<unsigned char>(bytes[2 * i + 1]);
    wide[i] = static_cast<wchar_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
  }
  if (bytes.size() % 2 != 0) wide += L'\xFFFD';  // a cut character
  return wide;
}

std::optional<std::wstring> ToWide(uint32_t codePage, std::string_view bytes) {
  if (codePage == kCodePageUtf16Le || codePage == kCodePageUtf16Be) return Utf16ToWide(codePage, bytes);
  if (!IsValidCodePage(codePage)) return std::nullopt;
  if (bytes.empty()) return std::wstring();
  const int length = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()),
                                         nullptr, 0);
  if (length <= 0) return std::nullopt;
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), length);
  return wide;
}

// The text in the ANSI code page; every character it lacks is '?', counted
// as the '?' that were not in the text before.
std::optional<std::string> ToAnsi(const std::wstring& wide, size_t& unmappable) {
  if (wide.empty()) return std::string();
  // UTF-8 as the ANSI code page takes no best-fit flag and no default character.
  const bool utf8 = GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* defaultChar = utf8 ? nullptr : "?";
  const int wideLength = static_cast<int>(wide.size());
  const int length = WideCharToMultiByte(CP_ACP, flags, wide.data(), wideLength, nullptr, 0, defaultChar,
                                         nullptr);
  if (length <= 0) return std::nullopt;
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, flags, wide.data(), wideLength, text.data(), length, defaultChar, nullptr);
  const auto shown = static_cast<size_t>(std::count(text.begin(), text.end(), '?'));
  const auto sent = static_cast<size_t>(std::count(wide.begin(), wide.end(), L'?'));
  if (shown > sent) unmappable += shown - sent;
  return text;
}

std::string SystemMessage(DWORD code) {
  char buffer[256] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                      code, 0, buffer, sizeof buffer, nullptr);
  std::string text(buffer, length);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == '.' ||
                           text.back() == ' '))
    text.pop_back();
  return text.empty() ? "Windows error " + std::to_string(code) : text;
}

// The folder as the system names it, with one backslash at its end.
std::optional<std::string> FullFolder(const std::string& folder) {
  char full[MAX_PATH];
  const DWORD length = GetFullPathNameA(folder.c_str(), sizeof full, full, nullptr);
  if (length == 0 || length >= sizeof full) return std::nullopt;
  std::string path(full, length);
  if (path.back() != '\\') path += '\\';
  return path;
}

// Whether the system reads `path` as exactly that file: nothing of it is
// dropped or rewritten on the way (trailing dots, blanks, "..").
bool IsItsOwnPath(const std::string& path) {
  char full[MAX_PATH];
  const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  return length > 0 && length < sizeof full && path == std::string(full, length);
}

bool WriteWhole(HANDLE file, std::string_view data) {
  while (!data.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size(), kWriteChunk));
    DWORD written = 0;
    if (!WriteFile(file, data.data(), chunk, &written, nullptr) || written == 0) return false;
    data.remove_prefix(written);
  }
  return true;
}

bool NameIsTaken(DWORD error, const std::string& path) {
  if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return true;
  // A folder of that name refuses access rather than saying it exists.
  return error == ERROR_ACCESS_DENIED && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

WinMimeHost::WinMimeHost(std::string attachmentFolder, std::string attachmentPrefix)
    : folder_(std::move(attachmentFolder)), prefix_(std::move(attachmentPrefix)) {}

std::optional<std::string> WinMimeHost::ConvertCharset(std::string_view charset, std::string_view bytes,
                                                       size_t& unmappable) {
  const std::optional<uint32_t> codePage = CodePageOfCharset(charset);
  if (!codePage || bytes.size() > kConvertMax) return std::nullopt;
  const std::optional<std::wstring> wide = ToWide(*codePage, bytes);
  if (!wide) return std::nullopt;
  return ToAnsi(*wide, unmappable);
}

std::optional<std::string> WinMimeHost::SaveAttachment(const std::string& safeName, std::string_view data,
                                                       std::string& why) {
  if (folder_.empty()) {
    why = "no attachment folder";
    return std::nullopt;
  }
  if (!IsPlainFileName(safeName)) {
    why = "not a plain file name";
    return std::nullopt;
  }
  const std::optional<std::string> folder = FullFolder(folder_);
  if (!folder || folder->size() >= kPathMax) {
    why = "the attachment folder's path is too long";
    return std::nullopt;
  }
  for (int number = 1; number <= kNameTries; ++number) {
    const std::string name = NumberedAttachmentName(safeName, number, kPathMax - folder->size());
    const std::string path = *folder + name;
    if (name.empty() || !IsPlainFileName(name) || !IsItsOwnPath(path)) {
      why = "no name for it fits the attachment folder";
      return std::nullopt;
    }
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      const DWORD error = GetLastError();
      if (NameIsTaken(error, path)) continue;
      why = SystemMessage(error);
      return std::nullopt;
    }
    if (!WriteWhole(file.get(), data)) {
      why = SystemMessage(GetLastError());
      file.reset();
      DeleteFileA(path.c_str());
      return std::nullopt;
    }
    return prefix_ + "\"" + path + "\"";
  }
  why = std::to_string(kNameTries) + " files of that name are there already";
  return std::nullopt;
}
