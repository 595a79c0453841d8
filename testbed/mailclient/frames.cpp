// The MDI children: received messages (a read-only "Edit" whose parent is
// an "Afx:" frame), compositions (an "Afx:" frame holding a "#" form whose
// children are the header fields, the body and a status line, in that
// z-order) and read-only info texts. The module tells the two kinds apart by
// exactly these class names and this child order.
#include <algorithm>
#include <exception>
#include <list>
#include <memory>

#include "testbed/mailclient/client.h"
#include "testbed/mailclient/mail_text.h"
#include "common/handles_win.h"

namespace {

constexpr int kLabelWidth = 64, kRowHeight = 24, kFieldHeight = 21, kStatusHeight = 18, kMargin = 6;

// Every frame that exists; the frame window removes its entry when it goes.
std::list<std::unique_ptr<Frame>> frames;

struct FieldRow {
  const char* label;
  int id;
  HWND Frame::*field;
  const char* name;
};

// The order of creation is the z-order the module walks: label, To field,
// ... a label "&Cc:" right before the Cc field ..., body, status line.
constexpr FieldRow kRows[] = {
    {"&To:", IDC_FIELD_TO, &Frame::to, "to"},
    {"&From:", IDC_FIELD_FROM, &Frame::from, "from"},
    {"&Subject:", IDC_FIELD_SUBJECT, &Frame::subject, "subject"},
    {"&Cc:", IDC_FIELD_CC, &Frame::cc, "cc"},
    {"&Bcc:", IDC_FIELD_BCC, &Frame::bcc, "bcc"},
};

bool HasClass(HWND window, const char* name) {
  char cls[64];
  return GetClassNameA(window, cls, sizeof cls) > 0 && !lstrcmpiA(cls, name);
}

Frame* Registered(HWND frameWindow) {
  for (auto& f : frames)
    if (f->window == frameWindow) return f.get();
  return nullptr;
}

void Forget(const Frame* frame) {
  frames.remove_if([&](const std::unique_ptr<Frame>& f) { return f.get() == frame; });
}

void SetFont(HWND window, HFONT font) {
  SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

// Messages of 16 MiB and more must fit: the default limit is far lower.
HWND CreateEdit(HWND parent, int id, DWORD style, HFONT font) {
  HWND edit = CreateWindowExA(WS_EX_CLIENTEDGE, "Edit", "", WS_CHILD | WS_VISIBLE | style, 0, 0,
                              0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                              client.instance, nullptr);
  if (edit) {
    SendMessageA(edit, EM_SETLIMITTEXT, 0, 0);
    SetFont(edit, font);
  }
  return edit;
}

void ShowTitle(Frame& frame) {
  std::string shown = frame.changed ? frame.title + " *" : frame.title;
  SetWindowTextA(frame.window, shown.c_str());
  if (frame.status)
    SetWindowTextA(frame.status, frame.changed ? "Changed, not sent" : "Not sent");
}

bool BuildForm(Frame& frame) {
  frame.form = CreateWindowExA(0, kFormClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 0,
                               0, frame.window, reinterpret_cast<HMENU>(IDC_COMPOSE_FORM),
                               client.instance, nullptr);
  if (!frame.form) return false;
  int n = 0;
  for (const FieldRow& row : kRows) {
    HWND label = CreateWindowExA(0, "Static", row.label, WS_CHILD | WS_VISIBLE | SS_RIGHT, 0, 0, 0,
                                 0, frame.form,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_LABEL_FIRST + n++)),
                                 client.instance, nullptr);
    HWND field = CreateEdit(frame.form, row.id, WS_TABSTOP | ES_AUTOHSCROLL, client.uiFont);
    if (!label || !field) return false;
    SetFont(label, client.uiFont);
    frame.*row.field = field;
  }
  frame.body = CreateEdit(frame.form, IDC_FIELD_BODY,
                          WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
                          client.textFont.get());
  frame.status = CreateWindowExA(0, "Static", "Not sent", WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP,
                                 0, 0, 0, 0, frame.form, reinterpret_cast<HMENU>(IDC_FORM_STATUS),
                                 client.instance, nullptr);
  if (!frame.body || !frame.status) return false;
  SetFont(frame.status, client.uiFont);
  return true;
}

