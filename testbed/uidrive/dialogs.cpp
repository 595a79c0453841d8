// Dialog buttons and message boxes of any process.
#include <cctype>

#include "testbed/uidrive/uidrive.h"

namespace uidrive {
namespace {

// The message box's text control has this id on Windows and under Wine.
constexpr int kMessageBoxTextId = 0xFFFF;

std::string WithoutAccelerator(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;
    out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(text[i]))));
  }
  return out;
}

bool IsButton(HWND w) { return ClassOf(w) == "Button"; }

std::string HandleText(HWND window) {
  return automation::FormatHandle(reinterpret_cast<std::uintptr_t>(window));
}

std::string ButtonList(HWND dialog) {
  std::string list;
  for (const WindowInfo& c : Children(dialog))
    if (c.className == "Button") list += (list.empty() ? "" : ", ") + c.text;
  return list;
}

}  // namespace

HWND FindButton(HWND dialog, std::string_view text) {
  std::string wanted = WithoutAccelerator(text);
  for (const WindowInfo& c : Children(dialog, true))
    if (c.className == "Button" && WithoutAccelerator(c.text) == wanted) return c.handle;
  throw Failure("no button \"" + std::string(text) + "\" in window " + HandleText(dialog) +
                " (buttons: " + ButtonList(dialog) + ")");
}

HWND FindButton(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  if (!button || !IsButton(button))
    throw Failure("no button with id " + std::to_string(id) + " in window " + HandleText(dialog));
  return button;
}

void PressButton(HWND button) {
  HWND dialog = GetParent(button);
  int id = static_cast<int>(GetWindowLongPtrA(button, GWLP_ID));
  if (!dialog || !PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                               reinterpret_cast<LPARAM>(button)))
    throw Failure("cannot press button " + HandleText(button));
}

void ClickButton(HWND button, DWORD timeoutMs) {
  DWORD_PTR ignored = 0;
  if (!IsWindow(button) ||
      !SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_NORMAL, timeoutMs, &ignored))
    throw Failure("cannot click button " + HandleText(button));
}

MessageBoxInfo ReadMessageBox(HWND box) {
  if (!IsWindow(box)) throw Failure("not a window: " + HandleText(box));
  MessageBoxInfo info;
  info.handle = box;
  info.title = GetText(box);
  HWND textControl = GetDlgItem(box, kMessageBoxTextId);
  if (textControl) info.text = GetText(textControl);
  for (const WindowInfo& c : Children(box)) {
    if (c.className == "Button") info.buttons.push_back(GetText(c.handle));
    // Other dialogs: their texts are the statics that are not pictures.
    else if (!textControl && c.className == "Static" && (c.style & SS_TYPEMASK) != SS_ICON &&
             !c.text.empty())
      info.text += (info.text.empty() ? "" : "\n") + GetText(c.handle);
  }
  return info;
}

MessageBoxInfo WaitForMessageBox(const TextMatch& title, DWORD timeoutMs, DWORD processId) {
  WindowQuery query;
  query.className = TextMatch::Exact("#32770");
  query.title = title;
  query.processId = processId;
  query.visibleOnly = true;
  return ReadMessageBox(WaitForWindow(query, timeoutMs));
}

void Answer(const MessageBoxInfo& box, std::string_view buttonText, DWORD timeoutMs) {
  PressButton(FindButton(box.handle, buttonText));
  if (!WaitUntilGone(box.handle, timeoutMs))
    throw Failure("the box \"" + box.title + "\" stayed open after \"" + std::string(buttonText) +
                  "\"");
}

void Answer(const MessageBoxInfo& box, int buttonId, DWORD timeoutMs) {
  PressButton(FindButton(box.handle, buttonId));
  if (!WaitUntilGone(box.handle, timeoutMs))
    throw Failure("the box \"" + box.title + "\" stayed open after button " +
                  std::to_string(buttonId));
}

}  // namespace uidrive
