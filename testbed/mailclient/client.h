// The stand-in mail client's windows and the state they share. One main
// window ("EudoraMainWindow") holds the toolbar, the mailbox list, the MDI
// client with the message and composition frames, and a status line.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "testbed/mailclient/mailclient_ids.h"
#include "common/handles_win.h"

inline constexpr char kMainClass[] = "EudoraMainWindow";
inline constexpr char kToolBarClass[] = "AfxControlBar";
// MFC names its registered classes "Afx:<instance>:<style>..."; the module
// recognises a received message by this prefix on the view's parent.
inline constexpr char kFrameClass[] = "Afx:400000:8";
// The composition form; the module recognises it by the leading '#'.
inline constexpr char kFormClass[] = "#QuillComposeForm";
// The sample user, who writes every new message.
inline constexpr char kDefaultFrom[] = "Sam Sample <sam@example.org>";

enum class FrameKind { Message, Composition, Info };

// One MDI child. Owned by its frame window (GWLP_USERDATA), deleted when the
// frame is destroyed.
struct Frame {
  FrameKind kind = FrameKind::Info;
  HWND window = nullptr;
  HWND form = nullptr;  // composition only
  HWND view = nullptr;  // message and info: the read-only text
  HWND to = nullptr, from = nullptr, subject = nullptr, cc = nullptr, bcc = nullptr;
  HWND body = nullptr, status = nullptr;
  HWND lastFocus = nullptr;
  std::string title;
  std::string sourcePath;
  bool changed = false;
  bool loading = false;  // field texts set by the client itself are no change
};

struct ComposeFields {
  std::string to, from, subject, cc, bcc, body;
};

struct MailboxEntry {
  std::string file;
  size_t message = 0;  // in an mbox file, counted from 1; 0 for a file of one message
  std::string from;
  std::string subject;
};

struct Client {
  HINSTANCE instance = nullptr;
  HWND main = nullptr;
  HWND toolBar = nullptr;
  HWND mdiClient = nullptr;
  HWND mailboxList = nullptr;
  HWND statusLine = nullptr;
  HACCEL accelerators = nullptr;
  HFONT uiFont = nullptr;     // stock, not owned
  UniqueFont textFont;        // the fixed font of message texts
  std::string mailFolder;     // full path, no trailing backslash
  bool showingOut = false;    // the list shows the Out folder
  std::vector<MailboxEntry> mailbox;
};

extern Client client;

// main_window.cpp
bool RegisterClientClasses(HINSTANCE instance);
HWND CreateMainWindow(int show);
void SetStatus(std::string_view text);
void RefreshMailbox();
std::string AttachmentPrefix();

// toolbar.cpp
bool RegisterToolBarClass(HINSTANCE instance);
HWND CreateToolBar(HWND parent);
inline constexpr int kToolBarHeight = 30;

// frames.cpp
bool RegisterFrameClasses(HINSTANCE instance);
Frame* FrameOf(HWND window);  // the frame a window belongs to, or null
Frame* ActiveFrame();
// `message` picks one message of an mbox file (from 1); 0 for other files.
HWND OpenMessageFile(const std::string& path, size_t message, std::string* error);
HWND OpenMessageText(std::string text, const std::string& title);
HWND OpenInfo(const std::string& title, const std::string& text);
HWND OpenComposition(const ComposeFields& fields);
void MarkChanged(Frame& frame);
void CloseFrame(Frame& frame);
std::vector<HWND> Frames();
HWND FieldByName(const Frame& frame, std::string_view name);
const char* FieldName(const Frame& frame, HWND field);
const char* KindName(FrameKind kind);
std::string WindowText(HWND window);
bool SaveToOut(Frame& frame, std::string* savedAs);

// edit_commands.cpp
// Handles the Edit menu's commands; false when the id is none of them.
bool HandleEditCommand(WORD id, LPARAM lParam);
HWND FocusedEdit();

// automation.cpp
LRESULT HandleAutomation(HWND sender, const COPYDATASTRUCT* data);

// received_mail.cpp: *.eml and mbox files, read as MIME mail
struct MessageShown {
  std::string text;  // the window's text, CR LF
  std::string title;
};
bool IsReceivedMailFile(const std::string& path);
// One entry per message of the file (in the folder), sender and subject decoded.
std::vector<MailboxEntry> ReceivedMailEntries(const std::string& folder, const std::string& file);
// The text of message `message` (see OpenMessageFile), its attachments saved
// in the attachment folder beside the file. False with the reason in `error`.
bool ShowReceivedMail(const std::string& path, size_t message, MessageShown& shown, std::string& error);

// Reads a whole file of at most `largest` bytes; false when it cannot be
// opened or read, or is larger.
bool ReadWholeFile(const std::string& path, std::string& out, uint64_t largest = 0x3FFFFFFF);
