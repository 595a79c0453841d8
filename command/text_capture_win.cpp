#include "command/text_capture_win.h"

#include <cstring>
#include <string>
#include <utility>

#include "command/text_capture.h"
#include "common/handles_win.h"
#include "core/mail_client.h"
#include "core/message_box_win.h"
#include "core/module_win.h"
#include "core/shared_state_win.h"
#include "core/window_procedure_win.h"
#include "resources/resource_ids.h"
#include "settings/settings_file_win.h"

const ClientWindowProfile HostClassNames{"#", "Afx:", "Edit", "Static", "&Cc:", 0};

namespace {

// Class names are read into these many characters: enough for every name
// compared here, and a longer name cannot match anyway.
constexpr int kCompositionClassSize = 24;
constexpr int kMessageClassSize = 20;
constexpr int kCcLabelTextSize = 24;

// The property of a subclassed window that leads P07 to its kept text.
constexpr char kKeptTextProperty[] = "Quillnet.KeptText";

KeptText* KeptTextOf(HWND window) { return static_cast<KeptText*>(GetPropA(window, kKeptTextProperty)); }

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
void PrepareBody(const CommandContext& context, HWND body) {
  ClearClipboard(body);
  SendMessageA(body, WM_SETREDRAW, FALSE, 0);
  SendClientCommand(kSelectAllId, nullptr);
  SendClientCommand(context.SelectAllNext1, nullptr);
  PostMessageA(body, WM_SETREDRAW, TRUE, 0);
  ClearClipboard(body);
}

bool IsMessageWindow(HWND window) {
  return ClassIs(window, HostClassNames.textField, kMessageClassSize) &&
         ClassStartsWith(GetParent(window), HostClassNames.messageParentPrefix, kMessageClassSize);
}

// Releases a block that may be the one the command holds locked.
void ReleaseBlock(KeptText& kept, HGLOBAL block) {
  if (block == nullptr) return;
  if (block == kept.lockedTextHandle) UnlockCapturedText(kept);
  GlobalFree(block);
}

bool ReadTextIntoNewBlock(KeptText& kept, HWND window, int length) {
  FreeCapturedText(kept);
  UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(length) + 1));
  if (!block) return false;
  char* text = static_cast<char*>(GlobalLock(block.get()));
  if (text == nullptr) return false;
  text[length] = '\0';
  // The length asked for beforehand can be larger than what is read (double
  // byte texts); the length kept is what the block really holds.
  const int read = GetWindowTextA(window, text, length + 1);
  text[read > 0 ? read : 0] = '\0';
  kept.textLength = read > 0 ? read : 0;
  kept.textHandle = block.release();
  kept.lockedTextHandle = kept.textHandle;
  kept.lockedText = text;
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

void AppendCcField(const CommandContext& context, HWND firstLabel, std::string& recipients,
                   LeftOutRecipients& leftOut) {
  HWND cc = FindCcField(firstLabel);
  // Only a text field can be asked for nicknames; anything else in that
  // place is not the Cc field.
  if (!ClassIs(cc, HostClassNames.textField, kCompositionClassSize)) return;
  AppendCcRecipients(recipients, ReadAddressField(context, cc, leftOut));
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
void RestoreSourceProcedure(KeptText& kept, HWND window) {
  if (kept.sourceWindowProc != nullptr) {
    ReplaceWindowProc(window, kept.sourceWindowProc);
  }
  RemovePropA(window, kKeptTextProperty);
  kept.sourceWindow = nullptr;
}

}  // namespace

char* CapturedText(const KeptText& kept) {
  return kept.lockedTextHandle != nullptr && kept.lockedTextHandle == kept.textHandle
             ? kept.lockedText
             : nullptr;
}

void UnlockCapturedText(KeptText& kept) {
  if (kept.lockedTextHandle != nullptr) GlobalUnlock(kept.lockedTextHandle);
  kept.lockedTextHandle = nullptr;
  kept.lockedText = nullptr;
}

void FreeCapturedText(KeptText& kept) {
  ReleaseBlock(kept, kept.textHandle);
  kept.textHandle = nullptr;
  kept.textLength = 0;
}

void ClearClipboard(HWND window) {
  if (!OpenClipboard(window)) return;
  EmptyClipboard();
  CloseClipboard();
}

void ExpandNickname(const CommandContext& context, HWND field, int start, int end) {
  if (!IsCommand(context.SelectAllNext2)) return;
  SetFocus(field);
  const bool holdShift = context.Settings.NickNames != 0;
  BYTE shift = 0;
  if (holdShift) SetShiftPressed(true, shift);
  SendMessageA(field, WM_SETREDRAW, FALSE, 0);
  SendMessageA(field, EM_SETSEL, static_cast<WPARAM>(start & 0xFFFF),
               static_cast<LPARAM>(end & 0xFFFF));
  SendClientCommand(context.SelectAllNext2 & 0xFFFF, field);
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

std::string ReadAddressField(const CommandContext& context, HWND field, LeftOutRecipients& leftOut) {
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
      ExpandNickname(context, field, entry.start, entry.end);
    }
  }
  std::string text = WindowText(field);
  text.resize(static_cast<size_t>(ReduceAddressList(text.data(), &leftOut)));
  return text;
}

