#include "command/text_capture_win.h"

#include <cstring>
#include <string>
#include <utility>

#include "command/text_capture.h"
#include "common/handles_win.h"
#include "core/command_state_win.h"
#include "core/mail_client.h"
#include "core/shared_state_win.h"
#include "core/window_procedure_win.h"
#include "resources/resource_ids.h"
#include "settings/settings_file_win.h"

const ClientWindowProfile HostClassNames{"#", "Afx:", "Edit", "Static", "&Cc:", 0};

uint32_t SelectAllNext1 = 0;
uint32_t SelectAllNext2 = 0;

namespace {

// Class names are read into these many characters: enough for every name
// compared here, and a longer name cannot match anyway.
constexpr int kCompositionClassSize = 24;
constexpr int kMessageClassSize = 20;
constexpr int kCcLabelTextSize = 24;

// The block of the kept text while the current command holds it locked.
HGLOBAL lockedTextHandle = nullptr;
char* lockedText = nullptr;

bool ClassIs(HWND window, const char* name, int size) {
  char buffer[kCompositionClassSize];
  if (size > kCompositionClassSize) size = kCompositionClassSize;
  return window != nullptr && GetClassNameA(window, buffer, size) > 0 &&
         std::strcmp(buffer, name) == 0;
}

bool ClassStartsWith(HWND window, const char* prefix, int size) {
  char buffer[kCompositionClassSize];
  if (size > kCompositionClassSize) size = kCompositionClassSize;
  return window != nullptr && GetClassNameA(window, buffer, size) > 0 &&
         std::strncmp(buffer, prefix, std::strlen(prefix)) == 0;
}

// GetMenuItemID reports a position without a command as all bits set; such
// an id names no command the client could carry out, so it counts as none.
bool IsCommand(uint32_t id) { return id != 0 && id != kNoMenuItemId; }

void SendClientCommand(uint32_t id, HWND control) {
  SendMessageA(sharedState.clientMainWindow, WM_COMMAND, id, reinterpret_cast<LPARAM>(control));
}

// The client wraps the body's lines itself: Select All, then the command
// after it. The client may go through the clipboard for that, so it is
// emptied before and after, and redraw is held back until the client is done.
void PrepareBody(HWND body) {
  ClearClipboard(body);
  SendMessageA(body, WM_SETREDRAW, FALSE, 0);
  SendClientCommand(kSelectAllId, nullptr);
  SendClientCommand(SelectAllNext1, nullptr);
  PostMessageA(body, WM_SETREDRAW, TRUE, 0);
  ClearClipboard(body);
}

bool IsMessageWindow(HWND window) {
  return ClassIs(window, HostClassNames.textField, kMessageClassSize) &&
         ClassStartsWith(GetParent(window), HostClassNames.messageParentPrefix, kMessageClassSize);
}

void FailCapture(UINT id) { LoadModuleString(id, MessageText, kMessageTextSize); }

// Releases a block that may be the one the command holds locked.
void ReleaseBlock(HGLOBAL block) {
  if (block == nullptr) return;
  if (block == lockedTextHandle) UnlockCapturedText();
  GlobalFree(block);
}

bool ReadTextIntoNewBlock(HWND window, int length) {
  FreeCapturedText();
  UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(length) + 1));
  if (!block) return false;
  char* text = static_cast<char*>(GlobalLock(block.get()));
  if (text == nullptr) return false;
  text[length] = '\0';
  // The length asked for beforehand can be larger than what is read (double
  // byte texts); the length kept is what the block really holds.
  const int read = GetWindowTextA(window, text, length + 1);
  text[read > 0 ? read : 0] = '\0';
  runState.textLength = read > 0 ? read : 0;
  runState.textHandle = block.release();
  lockedTextHandle = runState.textHandle;
  lockedText = text;
  return true;
}

// The Cc field comes right after its label, somewhere after the first label.
HWND FindCcField(HWND firstLabel) {
  for (HWND sibling = GetWindow(firstLabel, GW_HWNDNEXT); sibling != nullptr;
       sibling = GetWindow(sibling, GW_HWNDNEXT)) {
    if (!ClassIs(sibling, HostClassNames.label, kCompositionClassSize)) continue;
    char text[kCcLabelTextSize];
    GetWindowTextA(sibling, text, sizeof text);
    if (std::strcmp(text, HostClassNames.ccLabel) == 0) return GetWindow(sibling, GW_HWNDNEXT);
  }
  return nullptr;
}

