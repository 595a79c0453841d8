#include "tests/e2e/support/system.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace e2e {
namespace {

namespace fs = std::filesystem;

// Short on purpose: the module bounds its paths and PGP's command line, and
// a user's temporary folder is short too.
std::string NewRoot() {
  static int count = 0;
  char temp[MAX_PATH];
  const DWORD n = GetTempPathA(sizeof temp, temp);
  std::string base(temp, n < sizeof temp ? n : 0);
  if (!base.empty() && base.back() == '\\') base.pop_back();
  std::string root = base + "\\qle2e-" + std::to_string(GetCurrentProcessId()) + "-" +
                     std::to_string(++count);
  std::error_code ignored;
  fs::remove_all(root, ignored);
  fs::create_directories(root);
  return root;
}

void Copy(const std::string& from, const std::string& to) {
  if (!CopyFileA(from.c_str(), to.c_str(), FALSE))
    throw uidrive::Failure("cannot copy " + from + " to " + to + " (error " +
                           std::to_string(GetLastError()) + ")");
}

std::optional<std::string> GetVariable(const std::string& name) {
  std::string value(32768, '\0');
  const DWORD n = GetEnvironmentVariableA(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
  if (n == 0 || n >= value.size()) return std::nullopt;
  value.resize(n);
  return value;
}

}  // namespace

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  if (!out) throw uidrive::Failure("cannot write " + path);
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string SampleKeyring() {
  return std::string("pub ") + kSamUserId + "\r\nsec " + kSamUserId + " " + kSamPassPhrase +
         "\r\npub " + kBobUserId + "\r\npub " + kCarolUserId + "\r\n";
}

std::string KeyringWithoutCarol() {
  return std::string("pub ") + kSamUserId + "\r\nsec " + kSamUserId + " " + kSamPassPhrase +
         "\r\npub " + kBobUserId + "\r\n";
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(20);
  }
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string WithoutCr(std::string text) {
  std::erase(text, '\r');
  return text;
}

// ---- Workspace ---------------------------------------------------------------

Workspace::Workspace(const WorkspaceOptions& options) : root_(NewRoot()) {
  Populate(options);
  SetEnvironment(options);
}

Workspace::Workspace(const std::string& existingRoot, const WorkspaceOptions& options)
    : root_(existingRoot), removeAtEnd_(false) {
  SetEnvironment(options);
}

Workspace::~Workspace() {
  for (auto it = savedEnvironment_.rbegin(); it != savedEnvironment_.rend(); ++it)
    SetEnvironmentVariableA(it->first.c_str(), it->second ? it->second->c_str() : nullptr);
  if (!removeAtEnd_) return;
  // The processes have just ended; Wine may take a moment to let go of
  // their files.
  for (int attempt = 0; attempt < 20; ++attempt) {
    std::error_code error;
    fs::remove_all(root_, error);
    if (!error) return;
    Sleep(100);
  }
}

void Workspace::Populate(const WorkspaceOptions& options) {
  const std::string bin = uidrive::ExecutableDirectory();
  for (const char* dir : {"app", "pgp", "temp"}) fs::create_directories(root_ + "\\" + dir);
  Copy(bin + "EUDORA.EXE", app() + "\\EUDORA.EXE");
  if (options.withProduct)
    for (const char* file : {"quillnet.exe", "qlnet.dll"}) Copy(bin + file, app() + "\\" + file);
  fs::copy(bin + "mail", mail(), fs::copy_options::recursive);
  if (options.withPgp) Copy(bin + "pgp.exe", pgpDirectory() + "\\pgp.exe");
  WriteBytes(pgpDirectory() + "\\keyring.txt", options.keyring);
  if (options.settings) WriteBytes(app() + "\\QLNET.INI", *options.settings);
}

void Workspace::SetEnvironment(const WorkspaceOptions& options) {
  auto set = [this](const std::string& name, const char* value) {
    savedEnvironment_.emplace_back(name, GetVariable(name));
    SetEnvironmentVariableA(name.c_str(), value);
  };
  set("PGPPATH", pgpDirectory().c_str());
  set("PGPPASS", options.passPhraseInEnvironment ? kSamPassPhrase : nullptr);
  set("PGPSTUB_LOG", log().c_str());
  set("PGPSTUB_FAULT", options.pgpFault ? options.pgpFault->c_str() : nullptr);
  set("TEMP", temp().c_str());
  set("TMP", temp().c_str());
}

std::string Workspace::MakeWithPgp(const std::string& keyring, const char* passPhrase,
                                   const std::string& input, const std::string& arguments,
                                   const std::string& output) const {
  const std::string folder = root_ + "\\maker";
  fs::create_directories(folder);
  WriteBytes(folder + "\\keyring.txt", keyring);
  WriteBytes(folder + "\\input", input);
  std::vector<std::pair<std::string, std::optional<std::string>>> saved;
  for (const auto& [name, value] :
       {std::pair<const char*, const char*>{"PGPPATH", folder.c_str()}, {"PGPPASS", passPhrase},
        {"PGPSTUB_LOG", nullptr}, {"PGPSTUB_FAULT", nullptr}}) {
    saved.emplace_back(name, GetVariable(name));
    SetEnvironmentVariableA(name, value);
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::string line = "\"" + pgpDirectory() + "\\pgp.exe\" " + arguments;
  const bool started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS,
                                      nullptr, folder.c_str(), &startup, &info);
  for (const auto& [name, value] : saved)
    SetEnvironmentVariableA(name.c_str(), value ? value->c_str() : nullptr);
  if (!started) throw uidrive::Failure("cannot start " + line);
  CloseHandle(info.hThread);
  UniqueHandle process(info.hProcess);
  DWORD code = 1;
  if (WaitForSingleObject(process.get(), 20000) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(process.get(), &code) || code != 0)
    throw uidrive::Failure(line + " failed (exit code " + std::to_string(code) + ")");
  std::string made = ReadBytes(folder + "\\" + output);
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  if (made.empty()) throw uidrive::Failure(line + " wrote no " + output);
  return made;
}

std::string Workspace::Keyring() const { return ReadBytes(pgpDirectory() + "\\keyring.txt"); }

std::vector<std::string> Workspace::TempFiles() const {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(temp(), error))
    names.push_back(entry.path().filename().string());
  return names;
}

