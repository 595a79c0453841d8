// The main window: menu commands, the mailbox list and the layout of the
// toolbar, list, MDI client and status line.
#include <algorithm>
#include <exception>

#include "testbed/mailclient/client.h"
#include "testbed/mailclient/mail_text.h"
#include "common/handles_win.h"

Client client;

namespace {

constexpr int kListWidth = 300;
constexpr int kStatusHeight = 20;

constexpr char kHelpText[] =
    "This is a stand-in for the Eudora mail client, made for testing the Quillnet\r\n"
    "PGP extension.\r\n"
    "\r\n"
    "The list on the left shows the messages (*.msg, *.eml and mbox files) of the\r\n"
    "mail folder; double-click one to read it. The attachments of *.eml and mbox\r\n"
    "mail are saved in the folder's attach directory.\r\n"
    "\r\n"
    "File > New Message (Ctrl+N) writes a new message, Message > Reply (Ctrl+R)\r\n"
    "answers the message in front, quoting it with '>'. Message > Send Immediately\r\n"
    "(Ctrl+E) stores the message in the folder's Out directory.\r\n"
    "\r\n"
    "Edit > Finish Nickname (Ctrl+,) replaces a nickname from nicknames.txt by its\r\n"
    "addresses; Edit > Wrap Selection breaks long lines at 76 columns.\r\n";

std::string FolderShown() {
  return client.showingOut ? client.mailFolder + "\\Out" : client.mailFolder;
}

HMENU PopupByText(HMENU bar, const char* text) {
  for (int i = 0, n = GetMenuItemCount(bar); i < n; ++i) {
    char item[64];
    if (GetMenuStringA(bar, i, item, sizeof item, MF_BYPOSITION) > 0 && !lstrcmpA(item, text))
      return GetSubMenu(bar, i);
  }
  return nullptr;
}

void Layout(HWND main) {
  RECT r;
  GetClientRect(main, &r);
  int width = r.right, height = r.bottom;
  int top = std::min(kToolBarHeight, height);
  int bottom = std::max(top, height - kStatusHeight);
  int list = std::min(kListWidth, width / 3);
  const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
  SetWindowPos(client.toolBar, nullptr, 0, 0, width, kToolBarHeight, flags);
  SetWindowPos(client.mailboxList, nullptr, 0, top, list, bottom - top, flags);
  SetWindowPos(client.mdiClient, nullptr, list, top, width - list, bottom - top, flags);
  SetWindowPos(client.statusLine, nullptr, 0, bottom, width, height - bottom, flags);
}

bool CreateChildren(HWND main) {
  client.main = main;
  client.uiFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  client.textFont.reset(CreateFontA(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                FIXED_PITCH | FF_MODERN, "Courier New"));
  // The toolbar comes first among the children: the module takes the first
  // control bar at the client area's top.
  client.toolBar = CreateToolBar(main);
  client.mailboxList = CreateWindowExA(
      WS_EX_CLIENTEDGE, "ListBox", "",
      WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT |
          LBS_USETABSTOPS,
      0, 0, 0, 0, main, reinterpret_cast<HMENU>(IDC_MAILBOX_LIST), client.instance, nullptr);
  CLIENTCREATESTRUCT mdi{PopupByText(GetMenu(main), "&Window"), IDC_FIRST_CHILD};
  client.mdiClient = CreateWindowExA(
      WS_EX_CLIENTEDGE, "MDICLIENT", nullptr,
      WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_VSCROLL | WS_HSCROLL, 0, 0, 0, 0, main,
      reinterpret_cast<HMENU>(IDC_MDI_CLIENT), client.instance, &mdi);
  client.statusLine = CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP,
                                      0, 0, 0, 0, main,
                                      reinterpret_cast<HMENU>(IDC_STATUS_LINE), client.instance,
                                      nullptr);
  if (!client.toolBar || !client.mailboxList || !client.mdiClient || !client.statusLine)
    return false;
  SendMessageA(client.mailboxList, WM_SETFONT, reinterpret_cast<WPARAM>(client.uiFont), FALSE);
  SendMessageA(client.statusLine, WM_SETFONT, reinterpret_cast<WPARAM>(client.uiFont), FALSE);
  int tabStop = 64;  // dialog units: the sender's name, then the subject
  SendMessageA(client.mailboxList, LB_SETTABSTOPS, 1, reinterpret_cast<LPARAM>(&tabStop));
  RefreshMailbox();
  return true;
}

// The file of the message selected in the list, and its place in the file.
std::string SelectedMessagePath(size_t& message) {
  LRESULT index = SendMessageA(client.mailboxList, LB_GETCURSEL, 0, 0);
  if (index < 0 || static_cast<size_t>(index) >= client.mailbox.size()) return {};
  message = client.mailbox[index].message;
  return FolderShown() + "\\" + client.mailbox[index].file;
}

void OpenSelectedMessage() {
  size_t message = 0;
  std::string path = SelectedMessagePath(message);
  if (path.empty()) return;
  std::string error;
  if (!OpenMessageFile(path, message, &error)) SetStatus(error);
}

