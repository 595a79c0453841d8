// uidrive: drives the windows of other processes the way a user would, for
// end-to-end tests and the demo. Everything that waits takes a timeout in
// milliseconds; every failure throws uidrive::Failure with a message that
// says what was looked for, so a test or the command line can show it.
#pragma once

#include <windows.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "testbed/mailclient/automation_protocol.h"
#include "common/handles_win.h"

namespace uidrive {

struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

inline constexpr DWORD kDefaultTimeout = 5000;

// ---- finding windows -------------------------------------------------------

struct TextMatch {
  enum class How { Any, Exact, Prefix };
  How how = How::Any;
  std::string text;

  static TextMatch Exact(std::string t) { return {How::Exact, std::move(t)}; }
  static TextMatch Prefix(std::string t) { return {How::Prefix, std::move(t)}; }
  bool Matches(std::string_view candidate) const;
  std::string Describe() const;
};

struct WindowQuery {
  TextMatch className;
  TextMatch title;
  HWND parent = nullptr;    // direct children of this window; null: top-level windows
  DWORD processId = 0;      // 0: any process
  bool visibleOnly = false;
};

std::vector<HWND> FindWindows(const WindowQuery& query);
// The first match, waiting for it; throws when none appears in time.
HWND WaitForWindow(const WindowQuery& query, DWORD timeoutMs = kDefaultTimeout);
// True when the window is gone within the time.
bool WaitUntilGone(HWND window, DWORD timeoutMs = kDefaultTimeout);

struct WindowInfo {
  HWND handle = nullptr;
  int depth = 0;  // 0 for a direct child
  std::string className;
  int id = 0;
  std::string text;  // at most kListedTextLength characters
  DWORD style = 0;
  DWORD exStyle = 0;
  RECT rect{};  // screen coordinates
};
inline constexpr int kListedTextLength = 200;

WindowInfo Describe(HWND window);
// In z-order (creation order for controls); recursive lists depth-first.
std::vector<WindowInfo> Children(HWND parent, bool recursive = false);
std::string ClassOf(HWND window);

// ---- menus -----------------------------------------------------------------

struct MenuItem {
  std::string path;  // positions from the menu bar down, joined by '.'
  UINT id = 0;       // 0 for popups and separators
  std::string text;
  bool popup = false, separator = false, grayed = false, disabled = false, checked = false;
};

// The whole menu bar, depth-first. Wine cannot read another process's
// menus, so for the mail client the client's automation channel reads it.
std::vector<MenuItem> MenuBar(HWND window, DWORD timeoutMs = kDefaultTimeout);

// ---- texts, commands, keys -------------------------------------------------

std::string GetText(HWND window, DWORD timeoutMs = kDefaultTimeout);
// Long texts (512 KiB and more) for a window of the mail client go through
// its automation channel: Wine cannot pass them to another process in one
// WM_SETTEXT.
void SetText(HWND window, const std::string& text, DWORD timeoutMs = kDefaultTimeout);
// Posts one WM_CHAR per character, as typing would arrive.
void TypeText(HWND window, std::string_view text);
void PostCommand(HWND window, UINT id, LPARAM lParam = 0);
LRESULT SendCommand(HWND window, UINT id, LPARAM lParam = 0, DWORD timeoutMs = kDefaultTimeout);
void PostClose(HWND window);

// ---- dialogs and message boxes ----------------------------------------------

// A button of the dialog by its text (without '&', any case) or by its id.
HWND FindButton(HWND dialog, std::string_view text);
HWND FindButton(HWND dialog, int id);
// Presses as the dialog sees a click: WM_COMMAND BN_CLICKED posted to it.
void PressButton(HWND button);
// Presses with BM_CLICK, which goes through the button's own mouse handling.
void ClickButton(HWND button, DWORD timeoutMs = kDefaultTimeout);

struct MessageBoxInfo {
  HWND handle = nullptr;
  std::string title;
  std::string text;
  std::vector<std::string> buttons;  // texts as shown, with '&'
};

MessageBoxInfo ReadMessageBox(HWND box);
// A top-level dialog ("#32770") whose title matches, waiting for it.
MessageBoxInfo WaitForMessageBox(const TextMatch& title, DWORD timeoutMs = kDefaultTimeout,
                                 DWORD processId = 0);
// Presses the button and waits until the box has gone.
void Answer(const MessageBoxInfo& box, std::string_view buttonText,
            DWORD timeoutMs = kDefaultTimeout);
void Answer(const MessageBoxInfo& box, int buttonId, DWORD timeoutMs = kDefaultTimeout);

// ---- mouse, focus, clipboard, pictures --------------------------------------

enum class MouseMode {
  Messages,  // WM_LBUTTONDOWN / WM_MOUSEMOVE / WM_LBUTTONUP posted to the window
  Real,      // the system cursor moved and the button pressed (SetCursorPos, mouse_event)
};
// Points are in the window's client coordinates.
void Click(HWND window, POINT at, MouseMode mode = MouseMode::Messages);
void Drag(HWND window, POINT from, POINT to, MouseMode mode = MouseMode::Messages, int steps = 8);

// Gives the keyboard focus to a window of another thread or process.
void Focus(HWND window);

// The clipboard's text (CF_TEXT); empty when it holds no text.
std::optional<std::string> ClipboardText(DWORD timeoutMs = kDefaultTimeout);
void SetClipboardText(const std::string& text, DWORD timeoutMs = kDefaultTimeout);

// The window as it is on the screen, as a 24-bit BMP file. With
// printWindow the window is asked to draw itself (works only in-process
// under Wine).
void CaptureToBmp(HWND window, const std::string& path, bool printWindow = false);

// ---- the mail client's automation channel -----------------------------------

class MailClient {
 public:
  explicit MailClient(HWND main) : main_(main) {}
  // The main window "EudoraMainWindow" (of the process, when given).
  static MailClient Find(DWORD timeoutMs = kDefaultTimeout, DWORD processId = 0);

