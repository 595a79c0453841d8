// The whole product, run the way a user runs it: a folder of its own with
// copies of the launcher, the module, the stand-in client, the PGP stand-in
// with its key list and the sample mail; the launcher started there; the
// client found by its window; everything driven through uidrive. Shared by
// the end-to-end tests, the demo tour and the start-up benchmark.
//
// Every process belongs to one job object, so whatever the launcher, the
// client or the module start (PGP included) ends with the group, by its
// handle. Every wait takes a timeout.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "testbed/uidrive/uidrive.h"

namespace e2e {

// ---- keys and the sample user ----------------------------------------------

inline constexpr char kSamUserId[] = "Sam Sample <sam@example.org>";
inline constexpr char kSamPassPhrase[] = "sam-secret";
inline constexpr char kBobUserId[] = "Bob Builder <bob@example.net>";
inline constexpr char kCarolUserId[] = "Carol Coder <carol@example.com>";

// The sample user's keys, with the public keys of Bob and Carol.
std::string SampleKeyring();
// The same without Carol, whose key the sample folder offers for adding.
std::string KeyringWithoutCarol();

// The lines the module puts around PGP's output: the first says what PGP
// vouched for, the last ends the block.
inline constexpr char kMarkerStart[] = "[-- Quillnet: ";
inline constexpr char kEndMarker[] = "[-- Quillnet: end of PGP's output --]";
// Written before a line of the sender's that looks like a marker, joined to
// it by no-break spaces.
inline constexpr char kDefuseTag[] = "(not\xA0" "from\xA0" "Quillnet)\xA0";

// The module's command ids in the client.
inline constexpr UINT kIdmAbout = 0x3C49;
inline constexpr UINT kIdmRunPgp = 0x3C4A;
inline constexpr UINT kIdmExitExtension = 0x3C4B;
inline constexpr UINT kClientUndo = 0xE12B;
inline constexpr UINT kClientReply = 0x801D;
inline constexpr int kButtonControlId = 0xE887;

// ---- waiting -----------------------------------------------------------------

// Polls every 20 ms; false when the time ran out.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

// ---- the folder ----------------------------------------------------------------

struct WorkspaceOptions {
  bool withProduct = true;               // quillnet.exe and qlnet.dll beside the client
  bool withPgp = true;                   // pgp.exe in the PGPPATH folder
  std::string keyring = SampleKeyring();
  bool passPhraseInEnvironment = true;   // PGPPASS=sam-secret for everything started
  std::optional<std::string> settings;   // QLNET.INI beside the launcher
  std::optional<std::string> pgpFault;   // PGPSTUB_FAULT for every PGP run
};

// A fresh folder for one run:
//   app\   EUDORA.EXE, quillnet.exe and qlnet.dll (and QLNET.INI when given)
//   pgp\   pgp.exe and keyring.txt; PGPPATH points here
//   mail\  the sample mail
//   temp\  TEMP and TMP point here
//   pgp.log, the PGP stand-in's call log
// The environment of this process is set for the run (programs started
// inherit it) and put back when the workspace goes, as is the folder.
class Workspace {
 public:
  explicit Workspace(const WorkspaceOptions& options = {});
  // Keeps the folder where it is and leaves it on the disk (the demo).
  Workspace(const std::string& existingRoot, const WorkspaceOptions& options);
  ~Workspace();
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  const std::string& root() const { return root_; }
  std::string app() const { return root_ + "\\app"; }
  std::string mail() const { return root_ + "\\mail"; }
  std::string pgpDirectory() const { return root_ + "\\pgp"; }
  std::string temp() const { return root_ + "\\temp"; }
  std::string log() const { return root_ + "\\pgp.log"; }
  std::string launcher() const { return app() + "\\quillnet.exe"; }
  std::string client() const { return app() + "\\EUDORA.EXE"; }
  std::string mailFile(const std::string& name) const { return mail() + "\\" + name; }

  std::string Keyring() const;
  // A text as a sender makes it: the workspace's pgp.exe run with its own
  // key list (`keyring`) in a folder of its own, on a file "input" holding
  // `input`; returns the file `output` it wrote there. Not in the call log.
  std::string MakeWithPgp(const std::string& keyring, const char* passPhrase,
                          const std::string& input, const std::string& arguments,
                          const std::string& output) const;
  // File names in the temporary folder.
  std::vector<std::string> TempFiles() const;

 private:
  void Populate(const WorkspaceOptions& options);
  void SetEnvironment(const WorkspaceOptions& options);

  std::string root_;
  bool removeAtEnd_ = true;
  std::vector<std::pair<std::string, std::optional<std::string>>> savedEnvironment_;
};

void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);

// One line of the PGP stand-in's call log.
struct PgpCall {
  std::string commandLine;
  bool passPhraseSet = false;
  std::string exit;
};
std::vector<PgpCall> ReadPgpLog(const std::string& path);

