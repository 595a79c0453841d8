// The client side of the mail client's automation channel.
#include <algorithm>

#include "testbed/uidrive/uidrive.h"

namespace uidrive {
namespace {

constexpr char kReplyClass[] = "uidrive_reply";

struct ReplyBox {
  bool received = false;
  std::string text;  // the parts so far, then the whole reply
};

LRESULT CALLBACK ReplyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COPYDATA) {
    auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    auto* box = reinterpret_cast<ReplyBox*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!box || !data || (data->cbData && !data->lpData) ||
        (data->dwData != automation::kReplyTag && data->dwData != automation::kReplyPartTag))
      return FALSE;
    try {
      box->text.append(static_cast<const char*>(data->lpData), data->cbData);
      box->received = data->dwData == automation::kReplyTag;
    } catch (...) {
      return FALSE;  // no memory for the reply: the caller reports it missing
    }
    return TRUE;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateReplyWindow() {
  static const bool registered = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = ReplyProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kReplyClass;
    return RegisterClassA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  if (!registered) throw Failure("cannot register the reply window class");
  HWND window = CreateWindowExA(0, kReplyClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  if (!window) throw Failure("cannot create the reply window");
  return window;
}

std::string HandleText(HWND window) {
  return automation::FormatHandle(reinterpret_cast<std::uintptr_t>(window));
}

HWND Field(const automation::Message& reply, const char* name) {
  return HandleFrom(reply.Get(name));
}

}  // namespace

MailClient MailClient::Find(DWORD timeoutMs, DWORD processId) {
  WindowQuery query;
  query.className = TextMatch::Exact("EudoraMainWindow");
  query.processId = processId;
  return MailClient(WaitForWindow(query, timeoutMs));
}

automation::Message MailClient::Call(automation::Message request, DWORD timeoutMs) const {
  if (!IsWindow(main_)) throw Failure("the mail client's window " + HandleText(main_) + " is gone");
  UniqueWindow replyWindow(CreateReplyWindow());
  ReplyBox box;
  SetWindowLongPtrA(replyWindow.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&box));
  request.Add("reply", HandleText(replyWindow.get()));
  std::string text = automation::Encode(request);
  size_t offset = 0;
  do {
    size_t size = std::min(automation::kPartSize, text.size() - offset);
    bool last = offset + size == text.size();
    COPYDATASTRUCT data{last ? automation::kRequestTag : automation::kRequestPartTag,
                        static_cast<DWORD>(size), text.data() + offset};
    DWORD_PTR result = 0;
    // No SMTO_BLOCK: the reply arrives as a message sent to us while we wait.
    if (!SendMessageTimeoutA(main_, WM_COPYDATA, reinterpret_cast<WPARAM>(replyWindow.get()),
                             reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, timeoutMs, &result))
      throw Failure("the mail client did not answer '" + request.verb + "' within " +
                    std::to_string(timeoutMs) + " ms");
    offset += size;
  } while (offset < text.size());
  if (!box.received) throw Failure("the mail client sent no reply to '" + request.verb + "'");
  std::optional<automation::Message> reply = automation::Decode(box.text);
  if (!reply) throw Failure("the mail client's reply to '" + request.verb + "' is malformed");
  if (reply->verb != "ok")
    throw Failure("mail client, " + request.verb + ": " + reply->Get("message"));
  return *reply;
}

MailClient::Opened MailClient::OpenFile(const std::string& path) const {
  automation::Message reply = Call(automation::Message{"open", {}}.Add("file", path));
  return {Field(reply, "window"), Field(reply, "edit")};
}

MailClient::Opened MailClient::OpenText(const std::string& text, const std::string& title) const {
  automation::Message reply =
      Call(automation::Message{"open", {}}.Add("text", text).Add("title", title));
  return {Field(reply, "window"), Field(reply, "edit")};
}

MailClient::Composition MailClient::Compose(const Fields& fields) const {
  automation::Message request{"compose", {}};
  request.Add("to", fields.to).Add("cc", fields.cc).Add("bcc", fields.bcc);
  request.Add("subject", fields.subject).Add("body", fields.body);
  if (fields.from) request.Add("from", *fields.from);
  automation::Message reply = Call(request);
  Composition c;
  c.window = Field(reply, "window");
  c.form = Field(reply, "form");
  c.to = Field(reply, "to");
  c.from = Field(reply, "from");
  c.subject = Field(reply, "subject");
  c.cc = Field(reply, "cc");
  c.bcc = Field(reply, "bcc");
  c.body = Field(reply, "body");
  c.status = Field(reply, "status");
  return c;
}

HWND MailClient::FocusField(const std::string& field, HWND window) const {
  automation::Message request{"focus", {}};
  if (window) request.Add("window", HandleText(window));
  request.Add("field", field);
  return Field(Call(request), "focus");
}

std::string MailClient::Text(HWND window, const std::string& field) const {
  automation::Message request{"text", {}};
  if (window) request.Add("window", HandleText(window));
  if (!field.empty()) request.Add("field", field);
  return Call(request).Get("text");
}

MailClient::State MailClient::StateOf(HWND window) const {
  automation::Message request{"state", {}};
  if (window) request.Add("window", HandleText(window));
  automation::Message reply = Call(request);
  State s;
  s.window = Field(reply, "window");
  s.kind = reply.Get("kind");
  s.changed = reply.Get("changed") == "1";
  s.title = reply.Get("title");
  s.focus = Field(reply, "focus");
  s.focusField = reply.Get("focus-field");
  return s;
}

}  // namespace uidrive