std::vector<PgpCall> ReadPgpLog(const std::string& path) {
  std::vector<PgpCall> calls;
  std::istringstream lines(ReadBytes(path));
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    PgpCall call;
    const size_t tab1 = line.find('\t');
    const size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
    if (line.rfind("cmdline=", 0) != 0 || tab2 == std::string::npos) {
      call.commandLine = "<unreadable> " + line;
    } else {
      call.commandLine = line.substr(8, tab1 - 8);
      call.passPhraseSet = line.compare(tab1 + 1, tab2 - tab1 - 1, "pgppass=yes") == 0;
      if (line.compare(tab2 + 1, 5, "exit=") == 0) call.exit = line.substr(tab2 + 6);
    }
    calls.push_back(call);
  }
  return calls;
}

// ---- processes ---------------------------------------------------------------

bool Process::Running() const {
  return handle_ && WaitForSingleObject(handle_.get(), 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Process::WaitForExit(DWORD timeoutMs) const {
  DWORD code = 0;
  if (!handle_ || WaitForSingleObject(handle_.get(), timeoutMs) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(handle_.get(), &code))
    return std::nullopt;
  return code;
}

ProcessGroup::ProcessGroup() : job_(CreateJobObjectA(nullptr, nullptr)) {
  if (!job_) throw uidrive::Failure("cannot create a job object");
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
}

ProcessGroup::~ProcessGroup() { EndAll(); }

void ProcessGroup::EndAll() {
  TerminateJobObject(job_.get(), 1);
  for (HANDLE process : waitFor_) {
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
  }
  waitFor_.clear();
}

Process ProcessGroup::Start(const std::string& commandLine, const std::string& directory,
                            std::optional<WORD> show) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  if (show) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = *show;
  }
  PROCESS_INFORMATION info{};
  std::string line = commandLine;
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                      directory.empty() ? nullptr : directory.c_str(), &startup, &info))
    throw uidrive::Failure("cannot start " + commandLine + " (error " +
                           std::to_string(GetLastError()) + ")");
  UniqueHandle thread(info.hThread);
  if (!AssignProcessToJobObject(job_.get(), info.hProcess)) {
    TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hProcess);
    throw uidrive::Failure("cannot put " + commandLine + " into the job");
  }
  ResumeThread(info.hThread);
  HANDLE copy = nullptr;
  DuplicateHandle(GetCurrentProcess(), info.hProcess, GetCurrentProcess(), &copy, SYNCHRONIZE,
                  FALSE, 0);
  if (copy) waitFor_.push_back(copy);
  return Process(info.hProcess, info.dwProcessId);
}

bool ProcessGroup::WaitUntilEmpty(DWORD timeoutMs) const {
  return WaitUntil([&] {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
    return QueryInformationJobObject(job_.get(), JobObjectBasicAccountingInformation, &accounting,
                                     sizeof accounting, nullptr) &&
           accounting.ActiveProcesses == 0;
  }, timeoutMs);
}

std::optional<DWORD> RunToEnd(const std::string& commandLine, DWORD timeoutMs) {
  ProcessGroup group;  // ends whatever still runs when the time is out
  const DWORD start = GetTickCount();
  const std::optional<DWORD> code = group.Start(commandLine, "", std::nullopt).WaitForExit(timeoutMs);
  if (!code || !group.WaitUntilEmpty(timeoutMs - std::min(timeoutMs, GetTickCount() - start)))
    return std::nullopt;
  return code;
}