  HWND main() const { return main_; }
  // Sends a request and returns the "ok" reply; an "error" reply or no
  // answer throws Failure.
  automation::Message Call(automation::Message request, DWORD timeoutMs = 30000) const;

  struct Opened {
    HWND window = nullptr;
    HWND edit = nullptr;
  };
  Opened OpenFile(const std::string& path) const;
  Opened OpenText(const std::string& text, const std::string& title = "Message") const;

  struct Fields {
    std::string to{}, cc{}, bcc{}, subject{}, body{};
    std::optional<std::string> from{};  // the sample user unless given
  };
  struct Composition {
    HWND window = nullptr, form = nullptr, to = nullptr, from = nullptr, subject = nullptr;
    HWND cc = nullptr, bcc = nullptr, body = nullptr, status = nullptr;
  };
  Composition Compose(const Fields& fields) const;

  // field: to, from, subject, cc, bcc, body, view; window null: the active one.
  HWND FocusField(const std::string& field, HWND window = nullptr) const;
  std::string Text(HWND window = nullptr, const std::string& field = "") const;

  struct State {
    HWND window = nullptr;
    std::string kind;
    bool changed = false;
    std::string title;
    HWND focus = nullptr;
    std::string focusField;
  };
  State StateOf(HWND window = nullptr) const;

 private:
  HWND main_;
};

HWND HandleFrom(const std::string& text);  // 0x<hex> or decimal; null otherwise

// ---- processes (for tests and the demo) -------------------------------------

class Process {
 public:
  // Starts a Windows program; throws when it cannot be started.
  static Process Start(const std::string& commandLine, const std::string& directory = "");
  Process() = default;
  Process(Process&&) = default;
  Process& operator=(Process&&) = default;
  // Ends the process if it still runs: nothing a test started outlives it.
  ~Process();

  DWORD id() const { return id_; }
  HANDLE handle() const { return process_.get(); }
  bool WaitForIdle(DWORD timeoutMs = kDefaultTimeout) const;
  std::optional<DWORD> WaitForExit(DWORD timeoutMs = kDefaultTimeout) const;
  void Terminate();

 private:
  UniqueHandle process_;
  DWORD id_ = 0;
};

struct RunResult {
  DWORD exitCode = 0;
  std::string out, err;
};
// Runs a console program to its end, collecting what it writes.
RunResult RunCaptured(const std::string& commandLine, DWORD timeoutMs = 30000);

// The directory of the running executable, with a trailing backslash.
std::string ExecutableDirectory();

}  // namespace uidrive
