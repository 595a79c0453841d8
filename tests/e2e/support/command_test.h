// The fixture of the tests that run the module's command in a running
// client: a fresh session per test, the sample messages, the command and
// its dialogs, and what reached PGP.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/e2e/support/session.h"

namespace e2e {

inline constexpr DWORD kDialogTimeout = 15000;
inline constexpr DWORD kResultTimeout = 20000;

inline constexpr int kPreviewId = 2450;
inline constexpr int kEncryptForId = 2451;
inline constexpr int kPassPhraseId = 1250;

inline std::string TextBefore(const std::string& text, const std::string& marker) {
  return text.substr(0, text.find(marker));
}

inline std::string TextAfter(const std::string& text, const std::string& marker) {
  const size_t at = text.find(marker);
  return at == std::string::npos ? "" : text.substr(at + marker.size());
}

class CommandTest : public ::testing::Test {
 protected:
  void SetUp() override { ExpectNoClientRunning(); }

  void StartSession(WorkspaceOptions options = Session::QuickOptions()) {
    session_ = std::make_unique<Session>(options);
    session_->quillnet.Start();
  }

  // The same, with `prepare` done in the fresh folder before the launcher
  // starts (folders, settings that name them).
  void StartSession(WorkspaceOptions options, const std::function<void(Workspace&)>& prepare) {
    session_ = std::make_unique<Session>(options);
    prepare(session_->workspace);
    session_->quillnet.Start();
  }

  Session& s() { return *session_; }
  const uidrive::MailClient& mail() { return session_->quillnet.mail(); }
  HWND main() { return session_->quillnet.main(); }
  DWORD clientId() { return session_->quillnet.client().id(); }

  // Opens a sample message and gives its text the focus.
  HWND OpenReceived(const std::string& name) {
    const uidrive::MailClient::Opened opened = mail().OpenFile(s().workspace.mailFile(name));
    mail().FocusField("view", opened.window);
    return opened.window;
  }

  // Puts a received message of the given text in the mail folder and opens it.
  HWND OpenMessage(const std::string& name, const std::string& text) {
    WriteBytes(s().workspace.mailFile(name), text);
    return OpenReceived(name);
  }

  // Runs the module's command and waits for its confirmation dialog.
  uidrive::MessageBoxInfo RunPgp() {
    uidrive::PostCommand(main(), kIdmRunPgp);
    const auto dialog = WaitForBox(uidrive::TextMatch::Prefix(" PGP - "), clientId(), kDialogTimeout);
    if (!dialog) throw uidrive::Failure("no confirmation dialog");
    return *dialog;
  }

  std::string Text(HWND window, const std::string& field = "") {
    return TextOf(mail(), window, field).value_or("<no answer>");
  }

  std::string WaitForTextWith(HWND window, const std::string& field, const std::string& part) {
    return WaitForText(mail(), window, field, [&](const std::string& t) { return Contains(t, part); },
                       kResultTimeout)
        .value_or("<no answer>");
  }

  std::vector<PgpCall> Calls() { return ReadPgpLog(s().workspace.log()); }
  // PGP's command line begins with its full path, in quotes.
  std::string Pgp() { return "\"" + s().workspace.pgpDirectory() + "\\pgp.exe\""; }
  std::string TempAsc() { return s().workspace.temp() + "\\quillnet.asc"; }
  std::string TempBase() { return s().workspace.temp() + "\\quillnet"; }

  // The command wipes both files before it returns to the client.
  void ExpectNoTemporaryFiles() {
    EXPECT_TRUE(WaitUntil([&] { return s().workspace.TempFiles().empty(); }, 5000))
        << "left in the temporary folder: " << ::testing::PrintToString(s().workspace.TempFiles());
  }

  void ExpectNoModuleBoxOpen() {
    EXPECT_FALSE(WaitForBox(uidrive::TextMatch::Prefix(" PGP - "), clientId(), 300));
    EXPECT_FALSE(WaitForBox(uidrive::TextMatch::Exact("Quillnet"), clientId(), 10));
  }

 private:
  std::unique_ptr<Session> session_;
};

}  // namespace e2e
