// A small mail client built inside the test process, on the test's thread,
// with the windows, menus and commands the module relies on in the real
// client: a main window whose Edit menu holds Undo, Select All and the two
// commands after it (Wrap Selection and Finish Nickname, the latter backed
// by a small alias table); a composition form with its header fields and
// body; and a read-only message window. It carries out the commands the
// module sends the way a mail client would and records what it was asked,
// so tests can check both the module's effect and its conversation with the
// client. It also becomes sharedState.clientMainWindow while it lives.
#pragma once

#include <windows.h>

#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "core/shared_state_win.h"

namespace fake_client {

constexpr char kMainClass[] = "EudoraMainWindow";
constexpr char kFormClass[] = "#FakeComposition";
constexpr char kViewClass[] = "Afx:FakeMessageView";

// The client's command ids. Wrap Selection and Finish Nickname follow
// Select All in the Edit menu; their values are the client's own.
constexpr UINT kFileNewId = 0xE100;
constexpr UINT kAppExitId = 0xE141;
constexpr UINT kUndoId = 0xE12B;
constexpr UINT kCutId = 0xE123;
constexpr UINT kCopyId = 0xE122;
constexpr UINT kPasteId = 0xE125;
constexpr UINT kSelectAllId = 0xE12A;
constexpr UINT kWrapSelectionId = 0x8061;
constexpr UINT kFinishNicknameId = 0x8062;
constexpr UINT kMessageFirstId = 0x801D;
constexpr UINT kHelpIndexId = 0xE142;

// Control ids inside the composition form and the message view.
constexpr int kToLabelId = 100;
constexpr int kToId = 101;
constexpr int kSubjectLabelId = 102;
constexpr int kSubjectId = 103;
constexpr int kCcLabelId = 104;
constexpr int kCcId = 105;
constexpr int kBccLabelId = 106;
constexpr int kBccId = 107;
constexpr int kBodyId = 108;
constexpr int kAttachmentsId = 109;
constexpr int kMessageId = 201;
constexpr int kLooseEditId = 301;

// One child of a form, in z-order.
struct Child {
  const char* cls;
  const char* text;
  int id;
  DWORD style = 0;
};

// The usual composition form: label first, To second, a "&Cc:" label right
// before the Cc field, the body second-to-last and the attachment line last.
inline std::vector<Child> CompositionLayout(DWORD toStyle = 0, DWORD bodyStyle = 0) {
  return {
      {"Static", "To:", kToLabelId},
      {"Edit", "", kToId, toStyle | ES_AUTOHSCROLL},
      {"Static", "&Subject:", kSubjectLabelId},
      {"Edit", "", kSubjectId, ES_AUTOHSCROLL},
      {"Static", "&Cc:", kCcLabelId},
      {"Edit", "", kCcId, ES_AUTOHSCROLL},
      {"Static", "&Bcc:", kBccLabelId},
      {"Edit", "", kBccId, ES_AUTOHSCROLL},
      {"Edit", "", kBodyId, bodyStyle | ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL},
      {"Static", "Attachments:", kAttachmentsId},
  };
}

struct NicknameCall {
  HWND field;
  int start;
  int end;
  bool shiftDown;
};

struct EditUpdate {
  HWND parent;
  int id;
  HWND control;
};

class FakeClient {
 public:
  explicit FakeClient(std::vector<Child> layout = CompositionLayout()) {
    RegisterClasses();
    previousMainWindow_ = sharedState.clientMainWindow;
    main = CreateWindowExA(0, kMainClass, "Fake Mail", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 40,
                           40, 900, 600, nullptr, BuildMenu(), GetModuleHandleA(nullptr), this);
    form = AddForm(layout, 0, 0);
    view = CreateWindowExA(0, kViewClass, "", WS_CHILD | WS_VISIBLE | WS_BORDER, 450, 0, 430, 500,
                           main, nullptr, GetModuleHandleA(nullptr), this);
    message = CreateWindowExA(
        WS_EX_CLIENTEDGE, "Edit", "",
        WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL, 5, 5,
        415, 480, view, reinterpret_cast<HMENU>(kMessageId), GetModuleHandleA(nullptr), nullptr);
    looseEdit = CreateWindowExA(WS_EX_CLIENTEDGE, "Edit", "loose text", WS_CHILD | WS_VISIBLE, 5,
                                510, 300, 22, main, reinterpret_cast<HMENU>(kLooseEditId),
                                GetModuleHandleA(nullptr), nullptr);
    to = GetDlgItem(form, kToId);
    cc = GetDlgItem(form, kCcId);
    body = GetDlgItem(form, kBodyId);
    sharedState.clientMainWindow = main;
    ShowWindow(main, SW_SHOW);
    SetForegroundWindow(main);
    Pump();
  }

