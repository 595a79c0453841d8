// A running EUDORA.EXE for one test: started on a fresh mail folder of its
// own (with a known nickname file), found by its process, and ended by its
// process handle when the session ends, whatever the test did to it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "testbed/mailclient/mailclient_ids.h"
#include "testbed/uidrive/uidrive.h"

inline constexpr char kTestNicknames[] =
    "alias alice Alice Example <alice@example.org>\n"
    "alias bob Bob Builder <bob@example.net>\n"
    "alias carol carol@example.com\n"
    "alias team alice, bob, carol\n"
    "alias \"night shift\" carol, dave@example.com\n"
    "note alice not an alias line\n";

class ClientSession {
 public:
  ClientSession();
  ~ClientSession();
  ClientSession(const ClientSession&) = delete;
  ClientSession& operator=(const ClientSession&) = delete;

  const std::string& folder() const { return folder_; }
  HWND main() const { return main_; }
  const uidrive::MailClient& mail() const { return mail_; }
  uidrive::Process& process() { return process_; }
  const uidrive::Process& process() const { return process_; }

  // Writes a file into the mail folder and returns its full path.
  std::string Write(const std::string& name, const std::string& text) const;
  // The process still runs and its main window answers the channel.
  bool Responsive() const;
  // WM_COMMAND sent to the main window, as the module sends it.
  LRESULT Command(UINT id, LPARAM lParam = 0) const;

 private:
  std::string folder_;
  uidrive::Process process_;
  HWND main_ = nullptr;
  uidrive::MailClient mail_{nullptr};
};

// Polls until the condition holds; false when the time ran out.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = 5000);

std::string ClientPath();  // EUDORA.EXE beside the test executable