// The message to answer: the one in front, else the one selected in the list.
bool MessageToAnswer(std::string& text) {
  if (Frame* f = ActiveFrame(); f && f->kind == FrameKind::Message) {
    text = WindowText(f->view);
    return true;
  }
  size_t message = 0;
  std::string path = SelectedMessagePath(message);
  if (path.empty()) return false;
  if (IsReceivedMailFile(path)) {
    MessageShown shown;
    std::string error;
    if (!ShowReceivedMail(path, message, shown, error)) return false;
    text = std::move(shown.text);
    return true;
  }
  if (!ReadWholeFile(path, text)) return false;
  text = mailtext::ToCrlf(text);
  return true;
}

void Answer(bool forward) {
  std::string text;
  if (!MessageToAnswer(text)) {
    MessageBeep(MB_ICONEXCLAMATION);
    SetStatus("There is no message to answer: open or select one first.");
    return;
  }
  std::string from = mailtext::HeaderValue(text, "From");
  std::string subject = mailtext::HeaderValue(text, "Subject");
  std::string quoted = mailtext::QuoteLines(mailtext::BodyOf(text), ">");
  ComposeFields fields;
  fields.from = kDefaultFrom;
  if (forward) {
    fields.subject = "Fwd: " + subject;
    fields.body = "\r\nForwarded message from " + from + ":\r\n" + quoted;
  } else {
    fields.to = from;
    fields.subject = mailtext::ReplySubject(subject);
    fields.body = "\r\n" + (from.empty() ? std::string("You") : from) + " wrote:\r\n\r\n" + quoted;
  }
  OpenComposition(fields);
}

void SendActive() {
  Frame* frame = ActiveFrame();
  if (!frame || frame->kind != FrameKind::Composition) {
    MessageBeep(MB_ICONEXCLAMATION);
    SetStatus("Only a message being written can be sent.");
    return;
  }
  std::string savedAs;
  if (SaveToOut(*frame, &savedAs)) {
    SetStatus("Sent: stored as " + savedAs);
    if (client.showingOut) RefreshMailbox();
  } else {
    SetStatus("Could not store the message in " + client.mailFolder + "\\Out");
  }
}

void ShowNicknames() {
  std::string text;
  if (!ReadWholeFile(client.mailFolder + "\\nicknames.txt", text))
    text = "There is no nicknames.txt in " + client.mailFolder + ".";
  OpenInfo("Nicknames", mailtext::ToCrlf(text));
}

void CloseActive() {
  if (Frame* f = ActiveFrame()) CloseFrame(*f);
}

bool OnCommand(HWND main, WPARAM wParam, LPARAM lParam) {
  WORD id = LOWORD(wParam);
  if (lParam != 0 && reinterpret_cast<HWND>(lParam) == client.mailboxList) {
    if (HIWORD(wParam) == LBN_DBLCLK) OpenSelectedMessage();
    return true;
  }
  if (HandleEditCommand(id, lParam)) return true;
  switch (id) {
    case ID_FILE_NEW_MESSAGE: {
      ComposeFields fields;
      fields.from = kDefaultFrom;
      OpenComposition(fields);
      return true;
    }
    case ID_FILE_OPEN_MESSAGE: OpenSelectedMessage(); return true;
    case ID_FILE_CLOSE: CloseActive(); return true;
    case ID_FILE_CHECK_MAIL: RefreshMailbox(); return true;
    // The real client closes like this too: the close request goes through
    // whatever procedure the main window has at that moment.
    case ID_APP_EXIT: SendMessageA(main, WM_CLOSE, 0, 0); return true;
    case ID_MAILBOX_IN: client.showingOut = false; RefreshMailbox(); return true;
    case ID_MAILBOX_OUT: client.showingOut = true; RefreshMailbox(); return true;
    case ID_MESSAGE_REPLY: Answer(false); return true;
    case ID_MESSAGE_FORWARD: Answer(true); return true;
    case ID_MESSAGE_SEND: SendActive(); return true;
    case ID_TOOLS_MAILBOXES: SetFocus(client.mailboxList); return true;
    case ID_TOOLS_NICKNAMES: ShowNicknames(); return true;
    case ID_WINDOW_CASCADE: SendMessageA(client.mdiClient, WM_MDICASCADE, 0, 0); return true;
    case ID_WINDOW_TILE: SendMessageA(client.mdiClient, WM_MDITILE, MDITILE_HORIZONTAL, 0); return true;
    case ID_WINDOW_ARRANGE: SendMessageA(client.mdiClient, WM_MDIICONARRANGE, 0, 0); return true;
    case ID_HELP_TOPICS: OpenInfo("Eudora Help", kHelpText); return true;
    case ID_APP_ABOUT:
      OpenInfo("About Eudora", "Eudora stand-in for the Quillnet tests.\r\n"
                               "It imitates the windows, menus and commands of the\r\n"
                               "32-bit Eudora that the extension relies on.\r\n");
      return true;
    default: return false;
  }
}

