// The automation channel of the stand-in mail client, shared by the client
// (which serves it) and uidrive (which speaks it). Tests and the demo use it
// to open messages and compositions and to look into the client's state
// without depending on focus, timing or cross-process window calls, which
// Wine does not support for every kind of object (menus, for one).
//
// Transport. A request is a WM_COPYDATA sent to the main window
// ("EudoraMainWindow") with dwData = kRequestTag and the request text as
// data (no terminating NUL needed). SendMessage returns 1 when the command
// succeeded and 0 when it failed (or the window does not know the channel).
// The reply goes where the request asks for it:
//   reply=<window>       WM_COPYDATA with dwData = kReplyTag and the reply
//                        text, sent to that window before the request returns
//                        (the sender's thread takes it while it waits);
//   result-file=<path>   the reply text written to that file.
//
// Long texts travel in parts, because Wine loses a WM_COPYDATA of more than
// about a megabyte between processes: a request or reply longer than
// kPartSize is cut into parts of kPartSize bytes; every part but the last is
// sent with the "part" tag (kRequestPartTag, kReplyPartTag), the last with
// the ordinary tag, and the receiver joins them in order. Request parts are
// kept per sender (the wParam of WM_COPYDATA, the reply window).
//
// Text format (request and reply alike). The first line is the verb (in a
// reply "ok" or "error"); every further line is "name=value". In values,
// backslash escapes stand for what cannot appear on one line: \\ \n \r \t.
// Names may repeat (lists). Window handles are written as 0x<hex>.
//
// Verbs (fields of the request -> fields of an "ok" reply):
//   ping                                  -> main, folder, pid
//   open     file=<path> | text=<message> [title=]
//                                         -> window (frame), edit
//   compose  to= cc= bcc= from= subject= body=, each also as <name>-file=<path>
//                                         -> window, form, to, from, subject,
//                                            cc, bcc, body, status
//   focus    [window=] field=to|from|subject|cc|bcc|body|view | target=<edit>
//                                         -> focus
//   text     [window=] [field=] | target=<window>
//                                         -> text, length, sel-start, sel-end, field
//   settext  [window=] [field=] | target=  text=           -> (none)
//   select   [window=] [field=] | target=  start= end=   -> (none)
//   state    [window=]                    -> window, kind, changed, title, focus
//   windows                               -> window=<handle> <kind> <changed> <title>, repeated
//   close    [window=]                    -> (none)
//   menu                                  -> item=<path>\t<id>\t<flags>\t<text>, repeated
//   mailbox                               -> entry=<file name>\t<from>\t<subject>, repeated
// Without window= the active child window is meant. kind is message,
// composition or info; changed is 0 or 1. A menu path is the positions from
// the menu bar down, joined by '.'; id is 0x<hex> or "popup"; flags is a
// comma-separated subset of popup, separator, grayed, disabled, checked (or
// "enabled"). An "error" reply has the field message.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace automation {

inline constexpr unsigned long kRequestTag = 0x51415551;  // "QUAQ"
inline constexpr unsigned long kReplyTag = 0x51415552;    // "RUAQ"
inline constexpr unsigned long kRequestPartTag = 0x51415051;  // "QPAQ"
inline constexpr unsigned long kReplyPartTag = 0x51415052;    // "RPAQ"
inline constexpr size_t kPartSize = 256 * 1024;
// A request that grows beyond this is dropped: nobody needs to send more.
inline constexpr size_t kMaxRequestSize = 256 * 1024 * 1024;

struct Message {
  std::string verb;
  std::vector<std::pair<std::string, std::string>> fields;

  bool Has(std::string_view name) const;
  // The first value of the field, or empty.
  std::string Get(std::string_view name) const;
  std::vector<std::string> All(std::string_view name) const;
  Message& Add(std::string name, std::string value);
};

std::string Escape(std::string_view value);
std::string Unescape(std::string_view value);

std::string Encode(const Message& message);
// Empty when the text has no verb line or a field line without '='.
std::optional<Message> Decode(std::string_view text);

std::string FormatHandle(std::uintptr_t handle);
// Accepts 0x<hex> and decimal; empty for anything else.
std::optional<std::uintptr_t> ParseHandle(std::string_view text);
std::optional<long long> ParseNumber(std::string_view text);

Message Ok();
Message Error(std::string text);

}  // namespace automation