  ~FakeClient() {
    if (IsWindow(main)) DestroyWindow(main);
    sharedState.clientMainWindow = previousMainWindow_;
    Pump();
  }

  FakeClient(const FakeClient&) = delete;
  FakeClient& operator=(const FakeClient&) = delete;

  // A further form of the composition class, for layouts the module must
  // not take for a composition. Children are made in z-order.
  HWND AddForm(const std::vector<Child>& layout, int x, int y) {
    HWND f = CreateWindowExA(0, kFormClass, "", WS_CHILD | WS_VISIBLE | WS_BORDER, x, y, 440, 500,
                             main, nullptr, GetModuleHandleA(nullptr), this);
    int top = 5;
    for (const Child& c : layout) {
      const bool isEdit = lstrcmpiA(c.cls, "Edit") == 0;
      const bool multi = (c.style & ES_MULTILINE) != 0;
      const int height = multi ? 250 : 22;
      CreateWindowExA(isEdit ? WS_EX_CLIENTEDGE : 0, c.cls, c.text,
                      WS_CHILD | WS_VISIBLE | (isEdit ? WS_TABSTOP : 0) | c.style,
                      isEdit ? 90 : 5, top, isEdit ? 340 : 80, height, f,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)),
                      GetModuleHandleA(nullptr), nullptr);
      if (isEdit) top += height + 6;
    }
    return f;
  }

  // Delivers what was posted (redraw, the client's update notices).
  static void Pump() {
    MSG msg;
    for (int round = 0; round < 3; ++round) {
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
      Sleep(1);
    }
  }

  static void SetText(HWND window, const std::string& text) {
    SetWindowTextA(window, text.c_str());
  }
  static std::string Text(HWND window) {
    const int n = GetWindowTextLengthA(window);
    std::string text(static_cast<size_t>(n) + 1, '\0');
    const int read = GetWindowTextA(window, text.data(), n + 1);
    text.resize(read > 0 ? static_cast<size_t>(read) : 0);
    return text;
  }

  HWND main = nullptr;
  HWND form = nullptr;
  HWND view = nullptr;
  HWND message = nullptr;    // the read-only message window
  HWND looseEdit = nullptr;  // an edit that is neither kind of window
  HWND to = nullptr;
  HWND cc = nullptr;
  HWND body = nullptr;

  // Nickname -> what Finish Nickname puts in its place (case-insensitive).
  std::vector<std::pair<std::string, std::string>> aliases{
      {"alice", "Alice Liddell <alice@example.org>"},
      {"bob", "bob@example.net"},
      {"team", "carol@example.com, dave@example.com"},
  };
  // Wrap Selection breaks the selected lines after this many characters.
  int wrapColumn = 30;

  // What the client was asked to do.
  int selectAllCount = 0;
  int wrapCount = 0;
  int undoCount = 0;
  std::vector<NicknameCall> nicknameCalls;
  std::vector<EditUpdate> editUpdates;

 private:
  static HMENU BuildMenu() {
    HMENU bar = CreateMenu();
    HMENU file = CreatePopupMenu();
    AppendMenuA(file, MF_STRING, kFileNewId, "&New");
    AppendMenuA(file, MF_STRING, kAppExitId, "E&xit");
    HMENU edit = CreatePopupMenu();
    AppendMenuA(edit, MF_STRING, kUndoId, "&Undo");
    AppendMenuA(edit, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(edit, MF_STRING, kCutId, "Cu&t");
    AppendMenuA(edit, MF_STRING, kCopyId, "&Copy");
    AppendMenuA(edit, MF_STRING, kPasteId, "&Paste");
    AppendMenuA(edit, MF_STRING, kSelectAllId, "Select &All");
    AppendMenuA(edit, MF_STRING, kWrapSelectionId, "&Wrap Selection");
    AppendMenuA(edit, MF_STRING, kFinishNicknameId, "&Finish Nickname");
    HMENU messageMenu = CreatePopupMenu();
    AppendMenuA(messageMenu, MF_STRING, kMessageFirstId, "&New Message");
    HMENU help = CreatePopupMenu();
    AppendMenuA(help, MF_STRING, kHelpIndexId, "&Index");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(edit), "&Edit");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(messageMenu), "&Message");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), "&Help");
    return bar;
  }

  static void RegisterClasses() {
    static bool registered = false;
    if (registered) return;
    registered = true;
    WNDCLASSA wc{};
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpfnWndProc = MainProc;
    wc.lpszClassName = kMainClass;
    RegisterClassA(&wc);
    wc.lpfnWndProc = ContainerProc;
    wc.lpszClassName = kFormClass;
    RegisterClassA(&wc);
    wc.lpszClassName = kViewClass;
    RegisterClassA(&wc);
  }

  static FakeClient* Of(HWND window, UINT message, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      auto* self = static_cast<FakeClient*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
      SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
      return self;
    }
    return reinterpret_cast<FakeClient*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  }

  static bool IsEdit(HWND window) {
    char cls[16];
    return window != nullptr && GetClassNameA(window, cls, sizeof cls) > 0 &&
           lstrcmpiA(cls, "Edit") == 0;
  }

  static std::pair<int, int> Selection(HWND edit) {
    DWORD start = 0;
    DWORD end = 0;
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    return {static_cast<int>(start), static_cast<int>(end)};
  }

  // Lines of the selection longer than wrapColumn are broken at their last
  // blank within the column.
  void WrapSelection(HWND edit) {
    ++wrapCount;
    if (!IsEdit(edit) || wrapColumn <= 0) return;
    auto [start, end] = Selection(edit);
    std::string text = Text(edit);
    if (end > static_cast<int>(text.size())) end = static_cast<int>(text.size());
    if (start >= end) return;
    std::string part = text.substr(static_cast<size_t>(start), static_cast<size_t>(end - start));
    std::string wrapped;
    size_t lineStart = 0;
    for (size_t i = 0; i <= part.size(); ++i) {
      if (i < part.size() && part[i] != '\n') continue;
      std::string line = part.substr(lineStart, i - lineStart);
      while (static_cast<int>(line.size()) > wrapColumn) {
        size_t cut = line.rfind(' ', static_cast<size_t>(wrapColumn));
        if (cut == std::string::npos || cut == 0) break;
        wrapped += line.substr(0, cut) + "\r\n";
        line.erase(0, cut + 1);
      }
      wrapped += line;
      if (i < part.size()) wrapped += '\n';
      lineStart = i + 1;
    }
    SendMessageA(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(wrapped.c_str()));
  }

  // Replaces the selected nickname, blanks around it kept, by its expansion.
  void FinishNickname(HWND field) {
    auto [start, end] = Selection(field);
    nicknameCalls.push_back({field, start, end, (GetKeyState(VK_SHIFT) & 0x8000) != 0});
    const std::string text = Text(field);
    if (end > static_cast<int>(text.size())) end = static_cast<int>(text.size());
    while (start < end && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
    while (end > start && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    const std::string name = text.substr(static_cast<size_t>(start), static_cast<size_t>(end - start));
    for (const auto& [nick, expansion] : aliases) {
      if (lstrcmpiA(nick.c_str(), name.c_str()) != 0) continue;
      SendMessageA(field, EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
      SendMessageA(field, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(expansion.c_str()));
      return;
    }
  }

  bool Command(UINT id, HWND control) {
    HWND focus = GetFocus();
    switch (id) {
      case kSelectAllId:
        ++selectAllCount;
        if (IsEdit(focus)) SendMessageA(focus, EM_SETSEL, 0, -1);
        return true;
      case kWrapSelectionId:
        WrapSelection(focus);
        return true;
      case kFinishNicknameId:
        FinishNickname(control != nullptr ? control : focus);
        return true;
      case kUndoId:
        ++undoCount;
        if (IsEdit(focus)) SendMessageA(focus, WM_UNDO, 0, 0);
        return true;
      default:
        return false;
    }
  }

  static LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    FakeClient* self = Of(window, message, lParam);
    if (message == WM_COMMAND && self != nullptr &&
        self->Command(LOWORD(wParam), reinterpret_cast<HWND>(lParam))) {
      return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }

  // The form and the message view take the update notice of their edits as
  // "the contents changed" and keep it for the tests.
  static LRESULT CALLBACK ContainerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    FakeClient* self = Of(window, message, lParam);
    if (message == WM_COMMAND && self != nullptr && HIWORD(wParam) == EN_UPDATE) {
      self->editUpdates.push_back({window, LOWORD(wParam), reinterpret_cast<HWND>(lParam)});
      return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }

  HWND previousMainWindow_ = nullptr;
};

}  // namespace fake_client