void LayoutForm(const Frame& frame) {
  RECT r;
  GetClientRect(frame.form, &r);
  const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
  int fieldX = kMargin + kLabelWidth + kMargin;
  int fieldWidth = std::max(0, static_cast<int>(r.right) - fieldX - kMargin);
  int y = kMargin;
  int n = 0;
  for (const FieldRow& row : kRows) {
    HWND label = GetDlgItem(frame.form, IDC_LABEL_FIRST + n++);
    SetWindowPos(label, nullptr, kMargin, y + 3, kLabelWidth, kFieldHeight - 3, flags);
    SetWindowPos(frame.*row.field, nullptr, fieldX, y, fieldWidth, kFieldHeight, flags);
    y += kRowHeight;
  }
  int statusTop = std::max(y, static_cast<int>(r.bottom) - kStatusHeight);
  SetWindowPos(frame.body, nullptr, 0, y + 2, r.right, std::max(0, statusTop - y - 2), flags);
  SetWindowPos(frame.status, nullptr, kMargin, statusTop + 2, fieldWidth + kLabelWidth,
               kStatusHeight - 2, flags);
}

// EN_UPDATE and EN_CHANGE tell that a field's text changed, typed by the
// user or put there by an extension. Only a live field of this window
// counts: the notification may be posted and arrive after the field is gone.
void OnFieldNotification(Frame& frame, HWND parent, WPARAM wParam, LPARAM lParam) {
  HWND field = GetDlgItem(parent, LOWORD(wParam));
  if (!field || (lParam != 0 && reinterpret_cast<HWND>(lParam) != field)) return;
  switch (HIWORD(wParam)) {
    case EN_UPDATE:
    case EN_CHANGE:
      if (!frame.loading) MarkChanged(frame);
      break;
    case EN_SETFOCUS: frame.lastFocus = field; break;
  }
}

LRESULT CALLBACK FormProc(HWND form, UINT message, WPARAM wParam, LPARAM lParam) {
  Frame* frame = FrameOf(form);
  switch (message) {
    case WM_SIZE:
      if (frame && frame->status) LayoutForm(*frame);
      return 0;
    case WM_COMMAND:
      if (frame) OnFieldNotification(*frame, form, wParam, lParam);
      return 0;
  }
  return DefWindowProcA(form, message, wParam, lParam);
}

LRESULT OnFrameCreate(Frame& frame) {
  if (frame.kind == FrameKind::Composition) return BuildForm(frame) ? 0 : -1;
  frame.view = CreateEdit(frame.window, IDC_MESSAGE_VIEW,
                          WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                          client.textFont.get());
  frame.lastFocus = frame.view;
  return frame.view ? 0 : -1;
}

HWND FrameContent(const Frame& frame) { return frame.form ? frame.form : frame.view; }

LRESULT FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Frame* frame = Registered(window);
  switch (message) {
    case WM_NCCREATE: {
      auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
      auto* mdi = reinterpret_cast<const MDICREATESTRUCTA*>(create->lpCreateParams);
      frame = reinterpret_cast<Frame*>(mdi->lParam);
      frame->window = window;
      break;
    }
    case WM_CREATE:
      if (frame && OnFrameCreate(*frame) != 0) return -1;
      break;
    case WM_SIZE:
      if (frame && FrameContent(*frame)) {
        SetWindowPos(FrameContent(*frame), nullptr, 0, 0, LOWORD(lParam), HIWORD(lParam),
                     SWP_NOZORDER | SWP_NOACTIVATE);
      }
      break;  // DefMDIChildProc needs it too
    case WM_SETFOCUS:
      if (frame && frame->lastFocus && IsWindow(frame->lastFocus)) {
        SetFocus(frame->lastFocus);
        return 0;
      }
      break;
    case WM_COMMAND:
      if (frame && frame->view) OnFieldNotification(*frame, window, wParam, lParam);
      return 0;
    case WM_CTLCOLORSTATIC:
      // A read-only text is still a message to read, not a greyed field.
      if (frame && reinterpret_cast<HWND>(lParam) == frame->view) {
        SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
        SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
      }
      break;
    case WM_NCDESTROY: {
      LRESULT result = DefMDIChildProcA(window, message, wParam, lParam);
      if (frame) Forget(frame);
      return result;
    }
  }
  return DefMDIChildProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK FrameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    return FrameProc(window, message, wParam, lParam);
  } catch (const std::exception& e) {
    SetStatus(std::string("Command failed: ") + e.what());
    return 0;
  }
}

