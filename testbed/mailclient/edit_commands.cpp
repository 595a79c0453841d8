// The Edit menu's commands. They act on the field that has the focus, as in
// the real client, whether they come from the menu, a key or another module
// sending WM_COMMAND to the main window; Finish Nickname may also be told
// the field in lParam. With no field to act on they do nothing.
#include "testbed/mailclient/client.h"
#include "testbed/mailclient/mail_text.h"

namespace {

bool IsOurEdit(HWND window) {
  char cls[16];
  return window && IsWindow(window) && client.main && IsChild(client.main, window) &&
         GetClassNameA(window, cls, sizeof cls) > 0 && !lstrcmpiA(cls, "Edit");
}

bool IsReadOnly(HWND edit) { return (GetWindowLongA(edit, GWL_STYLE) & ES_READONLY) != 0; }

struct Selection {
  size_t start = 0, end = 0;
};

Selection SelectionOf(HWND edit, size_t length) {
  DWORD start = 0, end = 0;
  SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  Selection s{std::min<size_t>(start, length), std::min<size_t>(end, length)};
  if (s.start > s.end) std::swap(s.start, s.end);
  return s;
}

void Replace(HWND edit, Selection s, const std::string& text) {
  SendMessageA(edit, EM_SETSEL, s.start, s.end);
  SendMessageA(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
}

void WrapSelection(HWND edit) {
  if (!edit || IsReadOnly(edit) || !(GetWindowLongA(edit, GWL_STYLE) & ES_MULTILINE)) return;
  std::string text = WindowText(edit);
  Selection s = SelectionOf(edit, text.size());
  if (s.start == s.end) return;
  std::string_view selected(text.data() + s.start, s.end - s.start);
  std::string wrapped = mailtext::WrapLines(selected);
  if (wrapped == selected) return;  // nothing to break: no change, no undo step
  Replace(edit, s, wrapped);
  SendMessageA(edit, EM_SETSEL, s.start, s.start + wrapped.size());
}

std::vector<mailtext::Nickname> LoadNicknames() {
  std::string file;
  if (!ReadWholeFile(client.mailFolder + "\\nicknames.txt", file)) return {};
  return mailtext::ParseNicknames(file);
}

void FinishNicknameIn(HWND field) {
  if (!field || IsReadOnly(field)) return;
  std::string text = WindowText(field);
  Selection s = SelectionOf(field, text.size());
  // Nothing selected: the entry just typed, from the last separator to the caret.
  if (s.start == s.end) {
    size_t separator = text.find_last_of(",\r\n", s.end == 0 ? 0 : s.end - 1);
    s.start = (separator == std::string::npos || s.end == 0) ? 0 : separator + 1;
  }
  std::string_view selected(text.data() + s.start, s.end - s.start);
  std::optional<std::string> replacement = mailtext::FinishNickname(selected, LoadNicknames());
  if (replacement) Replace(field, s, *replacement);
}

}  // namespace

HWND FocusedEdit() {
  HWND focus = GetFocus();
  return IsOurEdit(focus) ? focus : nullptr;
}

bool HandleEditCommand(WORD id, LPARAM lParam) {
  HWND edit = FocusedEdit();
  switch (id) {
    case ID_EDIT_UNDO: if (edit) SendMessageA(edit, WM_UNDO, 0, 0); return true;
    case ID_EDIT_CUT: if (edit) SendMessageA(edit, WM_CUT, 0, 0); return true;
    case ID_EDIT_COPY: if (edit) SendMessageA(edit, WM_COPY, 0, 0); return true;
    case ID_EDIT_PASTE: if (edit) SendMessageA(edit, WM_PASTE, 0, 0); return true;
    case ID_EDIT_CLEAR: if (edit) SendMessageA(edit, WM_CLEAR, 0, 0); return true;
    case ID_EDIT_SELECT_ALL: if (edit) SendMessageA(edit, EM_SETSEL, 0, -1); return true;
    case ID_EDIT_WRAP_SELECTION: WrapSelection(edit); return true;
    case ID_EDIT_FINISH_NICKNAME: {
      HWND named = reinterpret_cast<HWND>(lParam);
      FinishNicknameIn(IsOurEdit(named) ? named : edit);
      return true;
    }
    default: return false;
  }
}