void AppendCcField(HWND firstLabel, std::string& recipients, LeftOutRecipients& leftOut) {
  HWND cc = FindCcField(firstLabel);
  // Only a text field can be asked for nicknames; anything else in that
  // place is not the Cc field.
  if (!ClassIs(cc, HostClassNames.textField, kCompositionClassSize)) return;
  AppendCcRecipients(recipients, ReadAddressField(cc, leftOut));
}

void SetShiftPressed(bool pressed, BYTE& remembered) {
  BYTE keys[256];
  if (!GetKeyboardState(keys)) return;
  if (pressed) {
    remembered = keys[VK_SHIFT];
    keys[VK_SHIFT] |= 0x80;
  } else {
    keys[VK_SHIFT] = remembered;
  }
  SetKeyboardState(keys);
}

// A null procedure is never put back: the window would have none at all.
void RestoreSourceProcedure(HWND window) {
  if (runState.sourceWindowProc != nullptr) {
    ReplaceWindowProc(window, runState.sourceWindowProc);
  }
  runState.sourceWindow = nullptr;
}

}  // namespace

char* CapturedText() {
  return lockedTextHandle != nullptr && lockedTextHandle == runState.textHandle ? lockedText
                                                                                 : nullptr;
}

void UnlockCapturedText() {
  if (lockedTextHandle != nullptr) GlobalUnlock(lockedTextHandle);
  lockedTextHandle = nullptr;
  lockedText = nullptr;
}

void FreeCapturedText() {
  ReleaseBlock(runState.textHandle);
  runState.textHandle = nullptr;
  runState.textLength = 0;
}

void ClearClipboard(HWND window) {
  if (!OpenClipboard(window)) return;
  EmptyClipboard();
  CloseClipboard();
}

void ExpandNickname(HWND field, int start, int end) {
  if (!IsCommand(SelectAllNext2)) return;
  SetFocus(field);
  const bool holdShift = Settings.NickNames != 0;
  BYTE shift = 0;
  if (holdShift) SetShiftPressed(true, shift);
  SendMessageA(field, WM_SETREDRAW, FALSE, 0);
  SendMessageA(field, EM_SETSEL, static_cast<WPARAM>(start & 0xFFFF),
               static_cast<LPARAM>(end & 0xFFFF));
  SendClientCommand(SelectAllNext2 & 0xFFFF, field);
  PostMessageA(field, WM_SETREDRAW, TRUE, 0);
  // Only the Shift entry is put back: the client may have changed others.
  if (holdShift) SetShiftPressed(false, shift);
}

std::string WindowText(HWND window) {
  const int length = GetWindowTextLengthA(window);
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length), '\0');
  const int read = GetWindowTextA(window, text.data(), length + 1);
  text.resize(read > 0 ? static_cast<size_t>(read) : 0);
  return text;
}

std::string ReadAddressField(HWND field, LeftOutRecipients& leftOut) {
  if (!IsReadOnly(field)) {
    // The text is read afresh for every entry: an expansion changes it. Each
    // entry is looked at once, and a text grown past what any command line
    // could carry ends the expansions, so the loop is bounded even for a
    // client whose expansions keep adding entries.
    for (int i = 0;; ++i) {
      const std::string text = WindowText(field);
      if (text.empty()) return text;
      FieldEntry entry;
      if (text.size() > kCommandLineMax || !FindFieldEntry(text.c_str(), i, entry)) break;
      ExpandNickname(field, entry.start, entry.end);
    }
  }
  std::string text = WindowText(field);
  text.resize(static_cast<size_t>(ReduceAddressList(text.data(), &leftOut)));
  return text;
}

bool FindCompositionBody(HWND& window) {
  HWND form = GetParent(window);
  if (!ClassStartsWith(form, HostClassNames.compositionPrefix, kCompositionClassSize)) return false;
  HWND label = GetWindow(form, GW_CHILD);
  HWND to = GetWindow(label, GW_HWNDNEXT);
  // Both layout checks come before the To field is read: reading it sends
  // the client nickname commands, which must not reach a form that turns
  // out not to be a composition.
  if (!ClassIs(to, HostClassNames.textField, kCompositionClassSize) ||
      !ClassIs(label, HostClassNames.label, kCompositionClassSize)) {
    return false;
  }
  HWND body = GetWindow(GetWindow(label, GW_HWNDLAST), GW_HWNDPREV);
  if (body == nullptr) return false;

  std::string recipients = WindowText(to);
  if (AngleAddressOfToText(recipients) == 0)
    recipients = ReadAddressField(to, runState.recipientsLeftOut);
  // The Cc field counts whether or not the To field named anybody.
  AppendCcField(label, recipients, runState.recipientsLeftOut);
  runState.recipients = std::move(recipients);
  window = body;
  return true;
}