Frame* CreateFrame(std::unique_ptr<Frame> owned) {
  Frame* frame = owned.get();
  frames.push_back(std::move(owned));
  MDICREATESTRUCTA mdi{};
  mdi.szClass = kFrameClass;
  mdi.szTitle = frame->title.c_str();
  mdi.hOwner = client.instance;
  mdi.x = mdi.y = CW_USEDEFAULT;
  mdi.cx = 600;
  mdi.cy = 420;
  mdi.lParam = reinterpret_cast<LPARAM>(frame);
  HWND window = reinterpret_cast<HWND>(
      SendMessageA(client.mdiClient, WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&mdi)));
  if (!window) {
    Forget(frame);  // no-op when the failed window already removed it
    return nullptr;
  }
  return frame;
}

void SetLoadingText(Frame& frame, HWND field, const std::string& text) {
  frame.loading = true;
  SetWindowTextA(field, text.c_str());
  frame.loading = false;
}

HWND OpenViewer(FrameKind kind, std::string text, const std::string& title,
                const std::string& source) {
  auto owned = std::make_unique<Frame>();
  owned->kind = kind;
  owned->title = title;
  owned->sourcePath = source;
  Frame* frame = CreateFrame(std::move(owned));
  if (!frame) return nullptr;
  SetLoadingText(*frame, frame->view, text);
  SetFocus(frame->view);
  return frame->window;
}

std::string FileNameOf(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool WriteWholeFile(const std::string& path, const std::string& text) {
  UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD done = 0;
  return file &&
         WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &done, nullptr) &&
         done == text.size();
}

}  // namespace

bool RegisterFrameClasses(HINSTANCE instance) {
  WNDCLASSA frame{};
  frame.style = CS_HREDRAW | CS_VREDRAW;
  frame.lpfnWndProc = FrameWindowProc;
  frame.hInstance = instance;
  frame.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_WINLOGO));
  frame.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  frame.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  frame.lpszClassName = kFrameClass;
  WNDCLASSA form{};
  form.lpfnWndProc = FormProc;
  form.hInstance = instance;
  form.hCursor = frame.hCursor;
  form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  form.lpszClassName = kFormClass;
  return RegisterClassA(&frame) && RegisterClassA(&form);
}

Frame* FrameOf(HWND window) {
  for (HWND w = window; w && IsWindow(w); w = GetParent(w)) {
    if (HasClass(w, kFrameClass)) return Registered(w);
    if (w == client.main) break;
  }
  return nullptr;
}

Frame* ActiveFrame() {
  if (!client.mdiClient) return nullptr;
  return Registered(reinterpret_cast<HWND>(SendMessageA(client.mdiClient, WM_MDIGETACTIVE, 0, 0)));
}

std::vector<HWND> Frames() {
  std::vector<HWND> list;
  for (auto& f : frames) list.push_back(f->window);
  return list;
}