// ---- processes ---------------------------------------------------------------

class Process {
 public:
  Process() = default;
  Process(HANDLE handle, DWORD id) : handle_(handle), id_(id) {}
  Process(Process&&) = default;
  Process& operator=(Process&&) = default;

  explicit operator bool() const { return static_cast<bool>(handle_); }
  HANDLE handle() const { return handle_.get(); }
  DWORD id() const { return id_; }
  bool Running() const;
  // The exit code, or nothing when the process still runs after the time.
  std::optional<DWORD> WaitForExit(DWORD timeoutMs) const;

 private:
  UniqueHandle handle_;
  DWORD id_ = 0;
};

// A job object for all processes of one run. Programs started through it
// begin suspended, join the job, then run, so that nothing they start can
// escape it. The destructor ends the job and waits for the processes.
class ProcessGroup {
 public:
  ProcessGroup();
  ~ProcessGroup();
  ProcessGroup(const ProcessGroup&) = delete;
  ProcessGroup& operator=(const ProcessGroup&) = delete;

  // With a show state, as a shell starts a program; without one, as a
  // program that leaves the start-up information empty.
  Process Start(const std::string& commandLine, const std::string& directory,
                std::optional<WORD> show = SW_SHOWNORMAL);
  // A process started by one of ours (the client started by the launcher).
  Process Adopt(DWORD processId);
  // Whether every process of the group has ended within the time.
  bool WaitUntilEmpty(DWORD timeoutMs) const;
  void EndAll();

 private:
  UniqueHandle job_;
  std::vector<HANDLE> waitFor_;  // duplicates, closed by EndAll
};

// Runs a program and waits until it and everything it started have ended
// (an uninstaller runs on from a copy of itself). Its exit code; nothing
// when the time ran out, and then all of them are ended.
std::optional<DWORD> RunToEnd(const std::string& commandLine, DWORD timeoutMs);

// ---- the product ---------------------------------------------------------------

// The launcher and the client of one run.
class Quillnet {
 public:
  Quillnet(const Workspace& workspace, ProcessGroup& group)
      : workspace_(workspace), group_(group) {}

  // EUDORA.EXE alone, as a user may have it open already.
  void StartClientAlone(DWORD timeoutMs = 20000);
  // quillnet.exe with the mail folder as its argument.
  Process& StartLauncher(std::optional<WORD> show = SW_SHOWNORMAL);
  // Another quillnet.exe from the same folder.
  Process StartAnotherLauncher();

  // The client's main window (adopting the client's process when the
  // launcher started it).
  HWND WaitForClient(DWORD timeoutMs = 20000);
  // Waits until "R&un PGP..." is in the client's menus.
  bool WaitForModule(DWORD timeoutMs = 20000);
  // Starts the launcher and waits for the module; throws when it does not come.
  void Start();

  HWND main() const { return main_; }
  const uidrive::MailClient& mail() const { return mail_; }
  Process& launcher() { return launcher_; }
  Process& client() { return client_; }
  const Process& client() const { return client_; }
  // The client still runs and its main window answers.
  bool ClientAnswers() const;

 private:
  const Workspace& workspace_;
  ProcessGroup& group_;
  Process launcher_;
  Process client_;
  HWND main_ = nullptr;
  uidrive::MailClient mail_{nullptr};
};

// ---- looking at the client -------------------------------------------------------

struct ModuleItems {
  bool exitItem = false, runItem = false, aboutItem = false;
  std::string exitText, runText, aboutText;
  bool any() const { return exitItem || runItem || aboutItem; }
  bool all() const { return exitItem && runItem && aboutItem; }
};
// Empty when the menu could not be read.
std::optional<ModuleItems> ReadModuleItems(HWND main, DWORD timeoutMs = 5000);

HWND ToolBar(HWND main);
// The module's button on the toolbar, or null.
HWND Button(HWND main);

// The text of the active message or composition (of `field`), read through
// the client's channel; nothing while the client does not answer.
std::optional<std::string> TextOf(const uidrive::MailClient& mail, HWND window = nullptr,
                                  const std::string& field = "", DWORD timeoutMs = 3000);
// Waits until the text satisfies the condition; returns the last text read.
std::optional<std::string> WaitForText(const uidrive::MailClient& mail, HWND window,
                                       const std::string& field,
                                       const std::function<bool(const std::string&)>& condition,
                                       DWORD timeoutMs);

// A dialog or message box of the client whose title matches; nothing when
// none comes in time.
std::optional<uidrive::MessageBoxInfo> WaitForBox(const uidrive::TextMatch& title, DWORD processId,
                                                  DWORD timeoutMs);

bool Contains(const std::string& text, const std::string& part);
// The text with its carriage returns taken out: the PGP stand-in passes
// line ends as it finds them, so decoded parts may end lines in LF alone.
std::string WithoutCr(std::string text);

}  // namespace e2e