LRESULT MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: return CreateChildren(window) ? 0 : -1;
    case WM_SIZE:
      // Not passed on: the frame's default would stretch the MDI client
      // over the toolbar and the list.
      if (client.mdiClient) Layout(window);
      return 0;
    case WM_COMMAND:
      if (OnCommand(window, wParam, lParam)) return 0;
      break;
    case WM_COPYDATA:
      return HandleAutomation(reinterpret_cast<HWND>(wParam),
                              reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_SETFOCUS:
      if (!ActiveFrame()) {
        SetFocus(client.mailboxList);
        return 0;
      }
      break;
    case WM_CLOSE: DestroyWindow(window); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_NCDESTROY:
      client.main = client.toolBar = client.mdiClient = client.mailboxList = client.statusLine =
          nullptr;
      break;
  }
  return DefFrameProcA(window, client.mdiClient, message, wParam, lParam);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    return MainProc(window, message, wParam, lParam);
  } catch (const std::exception& e) {
    // Out of memory for a huge message, most likely: say so and go on.
    SetStatus(std::string("Command failed: ") + e.what());
    return 0;
  }
}

}  // namespace

bool RegisterClientClasses(HINSTANCE instance) {
  WNDCLASSA main{};
  main.lpfnWndProc = MainWindowProc;
  main.hInstance = instance;
  main.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
  main.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  main.lpszMenuName = MAKEINTRESOURCEA(IDR_MAINFRAME);
  main.lpszClassName = kMainClass;
  return RegisterClassA(&main) && RegisterToolBarClass(instance) && RegisterFrameClasses(instance);
}

HWND CreateMainWindow(int show) {
  HWND main = CreateWindowExA(0, kMainClass, "Eudora", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                              CW_USEDEFAULT, CW_USEDEFAULT, 960, 680, nullptr, nullptr,
                              client.instance, nullptr);
  if (!main) return nullptr;
  ShowWindow(main, show);
  UpdateWindow(main);
  return main;
}

void SetStatus(std::string_view text) {
  if (client.statusLine) SetWindowTextA(client.statusLine, std::string(text).c_str());
}

std::string AttachmentPrefix() {
  char text[64];
  int n = LoadStringA(client.instance, IDS_ATTACHMENT_CONVERTED, text, sizeof text);
  return std::string(text, n > 0 ? n : 0);
}

namespace {

bool HasExtension(const std::string& name, std::string_view extension) {
  return name.size() > extension.size() &&
         !lstrcmpiA(name.c_str() + name.size() - extension.size(), std::string(extension).c_str());
}

// A *.msg file is one message whose first header lines are shown as they are.
MailboxEntry MsgEntry(const std::string& folder, const std::string& file) {
  MailboxEntry entry{file, 0, {}, {}};
  std::string text;
  if (ReadWholeFile(folder + "\\" + file, text)) {
    entry.from = mailtext::HeaderValue(text, "From");
    entry.subject = mailtext::HeaderValue(text, "Subject");
  }
  return entry;
}

std::vector<MailboxEntry> FolderEntries(const std::string& folder) {
  std::vector<std::string> files;
  WIN32_FIND_DATAA found;
  UniqueFindFile search(FindFirstFileA((folder + "\\*").c_str(), &found));
  if (search) {
    do {
      const std::string name = found.cFileName;
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          (HasExtension(name, ".msg") || IsReceivedMailFile(name)))
        files.push_back(name);
    } while (FindNextFileA(search.get(), &found));
  }
  std::sort(files.begin(), files.end());
  std::vector<MailboxEntry> entries;
  for (const std::string& file : files) {
    if (!IsReceivedMailFile(file)) {
      entries.push_back(MsgEntry(folder, file));
      continue;
    }
    std::vector<MailboxEntry> more = ReceivedMailEntries(folder, file);
    if (more.empty()) more.push_back({file, 0, {}, {}});  // unreadable: listed by its name
    entries.insert(entries.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
  }
  return entries;
}

}  // namespace

void RefreshMailbox() {
  std::string folder = FolderShown();
  std::vector<MailboxEntry> entries = FolderEntries(folder);
  SendMessageA(client.mailboxList, LB_RESETCONTENT, 0, 0);
  for (const MailboxEntry& e : entries) {
    std::string line = e.from.empty() && e.subject.empty()
                           ? e.file
                           : mailtext::DisplayName(e.from) + "\t" + e.subject;
    SendMessageA(client.mailboxList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
  }
  client.mailbox = std::move(entries);
  SetStatus((client.showingOut ? "Out: " : "In: ") + folder + "  -  " +
            std::to_string(client.mailbox.size()) + " messages");
}

bool ReadWholeFile(const std::string& path, std::string& out, uint64_t largest) {
  UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  // A mail folder holds messages, not gigabytes: the callers say how much they take.
  if (!file || !GetFileSizeEx(file.get(), &size) || static_cast<uint64_t>(size.QuadPart) > largest)
    return false;
  out.assign(static_cast<size_t>(size.QuadPart), '\0');
  DWORD done = 0;
  return out.empty() ||
         (ReadFile(file.get(), out.data(), static_cast<DWORD>(out.size()), &done, nullptr) &&
          done == out.size());
}