// A *.msg file is shown as it is (headers, an empty line, the text), with
// relative attachment paths completed; mail as it arrives today is read as
// MIME, and its attachment lines are the client's own.
HWND OpenMessageFile(const std::string& path, size_t message, std::string* error) {
  MessageShown shown;
  std::string reason;
  if (IsReceivedMailFile(path)) {
    if (!ShowReceivedMail(path, message, shown, reason)) {
      if (error) *error = reason;
      return nullptr;
    }
  } else {
    if (!ReadWholeFile(path, shown.text)) {
      if (error) *error = "Cannot read the message " + path;
      return nullptr;
    }
    shown.text = mailtext::ResolveAttachmentLines(mailtext::ToCrlf(shown.text), AttachmentPrefix(),
                                                  FolderOf(path));
    shown.title = mailtext::HeaderValue(shown.text, "Subject");
  }
  HWND window = OpenViewer(FrameKind::Message, std::move(shown.text),
                           shown.title.empty() ? FileNameOf(path) : shown.title, path);
  if (!window && error) *error = "Cannot open a window for " + path;
  return window;
}

HWND OpenMessageText(std::string text, const std::string& title) {
  return OpenViewer(FrameKind::Message, std::move(text), title, {});
}

HWND OpenInfo(const std::string& title, const std::string& text) {
  return OpenViewer(FrameKind::Info, text, title, {});
}

HWND OpenComposition(const ComposeFields& fields) {
  auto owned = std::make_unique<Frame>();
  owned->kind = FrameKind::Composition;
  owned->title = fields.subject.empty() ? "No Subject" : fields.subject;
  Frame* frame = CreateFrame(std::move(owned));
  if (!frame) return nullptr;
  SetLoadingText(*frame, frame->to, fields.to);
  SetLoadingText(*frame, frame->from, fields.from);
  SetLoadingText(*frame, frame->subject, fields.subject);
  SetLoadingText(*frame, frame->cc, fields.cc);
  SetLoadingText(*frame, frame->bcc, fields.bcc);
  SetLoadingText(*frame, frame->body, mailtext::ToCrlf(fields.body));
  frame->lastFocus = fields.to.empty() ? frame->to : frame->body;
  SetFocus(frame->lastFocus);
  return frame->window;
}

void MarkChanged(Frame& frame) {
  if (frame.changed) return;
  frame.changed = true;
  ShowTitle(frame);
}

void CloseFrame(Frame& frame) {
  SendMessageA(client.mdiClient, WM_MDIDESTROY, reinterpret_cast<WPARAM>(frame.window), 0);
}

HWND FieldByName(const Frame& frame, std::string_view name) {
  if (frame.kind != FrameKind::Composition)
    return name == "view" || name == "message" || name == "body" ? frame.view : nullptr;
  for (const FieldRow& row : kRows)
    if (name == row.name) return frame.*row.field;
  if (name == "body") return frame.body;
  return nullptr;
}

const char* FieldName(const Frame& frame, HWND field) {
  if (!field) return "";
  if (field == frame.view) return "view";
  if (field == frame.body) return "body";
  for (const FieldRow& row : kRows)
    if (frame.*row.field == field) return row.name;
  return "";
}

const char* KindName(FrameKind kind) {
  switch (kind) {
    case FrameKind::Message: return "message";
    case FrameKind::Composition: return "composition";
    default: return "info";
  }
}

std::string WindowText(HWND window) {
  int length = GetWindowTextLengthA(window);
  if (length <= 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  int n = GetWindowTextA(window, text.data(), length + 1);
  text.resize(n > 0 ? n : 0);
  return text;
}

bool SaveToOut(Frame& frame, std::string* savedAs) {
  if (frame.kind != FrameKind::Composition) return false;
  std::string folder = client.mailFolder + "\\Out";
  CreateDirectoryA(folder.c_str(), nullptr);
  std::string text;
  for (const FieldRow& row : kRows) {
    std::string value = WindowText(frame.*row.field);
    if (!value.empty()) text += std::string(row.label + 1, row.label + lstrlenA(row.label)) + " " + value + "\r\n";
  }
  text += "\r\n" + WindowText(frame.body);
  for (int n = 1; n < 10000; ++n) {
    char name[16];
    wsprintfA(name, "%04d.msg", n);
    std::string path = folder + "\\" + name;
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
    if (!WriteWholeFile(path, text)) return false;
    if (savedAs) *savedAs = path;
    frame.changed = false;
    CloseFrame(frame);
    return true;
  }
  return false;
}