bool FindCompositionBody(const CommandContext& context, RunState& state, HWND& window) {
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
    recipients = ReadAddressField(context, to, state.recipientsLeftOut);
  // The Cc field counts whether or not the To field named anybody.
  AppendCcField(context, label, recipients, state.recipientsLeftOut);
  state.recipients = std::move(recipients);
  window = body;
  return true;
}

bool IsReadOnly(HWND window) {
  return (GetWindowLongA(window, GWL_STYLE) & ES_READONLY) != 0;
}

Failure CaptureMessageText(CommandContext& context, RunState& state, HWND focus) {
  state.recipients.clear();
  ClearLeftOut(state.recipientsLeftOut);
  HWND window = focus;
  if (window != nullptr && FindCompositionBody(context, state, window)) {
    SetFocus(window);
    if (IsCommand(context.SelectAllNext1) && !IsReadOnly(window)) PrepareBody(context, window);
    state.windowKind = CompositionWindow;
  } else if (IsMessageWindow(window)) {
    state.windowKind = MessageWindow;
  } else {
    return ModuleString(IDS_NO_TEXT_FOUND);
  }
  const int length = GetWindowTextLengthA(window);
  if (length < 2) return ModuleString(IDS_NO_TEXT_FOUND);
  context.sourceWindow = window;
  if (!ReadTextIntoNewBlock(context, window, length)) return ModuleString(IDS_NOT_ENOUGH_MEMORY);
  return std::nullopt;
}

Failure ReplaceSourceText(KeptText& kept, HGLOBAL block) {
  HWND source = kept.sourceWindow;
  if (!ClassIs(source, HostClassNames.textField, kMessageClassSize))
    return ModuleString(IDS_NO_SOURCE_WINDOW);
  {
    GlobalLockGuard text(block);
    // A window that refuses the text (too long for it) must not cost the
    // text: the block is only freed once the window holds it.
    if (text.get() == nullptr || !SetWindowTextA(source, text.text()))
      return ModuleString(IDS_NO_WINDOW_TEXT);
  }
  PostMessageA(GetParent(source), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(source), EN_UPDATE),
               reinterpret_cast<LPARAM>(source));
  PostMessageA(source, WM_VSCROLL, 0x00060000, 0);
  kept.UndoArmed = 1;
  ReleaseBlock(kept, block);
  return std::nullopt;
}

bool UndoPgpResult(KeptText& kept, HWND owner) {
  HWND source = kept.sourceWindow;
  const int length = source != nullptr ? GetWindowTextLengthA(source) : 0;
  UniqueGlobal shown(GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(length) + 1));
  Failure failure;
  int shownLength = 0;
  if (!shown) {
    failure = ModuleString(IDS_NOT_ENOUGH_MEMORY);
  } else {
    {
      GlobalLockGuard text(shown.get());
      if (text.get() != nullptr) {
        text.text()[0] = '\0';
        shownLength = source != nullptr ? GetWindowTextA(source, text.text(), length + 1) : 0;
      }
    }
    failure = ReplaceSourceText(kept, kept.textHandle);
  }
  if (failure) {
    ShowMessageBox(owner, *failure, MB_ICONEXCLAMATION, "UNDO");
    return false;
  }
  kept.textHandle = shown.release();
  kept.textLength = shownLength > 0 ? shownLength : 0;
  return true;
}

void InstallUndoSubclass(KeptText& kept, HWND window) {
  if (WindowProcOf(window) == SourceWindowSubclassProc) return;
  SetPropA(window, kKeptTextProperty, &kept);
  kept.sourceWindowProc = ReplaceWindowProc(window, SourceWindowSubclassProc);
}

void EndUndo(KeptText& kept) {
  kept.UndoArmed = FALSE;
  HWND source = kept.sourceWindow;
  if (source != nullptr && kept.sourceWindowProc != nullptr &&
      WindowProcIs(source, SourceWindowSubclassProc)) {
    ReplaceWindowProc(source, kept.sourceWindowProc);
    RemovePropA(source, kKeptTextProperty);
  }
  kept.sourceWindow = nullptr;
}

// The table of the undo subclass: while a result can be undone, the client's
// Undo swaps texts; typing, pasting, clearing or closing ends that, and once
// it has ended the next message of any kind takes the subclass away.
extern "C" LRESULT CALLBACK SourceWindowSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  KeptText* kept = KeptTextOf(window);
  // Without its kept text there is nothing to pass on to; the default
  // handling keeps the window alive instead of calling null.
  if (kept == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  WNDPROC previous = kept->sourceWindowProc;
  const bool armed = kept->UndoArmed != 0;
  if (armed) {
    switch (message) {
      case EM_CANUNDO:
        return 1;
      case WM_UNDO:
        return UndoPgpResult(*kept, window) ? 1 : 0;
      case WM_DESTROY:
      case WM_CHAR:
      case WM_PASTE:
      case WM_CLEAR:
        kept->UndoArmed = 0;
        RestoreSourceProcedure(*kept, window);
        break;
      default:
        break;
    }
  } else {
    RestoreSourceProcedure(*kept, window);
  }
  if (previous == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  return CallWindowProcA(previous, window, message, wParam, lParam);
}