bool IsReadOnly(HWND window) {
  return (GetWindowLongA(window, GWL_STYLE) & ES_READONLY) != 0;
}

HWND CaptureMessageText(HWND focus) {
  runState.recipients.clear();
  ClearLeftOut(runState.recipientsLeftOut);
  HWND window = focus;
  if (window != nullptr && FindCompositionBody(window)) {
    SetFocus(window);
    if (IsCommand(SelectAllNext1) && !IsReadOnly(window)) PrepareBody(window);
    runState.windowKind = CompositionWindow;
  } else if (IsMessageWindow(window)) {
    runState.windowKind = MessageWindow;
  } else {
    FailCapture(IDS_NO_TEXT_FOUND);
    return nullptr;
  }
  const int length = GetWindowTextLengthA(window);
  if (length < 2) {
    FailCapture(IDS_NO_TEXT_FOUND);
    return nullptr;
  }
  runState.sourceWindow = window;
  if (!ReadTextIntoNewBlock(window, length)) {
    FailCapture(IDS_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return window;
}

bool ReplaceSourceText(HGLOBAL block, char* message) {
  HWND source = runState.sourceWindow;
  if (!ClassIs(source, HostClassNames.textField, kMessageClassSize)) {
    LoadModuleString(IDS_NO_SOURCE_WINDOW, message, kMessageTextSize);
    return false;
  }
  {
    GlobalLockGuard text(block);
    // A window that refuses the text (too long for it) must not cost the
    // text: the block is only freed once the window holds it.
    if (text.get() == nullptr || !SetWindowTextA(source, text.text())) {
      LoadModuleString(IDS_NO_WINDOW_TEXT, message, kMessageTextSize);
      return false;
    }
  }
  PostMessageA(GetParent(source), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(source), EN_UPDATE),
               reinterpret_cast<LPARAM>(source));
  PostMessageA(source, WM_VSCROLL, 0x00060000, 0);
  runState.UndoArmed = 1;
  ReleaseBlock(block);
  return true;
}

bool UndoPgpResult(HWND owner) {
  char message[kMessageTextSize];
  HWND source = runState.sourceWindow;
  const int length = source != nullptr ? GetWindowTextLengthA(source) : 0;
  UniqueGlobal shown(GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(length) + 1));
  bool done = false;
  int shownLength = 0;
  if (!shown) {
    LoadModuleString(IDS_NOT_ENOUGH_MEMORY, message, sizeof message);
  } else {
    {
      GlobalLockGuard text(shown.get());
      if (text.get() != nullptr) {
        text.text()[0] = '\0';
        shownLength = source != nullptr ? GetWindowTextA(source, text.text(), length + 1) : 0;
      }
    }
    done = ReplaceSourceText(runState.textHandle, message);
  }
  if (done) {
    runState.textHandle = shown.release();
    runState.textLength = shownLength > 0 ? shownLength : 0;
  } else {
    MessageBoxA(owner, message, "UNDO", MB_ICONEXCLAMATION);
  }
  return done;
}

// The table of the undo subclass: while a result can be undone, the client's
// Undo swaps texts; typing, pasting, clearing or closing ends that, and once
// it has ended the next message of any kind takes the subclass away.
extern "C" LRESULT CALLBACK SourceWindowSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC previous = runState.sourceWindowProc;
  const bool armed = runState.UndoArmed != 0;
  if (armed) {
    switch (message) {
      case EM_CANUNDO:
        return 1;
      case WM_UNDO:
        return UndoPgpResult(window) ? 1 : 0;
      case WM_DESTROY:
      case WM_CHAR:
      case WM_PASTE:
      case WM_CLEAR:
        runState.UndoArmed = 0;
        RestoreSourceProcedure(window);
        break;
      default:
        break;
    }
  } else {
    RestoreSourceProcedure(window);
  }
  // Without a previous procedure there is nothing to pass on to; the
  // default handling keeps the window alive instead of calling null.
  if (previous == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  return CallWindowProcA(previous, window, message, wParam, lParam);
}
