#include "testbed/mailclient/tests/client_session.h"

#include <filesystem>
#include <fstream>

namespace {

std::string NewFolder() {
  static int count = 0;
  char temp[MAX_PATH];
  DWORD n = GetTempPathA(sizeof temp, temp);
  std::string folder = std::string(temp, n < sizeof temp ? n : 0) + "qlmail-" +
                       std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count);
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

}  // namespace

std::string ClientPath() { return uidrive::ExecutableDirectory() + "EUDORA.EXE"; }

ClientSession::ClientSession() : folder_(NewFolder()) {
  Write("nicknames.txt", kTestNicknames);
  process_ = uidrive::Process::Start("\"" + ClientPath() + "\" \"" + folder_ + "\"");
  process_.WaitForIdle(10000);
  uidrive::WindowQuery query;
  query.className = uidrive::TextMatch::Exact("EudoraMainWindow");
  query.processId = process_.id();
  main_ = uidrive::WaitForWindow(query, 10000);
  mail_ = uidrive::MailClient(main_);
}

ClientSession::~ClientSession() {
  process_.Terminate();
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::string ClientSession::Write(const std::string& name, const std::string& text) const {
  std::string path = folder_ + "\\" + name;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

bool ClientSession::Responsive() const {
  if (!process_.handle() || WaitForSingleObject(process_.handle(), 0) != WAIT_TIMEOUT) return false;
  try {
    return uidrive::HandleFrom(mail_.Call({"ping", {}}, 5000).Get("main")) == main_;
  } catch (const uidrive::Failure&) {
    return false;
  }
}

LRESULT ClientSession::Command(UINT id, LPARAM lParam) const {
  return uidrive::SendCommand(main_, id, lParam, 10000);
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(20);
  }
  return true;
}
