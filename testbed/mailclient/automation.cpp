// Serves the automation channel (see automation_protocol.h). Every command
// runs on the client's own thread, so it sees the windows, the focus and the
// menus exactly as the module inside the client does.
#include <algorithm>
#include <exception>
#include <map>
#include <stdexcept>

#include "testbed/mailclient/automation_protocol.h"
#include "testbed/mailclient/client.h"
#include "testbed/mailclient/mail_text.h"
#include "common/handles_win.h"

namespace {

using automation::FormatHandle;
using automation::Message;

struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string Handle(HWND window) {
  return FormatHandle(reinterpret_cast<std::uintptr_t>(window));
}

HWND HandleField(const Message& request, const char* name) {
  auto value = automation::ParseHandle(request.Get(name));
  if (!value) throw Failure(std::string("bad window handle in ") + name + "=");
  return reinterpret_cast<HWND>(*value);
}

Frame& TargetFrame(const Message& request) {
  if (request.Has("window")) {
    Frame* frame = FrameOf(HandleField(request, "window"));
    if (!frame) throw Failure("no message or composition window " + request.Get("window"));
    return *frame;
  }
  Frame* frame = ActiveFrame();
  if (!frame) throw Failure("no message or composition window is open");
  return *frame;
}

// target= names any window of the client; otherwise a field of a frame,
// by default the text the frame is about (the body, or the message view).
HWND TargetWindow(const Message& request, Frame** frameOut = nullptr) {
  if (request.Has("target")) {
    HWND target = HandleField(request, "target");
    if (!IsWindow(target) || !client.main || (target != client.main && !IsChild(client.main, target)))
      throw Failure("not a window of this client: " + request.Get("target"));
    if (frameOut) *frameOut = FrameOf(target);
    return target;
  }
  Frame& frame = TargetFrame(request);
  if (frameOut) *frameOut = &frame;
  std::string name = request.Has("field") ? request.Get("field") : "body";
  HWND field = FieldByName(frame, name);
  if (!field) throw Failure("the window has no field '" + name + "'");
  return field;
}

std::string ValueOrFile(const Message& request, const std::string& name) {
  if (!request.Has(name + "-file")) return request.Get(name);
  std::string text;
  std::string path = request.Get(name + "-file");
  if (!ReadWholeFile(path, text)) throw Failure("cannot read " + path);
  return text;
}

Message Ping(const Message&) {
  Message reply = automation::Ok();
  reply.Add("main", Handle(client.main));
  reply.Add("folder", client.mailFolder);
  reply.Add("pid", std::to_string(GetCurrentProcessId()));
  return reply;
}

Message Open(const Message& request) {
  HWND window = nullptr;
  if (request.Has("file")) {
    std::string error;
    size_t message = 0;
    if (request.Has("message")) {
      const auto number = automation::ParseNumber(request.Get("message"));
      if (!number || *number <= 0) throw Failure("bad message number " + request.Get("message"));
      message = static_cast<size_t>(*number);
    }
    window = OpenMessageFile(request.Get("file"), message, &error);
    if (!window) throw Failure(error);
  } else if (request.Has("text")) {
    std::string title = request.Has("title") ? request.Get("title") : "Message";
    window = OpenMessageText(mailtext::ToCrlf(request.Get("text")), title);
    if (!window) throw Failure("cannot open a message window");
  } else {
    throw Failure("open needs file= or text=");
  }
  Message reply = automation::Ok();
  reply.Add("window", Handle(window));
  reply.Add("edit", Handle(FrameOf(window)->view));
  return reply;
}

Message Compose(const Message& request) {
  ComposeFields fields;
  fields.to = ValueOrFile(request, "to");
  fields.from = request.Has("from") || request.Has("from-file") ? ValueOrFile(request, "from")
                                                                  : kDefaultFrom;
  fields.subject = ValueOrFile(request, "subject");
  fields.cc = ValueOrFile(request, "cc");
  fields.bcc = ValueOrFile(request, "bcc");
  fields.body = ValueOrFile(request, "body");
  HWND window = OpenComposition(fields);
  Frame* frame = FrameOf(window);
  if (!frame) throw Failure("cannot open a composition window");
  Message reply = automation::Ok();
  reply.Add("window", Handle(window)).Add("form", Handle(frame->form));
  for (const char* name : {"to", "from", "subject", "cc", "bcc", "body"})
    reply.Add(name, Handle(FieldByName(*frame, name)));
  reply.Add("status", Handle(frame->status));
  return reply;
}

Message Focus(const Message& request) {
  Frame* frame = nullptr;
  HWND field = TargetWindow(request, &frame);
  if (frame) SendMessageA(client.mdiClient, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(frame->window), 0);
  SetFocus(field);
  if (GetFocus() != field) throw Failure("the focus did not go to " + Handle(field));
  Message reply = automation::Ok();
  reply.Add("focus", Handle(field));
  return reply;
}

Message Text(const Message& request) {
  HWND window = TargetWindow(request);
  std::string text = WindowText(window);
  Message reply = automation::Ok();
  reply.Add("field", Handle(window));
  reply.Add("length", std::to_string(text.size()));
  DWORD start = 0, end = 0;
  char cls[16];
  if (GetClassNameA(window, cls, sizeof cls) && !lstrcmpiA(cls, "Edit"))
    SendMessageA(window, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  reply.Add("sel-start", std::to_string(start)).Add("sel-end", std::to_string(end));
  reply.Add("text", std::move(text));
  return reply;
}

// The text as WM_SETTEXT from outside would put it, for texts too long to
// travel in one message between processes.
Message SetText(const Message& request) {
  HWND window = TargetWindow(request);
  if (!SetWindowTextA(window, request.Get("text").c_str()))
    throw Failure("the window refused the text");
  return automation::Ok();
}

Message Select(const Message& request) {
  HWND window = TargetWindow(request);
  auto start = automation::ParseNumber(request.Get("start"));
  auto end = automation::ParseNumber(request.Get("end"));
  if (!start || !end) throw Failure("select needs start= and end=");
  SendMessageA(window, EM_SETSEL, static_cast<WPARAM>(*start), static_cast<LPARAM>(*end));
  return automation::Ok();
}

Message State(const Message& request) {
  Frame& frame = TargetFrame(request);
  HWND focus = GetFocus();
  Message reply = automation::Ok();
  reply.Add("window", Handle(frame.window));
  reply.Add("kind", KindName(frame.kind));
  reply.Add("changed", frame.changed ? "1" : "0");
  reply.Add("title", frame.title);
  reply.Add("focus", Handle(focus));
  reply.Add("focus-field", FrameOf(focus) == &frame ? FieldName(frame, focus) : "");
  return reply;
}

Message Windows(const Message&) {
  Message reply = automation::Ok();
  for (HWND w : Frames()) {
    Frame* f = FrameOf(w);
    if (!f) continue;
    reply.Add("window", Handle(w) + " " + KindName(f->kind) + " " + (f->changed ? "1" : "0") +
                            " " + f->title);
  }
  return reply;
}

Message Close(const Message& request) {
  CloseFrame(TargetFrame(request));
  return automation::Ok();
}

std::string MenuFlags(const MENUITEMINFOA& item) {
  std::string flags;
  auto add = [&](const char* f) { flags += flags.empty() ? f : std::string(",") + f; };
  if (item.hSubMenu) add("popup");
  if (item.fType & MFT_SEPARATOR) add("separator");
  // MFS_GRAYED and MFS_DISABLED are one value; the old MF_ bits tell them apart.
  if (item.fState & MF_GRAYED) add("grayed");
  else if (item.fState & MF_DISABLED) add("disabled");
  if (item.fState & MFS_CHECKED) add("checked");
  return flags.empty() ? "enabled" : flags;
}

void AddMenu(Message& reply, HMENU menu, const std::string& path, int depth) {
  if (depth > 8) return;
  for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
    char text[256] = "";
    MENUITEMINFOA item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
    item.dwTypeData = text;
    item.cch = sizeof text;
    if (!GetMenuItemInfoA(menu, i, TRUE, &item)) continue;
    std::string position = path.empty() ? std::to_string(i) : path + "." + std::to_string(i);
    std::string id = item.hSubMenu ? std::string("popup") : FormatHandle(item.wID);
    reply.Add("item", position + "\t" + id + "\t" + MenuFlags(item) + "\t" + text);
    if (item.hSubMenu) AddMenu(reply, item.hSubMenu, position, depth + 1);
  }
}

Message Menu(const Message&) {
  HMENU bar = client.main ? GetMenu(client.main) : nullptr;
  if (!bar) throw Failure("the main window has no menu bar");
  Message reply = automation::Ok();
  AddMenu(reply, bar, "", 0);
  return reply;
}

Message Mailbox(const Message&) {
  Message reply = automation::Ok();
  for (const MailboxEntry& e : client.mailbox)
    reply.Add("entry", (e.message ? e.file + ":" + std::to_string(e.message) : e.file) + "\t" + e.from +
                           "\t" + e.subject);
  return reply;
}

struct Verb {
  const char* name;
  Message (*run)(const Message&);
};

constexpr Verb kVerbs[] = {
    {"ping", Ping},   {"open", Open},       {"compose", Compose}, {"focus", Focus},
    {"text", Text},   {"settext", SetText}, {"select", Select},   {"state", State},
    {"windows", Windows},
    {"close", Close}, {"menu", Menu},       {"mailbox", Mailbox},
};

Message Dispatch(const Message& request) {
  for (const Verb& v : kVerbs)
    if (request.verb == v.name) return v.run(request);
  throw Failure("unknown command '" + request.verb + "'");
}

void WriteReplyFile(const std::string& path, const std::string& text) {
  UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD done = 0;
  if (file) WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
}

// The caller waits inside its SendMessage; a reply sent to its window now
// is taken by its thread before that SendMessage returns. The caller has not
// asked for messages while it waited, so it may look hung: no
// SMTO_ABORTIFHUNG.
void SendReply(HWND window, const std::string& text) {
  size_t offset = 0;
  do {
    size_t size = std::min(automation::kPartSize, text.size() - offset);
    bool last = offset + size == text.size();
    COPYDATASTRUCT data{last ? automation::kReplyTag : automation::kReplyPartTag,
                        static_cast<DWORD>(size), const_cast<char*>(text.data() + offset)};
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutA(window, WM_COPYDATA, reinterpret_cast<WPARAM>(client.main),
                             reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 30000, &ignored))
      return;
    offset += size;
  } while (offset < text.size());
}