Process ProcessGroup::Adopt(DWORD processId) {
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_INFORMATION |
                                   PROCESS_SET_QUOTA,
                               FALSE, processId);
  if (!process) throw uidrive::Failure("cannot open process " + std::to_string(processId));
  BOOL inJob = FALSE;
  if (!IsProcessInJob(process, job_.get(), &inJob) || !inJob)
    AssignProcessToJobObject(job_.get(), process);
  HANDLE copy = nullptr;
  DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE, 0);
  if (copy) waitFor_.push_back(copy);
  return Process(process, processId);
}

// ---- Quillnet --------------------------------------------------------------------

void Quillnet::StartClientAlone(DWORD timeoutMs) {
  client_ = group_.Start("\"" + workspace_.client() + "\" " + workspace_.mail(), workspace_.root());
  WaitForInputIdle(client_.handle(), timeoutMs);
  WaitForClient(timeoutMs);
}

Process& Quillnet::StartLauncher(std::optional<WORD> show) {
  launcher_ = group_.Start("\"" + workspace_.launcher() + "\" " + workspace_.mail(),
                           workspace_.root(), show);
  return launcher_;
}

Process Quillnet::StartAnotherLauncher() {
  return group_.Start("\"" + workspace_.launcher() + "\" " + workspace_.mail(), workspace_.root());
}

HWND Quillnet::WaitForClient(DWORD timeoutMs) {
  uidrive::WindowQuery query;
  query.className = uidrive::TextMatch::Exact("EudoraMainWindow");
  if (client_) query.processId = client_.id();
  main_ = uidrive::WaitForWindow(query, timeoutMs);
  mail_ = uidrive::MailClient(main_);
  if (!client_) {
    DWORD processId = 0;
    GetWindowThreadProcessId(main_, &processId);
    client_ = group_.Adopt(processId);
  }
  return main_;
}

bool Quillnet::WaitForModule(DWORD timeoutMs) {
  return WaitUntil(
      [&] {
        std::optional<ModuleItems> items = ReadModuleItems(main_, 2000);
        return items && items->runItem;
      },
      timeoutMs);
}

void Quillnet::Start() {
  StartLauncher();
  WaitForClient();
  if (!WaitForModule()) throw uidrive::Failure("the module did not start in the client");
}

bool Quillnet::ClientAnswers() const {
  if (!client_.Running()) return false;
  try {
    return uidrive::HandleFrom(mail_.Call({"ping", {}}, 5000).Get("main")) == main_;
  } catch (const uidrive::Failure&) {
    return false;
  }
}

// ---- looking at the client -------------------------------------------------------

std::optional<ModuleItems> ReadModuleItems(HWND main, DWORD timeoutMs) {
  try {
    ModuleItems items;
    for (const uidrive::MenuItem& item : uidrive::MenuBar(main, timeoutMs)) {
      if (item.id == kIdmExitExtension) items.exitItem = true, items.exitText = item.text;
      if (item.id == kIdmRunPgp) items.runItem = true, items.runText = item.text;
      if (item.id == kIdmAbout) items.aboutItem = true, items.aboutText = item.text;
    }
    return items;
  } catch (const uidrive::Failure&) {
    return std::nullopt;
  }
}

HWND ToolBar(HWND main) {
  uidrive::WindowQuery query;
  query.className = uidrive::TextMatch::Exact("AfxControlBar");
  query.parent = main;
  std::vector<HWND> bars = uidrive::FindWindows(query);
  return bars.empty() ? nullptr : bars.front();
}

HWND Button(HWND main) {
  HWND bar = ToolBar(main);
  return bar ? GetDlgItem(bar, kButtonControlId) : nullptr;
}

std::optional<std::string> TextOf(const uidrive::MailClient& mail, HWND window,
                                  const std::string& field, DWORD timeoutMs) {
  automation::Message request{"text", {}};
  if (window) request.Add("window", automation::FormatHandle(reinterpret_cast<std::uintptr_t>(window)));
  if (!field.empty()) request.Add("field", field);
  try {
    return mail.Call(request, timeoutMs).Get("text");
  } catch (const uidrive::Failure&) {
    return std::nullopt;
  }
}

std::optional<std::string> WaitForText(const uidrive::MailClient& mail, HWND window,
                                       const std::string& field,
                                       const std::function<bool(const std::string&)>& condition,
                                       DWORD timeoutMs) {
  std::optional<std::string> last;
  WaitUntil(
      [&] {
        std::optional<std::string> text = TextOf(mail, window, field);
        if (text) last = text;
        return text && condition(*text);
      },
      timeoutMs);
  return last;
}

std::optional<uidrive::MessageBoxInfo> WaitForBox(const uidrive::TextMatch& title, DWORD processId,
                                                  DWORD timeoutMs) {
  try {
    return uidrive::WaitForMessageBox(title, timeoutMs, processId);
  } catch (const uidrive::Failure&) {
    return std::nullopt;
  }
}

}  // namespace e2e
