// Finding windows, listing children, texts and commands.
#include <algorithm>
#include <cctype>

#include "testbed/uidrive/uidrive.h"

namespace uidrive {
namespace {

constexpr DWORD kPollMs = 25;
// Wine drops a message whose data is longer than about a megabyte on its
// way to another process; the mail client takes long texts by its channel.
constexpr size_t kLongText = 512 * 1024;

std::string HandleText(HWND window) {
  return automation::FormatHandle(reinterpret_cast<std::uintptr_t>(window));
}

// Another process's window may hang or be gone; every cross-process send
// is bounded by its timeout. Not SMTO_ABORTIFHUNG: a client busy with a long
// command for a few seconds counts as hung and would be given up at once.
LRESULT SendBounded(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs,
                    const char* what) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, timeoutMs, &result))
    throw Failure(std::string(what) + ": window " + HandleText(window) + " did not answer");
  return static_cast<LRESULT>(result);
}

std::string TextPrefix(HWND window, int limit) {
  std::string text(static_cast<size_t>(limit) + 1, '\0');
  DWORD_PTR n = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_NORMAL, 1000, &n))
    return {};
  text.resize(std::min<size_t>(n, static_cast<size_t>(limit)));
  return text;
}

bool MatchesQuery(HWND w, const WindowQuery& q) {
  if (q.visibleOnly && !IsWindowVisible(w)) return false;
  if (q.processId) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid != q.processId) return false;
  }
  if (!q.className.Matches(ClassOf(w))) return false;
  // GetWindowTextA reads another process's top-level title without a
  // message, so a hung window cannot stall the search; a child's text
  // needs WM_GETTEXT, bounded by a timeout.
  if (q.title.how != TextMatch::How::Any) {
    char title[512] = "";
    if (q.parent) {
      if (!q.title.Matches(TextPrefix(w, sizeof title - 1))) return false;
    } else {
      GetWindowTextA(w, title, sizeof title);
      if (!q.title.Matches(title)) return false;
    }
  }
  return true;
}

struct Search {
  const WindowQuery* query;
  std::vector<HWND>* found;
};

BOOL CALLBACK CollectMatch(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<Search*>(p);
  if (MatchesQuery(w, *s->query)) s->found->push_back(w);
  return TRUE;
}

void AddChildren(HWND parent, int depth, bool recursive, std::vector<WindowInfo>& out) {
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    WindowInfo info = Describe(c);
    info.depth = depth;
    out.push_back(std::move(info));
    if (recursive && depth < 32) AddChildren(c, depth + 1, true, out);
  }
}

}  // namespace

bool TextMatch::Matches(std::string_view candidate) const {
  switch (how) {
    case How::Any: return true;
    case How::Exact: return candidate == text;
    case How::Prefix: return candidate.starts_with(text);
  }
  return false;
}

std::string TextMatch::Describe() const {
  switch (how) {
    case How::Any: return "any";
    case How::Exact: return "\"" + text + "\"";
    case How::Prefix: return "\"" + text + "...\"";
  }
  return {};
}

std::string ClassOf(HWND window) {
  char name[256];
  int n = GetClassNameA(window, name, sizeof name);
  return std::string(name, n > 0 ? n : 0);
}

std::vector<HWND> FindWindows(const WindowQuery& query) {
  std::vector<HWND> found;
  if (query.parent) {
    for (HWND c = GetWindow(query.parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
      if (MatchesQuery(c, query)) found.push_back(c);
    return found;
  }
  Search search{&query, &found};
  EnumWindows(CollectMatch, reinterpret_cast<LPARAM>(&search));
  return found;
}

HWND WaitForWindow(const WindowQuery& query, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    std::vector<HWND> found = FindWindows(query);
    if (!found.empty()) return found.front();
    if (GetTickCount() - start >= timeoutMs) break;
    Sleep(kPollMs);
  }
  throw Failure("no window of class " + query.className.Describe() + " with title " +
                query.title.Describe() + " appeared within " + std::to_string(timeoutMs) + " ms");
}

bool WaitUntilGone(HWND window, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (IsWindow(window)) {
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(kPollMs);
  }
  return true;
}

WindowInfo Describe(HWND window) {
  if (!IsWindow(window)) throw Failure("not a window: " + HandleText(window));
  WindowInfo info;
  info.handle = window;
  info.className = ClassOf(window);
  info.id = static_cast<int>(GetWindowLongPtrA(window, GWLP_ID));
  info.style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
  info.exStyle = static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE));
  GetWindowRect(window, &info.rect);
  info.text = TextPrefix(window, kListedTextLength);
  return info;
}

std::vector<WindowInfo> Children(HWND parent, bool recursive) {
  if (!IsWindow(parent)) throw Failure("not a window: " + HandleText(parent));
  std::vector<WindowInfo> out;
  AddChildren(parent, 0, recursive, out);
  return out;
}

std::string GetText(HWND window, DWORD timeoutMs) {
  if (!IsWindow(window)) throw Failure("not a window: " + HandleText(window));
  LRESULT length = SendBounded(window, WM_GETTEXTLENGTH, 0, 0, timeoutMs, "reading the text length");
  std::string text(static_cast<size_t>(std::max<LRESULT>(length, 0)) + 1, '\0');
  LRESULT n = SendBounded(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                          timeoutMs, "reading the text");
  text.resize(static_cast<size_t>(std::clamp<LRESULT>(n, 0, length)));
  return text;
}

void SetText(HWND window, const std::string& text, DWORD timeoutMs) {
  if (!IsWindow(window)) throw Failure("not a window: " + HandleText(window));
  HWND top = GetAncestor(window, GA_ROOT);
  if (text.size() >= kLongText && top != window && ClassOf(top) == "EudoraMainWindow") {
    automation::Message request{"settext", {}};
    request.Add("target", HandleText(window)).Add("text", text);
    MailClient(top).Call(request, std::max<DWORD>(timeoutMs, 30000));
    return;
  }
  if (!SendBounded(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), timeoutMs,
                   "setting the text"))
    throw Failure("window " + HandleText(window) + " refused the text");
}

void TypeText(HWND window, std::string_view text) {
  if (!IsWindow(window)) throw Failure("not a window: " + HandleText(window));
  for (char c : text) {
    // A line end is typed as one Return key, as the keyboard sends it.
    if (c == '\n') c = '\r';
    else if (c == '\r') continue;
    if (!PostMessageA(window, WM_CHAR, static_cast<unsigned char>(c), 1))
      throw Failure("cannot post to window " + HandleText(window));
  }
}

void PostCommand(HWND window, UINT id, LPARAM lParam) {
  if (!IsWindow(window) || !PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, 0), lParam))
    throw Failure("cannot post a command to window " + HandleText(window));
}

LRESULT SendCommand(HWND window, UINT id, LPARAM lParam, DWORD timeoutMs) {
  if (!IsWindow(window)) throw Failure("not a window: " + HandleText(window));
  return SendBounded(window, WM_COMMAND, MAKEWPARAM(id, 0), lParam, timeoutMs, "sending a command");
}

void PostClose(HWND window) {
  if (!IsWindow(window) || !PostMessageA(window, WM_CLOSE, 0, 0))
    throw Failure("cannot post WM_CLOSE to window " + HandleText(window));
}

HWND HandleFrom(const std::string& text) {
  auto value = automation::ParseHandle(text);
  return value ? reinterpret_cast<HWND>(*value) : nullptr;
}

}  // namespace uidrive