void Deliver(const Message& request, const Message& reply) {
  std::string text = automation::Encode(reply);
  if (request.Has("reply")) {
    auto target = automation::ParseHandle(request.Get("reply"));
    HWND window = target ? reinterpret_cast<HWND>(*target) : nullptr;
    if (window && IsWindow(window)) SendReply(window, text);
  }
  if (request.Has("result-file")) WriteReplyFile(request.Get("result-file"), text);
}

// Parts of long requests, per sender, until their last part arrives.
std::map<HWND, std::string> pendingRequests;

}  // namespace

LRESULT HandleAutomation(HWND sender, const COPYDATASTRUCT* data) {
  if (!data || (data->cbData && !data->lpData)) return 0;
  if (data->dwData != automation::kRequestTag && data->dwData != automation::kRequestPartTag)
    return 0;
  try {
    std::string text = std::move(pendingRequests[sender]);
    pendingRequests.erase(sender);
    if (text.size() + data->cbData > automation::kMaxRequestSize) return 0;
    text.append(static_cast<const char*>(data->lpData), data->cbData);
    if (data->dwData == automation::kRequestPartTag) {
      pendingRequests[sender] = std::move(text);
      return 1;
    }
    std::optional<Message> request = automation::Decode(text);
    if (!request) return 0;
    Message reply;
    try {
      reply = Dispatch(*request);
    } catch (const std::exception& e) {
      reply = automation::Error(e.what());
    }
    Deliver(*request, reply);
    return reply.verb == "ok" ? 1 : 0;
  } catch (...) {
    pendingRequests.erase(sender);
    return 0;  // no memory even for the reply
  }
}
