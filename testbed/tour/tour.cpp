// tour.exe: the scripted walk through the product that the demo runs when
// nobody is at the screen. It starts quillnet.exe in a prepared demo folder
// (app\, pgp\, mail\, temp\), drives the stand-in client the way a user
// would, prints one PASS or FAIL line per step, and leaves a picture of each
// step as a BMP file for the demo script to turn into PNG.
//
//   tour.exe <demo folder> <folder for the pictures>
//
// Exit code: 0 when every step passed, 1 when one failed, 2 for a wrong
// command line.
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>

#include "tests/e2e/support/system.h"

namespace {

using e2e::Contains;
using e2e::kEndMarker;
using e2e::kMarkerStart;
using uidrive::TextMatch;

constexpr DWORD kTimeout = 20000;

struct StepFailed : std::runtime_error {
  using std::runtime_error::runtime_error;
};

void Check(bool condition, const std::string& what) {
  if (!condition) throw StepFailed(what);
}

class Tour {
 public:
  Tour(const std::string& root, std::string pictures)
      : workspace_(root, Options()), quillnet_(workspace_, group_), pictures_(std::move(pictures)) {}

  int Run() {
    Step("start", [&] { return Start(); });
    Step("decode", [&] { return Decode(); });
    Step("read PGP/MIME mail", [&] { return ReadPgpMime(); });
    Step("read UTF-8 mail", [&] { return ReadUtf8(); });
    Step("check signature", [&] { return CheckSignature(); });
    Step("add key", [&] { return AddKey(); });
    Step("decode in a reply", [&] { return DecodeInReply(); });
    Step("encrypt to Bob", [&] { return EncryptToBob(); });
    Step("undo", [&] { return Undo(); });
    Step("toolbar button", [&] { return ToolbarButton(); });
    Step("about box", [&] { return About(); });
    Step("exit extension", [&] { return Exit(); });
    std::printf("%d steps, %d passed, %d failed\n", steps_, steps_ - failed_, failed_);
    std::printf("pictures: %s\n", pictures_.c_str());
    return failed_ == 0 ? 0 : 1;
  }

 private:
  static e2e::WorkspaceOptions Options() {
    e2e::WorkspaceOptions options;
    options.passPhraseInEnvironment = true;
    return options;
  }

  void Step(const char* name, const std::function<std::string()>& body) {
    ++steps_;
    std::string outcome;
    bool passed = false;
    try {
      outcome = body();
      passed = true;
    } catch (const std::exception& e) {
      outcome = e.what();
    }
    if (!passed) ++failed_;
    std::printf("%s  %-18s %s\n", passed ? "PASS" : "FAIL", name, outcome.c_str());
    std::fflush(stdout);
    if (!passed) CloseModuleBoxes();
  }

  // A failed step may leave a dialog of the module open; the next step
  // must start from the plain client.
  void CloseModuleBoxes() {
    for (int i = 0; i < 5; ++i) {
      auto box = e2e::WaitForBox(TextMatch{}, quillnet_.client().id(), 300);
      if (!box) return;
      PostMessageA(box->handle, WM_COMMAND, IDCANCEL, 0);
      uidrive::WaitUntilGone(box->handle, 2000);
    }
  }

  // The client repaints after the messages the module posts; a picture
  // taken at once may show half of the old text.
  void Settle() {
    RedrawWindow(quillnet_.main(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    Sleep(400);
    try {
      quillnet_.mail().Call({"ping", {}}, 5000);
    } catch (const uidrive::Failure&) {
    }
  }

  // Closes the client's active window, so the next picture shows one thing.
  void CloseActive() {
    try {
      quillnet_.mail().Call({"close", {}}, 5000);
    } catch (const uidrive::Failure&) {
    }
  }

  void Picture(const std::string& name, HWND window = nullptr) {
    Settle();
    char number[8];
    std::snprintf(number, sizeof number, "%02d-", ++pictures_taken_);
    const std::string path = pictures_ + "\\" + number + name + ".bmp";
    try {
      uidrive::CaptureToBmp(window ? window : quillnet_.main(), path);
    } catch (const uidrive::Failure& e) {
      std::printf("      (no picture %s: %s)\n", path.c_str(), e.what());
    }
  }
  void ScreenPicture(const std::string& name) { Picture(name, GetDesktopWindow()); }

  uidrive::MessageBoxInfo RunPgp(const std::string& expectedTitle) {
    uidrive::PostCommand(quillnet_.main(), e2e::kIdmRunPgp);
    auto dialog = e2e::WaitForBox(TextMatch::Prefix(" PGP - "), quillnet_.client().id(), kTimeout);
    Check(dialog.has_value(), "no confirmation dialog appeared");
    Check(dialog->title == expectedTitle, "the dialog is \"" + dialog->title + "\"");
    return *dialog;
  }

  std::string WaitForText(HWND window, const std::string& field, const std::string& part) {
    auto text = e2e::WaitForText(quillnet_.mail(), window, field,
                                 [&](const std::string& t) { return Contains(t, part); }, kTimeout);
    Check(text && Contains(*text, part), "the window never showed \"" + part + "\"");
    return *text;
  }

  e2e::PgpCall LastCall(size_t expectedCount) {
    const auto calls = e2e::ReadPgpLog(workspace_.log());
    Check(calls.size() == expectedCount,
          "PGP ran " + std::to_string(calls.size()) + " times, not " + std::to_string(expectedCount));
    return calls.back();
  }

  // The module's line above PGP's output, which says what PGP vouched for.
  static std::string FirstMarkerIn(const std::string& text) {
    const size_t start = text.find(kMarkerStart);
    Check(start != std::string::npos, "no line says what PGP vouched for");
    const size_t end = text.find(" --]", start);
    Check(end != std::string::npos, "the marker line is cut short");
    return text.substr(start, end + 4 - start);
  }

  void ExpectNoTemporaryFiles() {
    Check(e2e::WaitUntil([&] { return workspace_.TempFiles().empty(); }, 5000),
          "temporary files were left behind");
  }

  HWND OpenReceived(const std::string& name) {
    const auto opened = quillnet_.mail().OpenFile(workspace_.mailFile(name));
    quillnet_.mail().FocusField("view", opened.window);
    return opened.window;
  }

  // ---- the steps -----------------------------------------------------------

  std::string Start() {
    quillnet_.Start();
    Check(e2e::WaitUntil([&] { return e2e::Button(quillnet_.main()) != nullptr; }, 10000),
          "no button on the toolbar");
    const auto items = e2e::ReadModuleItems(quillnet_.main());
    Check(items && items->all(), "the module's menu items are missing");
    Picture("started");
    return "quillnet.exe started EUDORA.EXE; menus hold \"" + items->runText + "\", \"" +
           items->aboutText + "\", \"" + items->exitText + "\"; button on the toolbar";
  }

  std::string Decode() {
    const HWND window = OpenReceived("01-encrypted.msg");
    const auto dialog = RunPgp(" PGP - Decode ");
    ScreenPicture("decode-dialog");
    uidrive::Answer(dialog, "OK");
    const std::string text = WaitForText(window, "", "Minutes of the meeting on 3 March 1997");
    const auto call = LastCall(++pgpRuns_);
    Check(call.exit == "0", "PGP ended with " + call.exit);
    const std::string marker = FirstMarkerIn(text);
    Check(Contains(text, kEndMarker), "no line marks the end of PGP's output");
    ExpectNoTemporaryFiles();
    Picture("decoded");
    CloseActive();
    return "01-encrypted.msg decoded in place under " + marker + " (pgp " +
           TrimPath(call.commandLine) + ")";
  }

  // Mail from a mail program of today: the client shows the encrypted part
  // as an attachment, and the decoded message reads as mail.
  std::string ReadPgpMime() {
    const HWND window = OpenReceived("07-pgp-mime.eml");
    const std::string before = WaitForText(window, "", "encrypted.asc\"");
    const auto dialog = RunPgp(" PGP - Decode ");
    Check(Contains(uidrive::GetText(GetDlgItem(dialog.handle, 2450)), "encrypted.asc"),
          "the dialog does not name the attachment");
    uidrive::Answer(dialog, "OK");
    const std::string text = WaitForText(window, "", "contract.pdf\"");
    Check(!Contains(text, "Content-Type") && !Contains(text, "=C3"), "MIME is still in sight");
    Check(Contains(text, "Gr\xFC\xDF" "e aus K\xF6ln"), "the text is not in the Windows character set");
    const std::string saved = workspace_.mail() + "\\attach\\contract.pdf";
    Check(e2e::ReadBytes(saved).rfind("%PDF-", 0) == 0, "no PDF at " + saved);
    ++pgpRuns_;
    ExpectNoTemporaryFiles();
    Picture("pgp-mime-read");
    CloseActive();
    return "07-pgp-mime.eml decoded from its attachment: protected subject, text in Windows' "
           "character set, contract.pdf saved and named under " + FirstMarkerIn(text);
  }

  std::string ReadUtf8() {
    const HWND window = OpenReceived("08-inline-utf8.eml");
    uidrive::Answer(RunPgp(" PGP - Decode "), "OK");
    const std::string text = WaitForText(window, "", "Das Treffen");
    Check(Contains(text, "Caf\xE9 am Dom"), "the UTF-8 text is not in the Windows character set");
    ++pgpRuns_;
    ExpectNoTemporaryFiles();
    Picture("utf8-read");
    CloseActive();
    return "08-inline-utf8.eml decoded, its UTF-8 text shown in Windows' character set";
  }

  std::string CheckSignature() {
    const HWND window = OpenReceived("02-signed.msg");
    uidrive::Answer(RunPgp(" PGP - Check signature "), "OK");
    const std::string text = WaitForText(window, "", "my new phone number is 555-0199");
    Check(!Contains(text, "BEGIN PGP"), "the armour is still there");
    const auto call = LastCall(++pgpRuns_);
    Check(call.exit == "0", "PGP ended with " + call.exit + " (bad signature?)");
    const std::string marker = FirstMarkerIn(text);
    Check(Contains(marker, "good signature"), "the text is marked " + marker);
    ExpectNoTemporaryFiles();
    Picture("signature-checked");
    CloseActive();
    return "Bob's signature checked; the text is shown without its armour under " + marker;
  }

  std::string AddKey() {
    Check(!Contains(workspace_.Keyring(), e2e::kCarolUserId), "Carol's key is there already");
    OpenReceived("03-public-key.msg");
    const auto dialog = RunPgp(" PGP - Add key ");
    ScreenPicture("add-key-dialog");
    uidrive::Answer(dialog, "OK");
    const auto keys = e2e::WaitForBox(TextMatch::Exact(" PGP - Add key "), quillnet_.client().id(), kTimeout);
    Check(keys.has_value(), "no word of the keys added");
    Check(Contains(keys->text, e2e::kCarolUserId), "the keys box does not name Carol's key");
    ScreenPicture("keys-added");
    uidrive::Answer(*keys, "OK");
    Check(e2e::WaitUntil([&] { return Contains(workspace_.Keyring(), e2e::kCarolUserId); }, kTimeout),
          "keyring.txt did not gain Carol's key");
    const auto call = LastCall(++pgpRuns_);
    ExpectNoTemporaryFiles();
    CloseActive();
    return std::string("keyring.txt gained \"") + e2e::kCarolUserId + "\" (pgp " +
           TrimPath(call.commandLine) + ")";
  }

  std::string DecodeInReply() {
    OpenReceived("01-encrypted.msg");
    uidrive::PostCommand(quillnet_.main(), e2e::kClientReply);
    Check(e2e::WaitUntil([&] {
            try {
              return quillnet_.mail().StateOf().kind == "composition";
            } catch (const uidrive::Failure&) {
              return false;
            }
          }, 10000),
          "Message > Reply opened no composition");
    const HWND reply = quillnet_.mail().StateOf().window;
    quillnet_.mail().FocusField("body", reply);
    uidrive::Answer(RunPgp(" PGP - Decode "), "OK");
    const std::string text = WaitForText(reply, "body", "Minutes of the meeting");
    Check(Contains(e2e::WithoutCr(text), ">Minutes of the meeting on 3 March 1997\n>\n>- the budget"),
          "the decoded lines are not quoted with '>'");
    ++pgpRuns_;
    ExpectNoTemporaryFiles();
    Picture("reply-decoded");
    CloseActive();  // the reply
    CloseActive();  // the message it answers
    return "the quoted block of the reply decoded, every line quoted with '>' again";
  }

  std::string EncryptToBob() {
    composition_ = quillnet_.mail().Compose(
        {"Bob Builder <bob@example.net>", "", "", "Our plans", kPlainText}).window;
    quillnet_.mail().FocusField("body", composition_);
    const auto dialog = RunPgp(" PGP - Encrypt ");
    const std::string recipients = uidrive::GetText(GetDlgItem(dialog.handle, 2451));
    Check(recipients == "bob@example.net", "the dialog offers \"" + recipients + "\"");
    ScreenPicture("encrypt-dialog");
    uidrive::Answer(dialog, "OK");
    encrypted_ = WaitForText(composition_, "body", "-----END PGP MESSAGE-----");
    Check(!Contains(encrypted_, "plans for Friday"), "the plain text is still in the body");
    const auto call = LastCall(++pgpRuns_);
    Check(call.exit == "0", "PGP ended with " + call.exit);
    ExpectNoTemporaryFiles();
    Picture("encrypted");
    return "the body became the armoured output for bob@example.net (pgp " +
           TrimPath(call.commandLine) + ")";
  }

  std::string Undo() {
    Check(composition_ != nullptr, "no encrypted composition to undo");
    uidrive::SendCommand(quillnet_.main(), e2e::kClientUndo, 0, 10000);
    const auto text = e2e::WaitForText(quillnet_.mail(), composition_, "body",
                                       [](const std::string& t) { return t == kPlainText; }, 5000);
    Check(text && *text == kPlainText, "Edit > Undo did not bring the plain text back");
    Picture("undone");
    return "Edit > Undo brought the plain text back";
  }

  std::string ToolbarButton() {
    const HWND button = e2e::Button(quillnet_.main());
    Check(button != nullptr, "no button");
    OpenReceived("01-encrypted.msg");
    RECT face{};
    GetClientRect(button, &face);
    uidrive::Click(button, POINT{face.right / 2, face.bottom / 2});
    auto dialog = e2e::WaitForBox(TextMatch::Prefix(" PGP - "), quillnet_.client().id(), kTimeout);
    Check(dialog.has_value(), "the button ran no command");
    uidrive::Answer(*dialog, "Cancel");
    ExpectNoTemporaryFiles();
    CloseActive();
    return "a click on the button opened \"" + dialog->title + "\" (cancelled)";
  }

  std::string About() {
    uidrive::PostCommand(quillnet_.main(), e2e::kIdmAbout);
    auto box = e2e::WaitForBox(TextMatch{}, quillnet_.client().id(), kTimeout);
    Check(box.has_value(), "no About box");
    ScreenPicture("about");
    uidrive::Answer(*box, IDOK);
    return "About box \"" + box->title + "\" shown and closed";
  }

  std::string Exit() {
    uidrive::PostCommand(quillnet_.main(), e2e::kIdmExitExtension);
    const auto code = quillnet_.launcher().WaitForExit(15000);
    Check(code.has_value(), "the launcher did not end");
    const auto items = e2e::ReadModuleItems(quillnet_.main());
    Check(items && !items->any(), "the menu items are still there");
    Check(e2e::Button(quillnet_.main()) == nullptr, "the button is still there");
    Check(quillnet_.ClientAnswers(), "the client does not answer");
    Picture("after-exit");
    return "items and button gone, launcher ended (exit code " + std::to_string(*code) +
           "), the client runs on";
  }

  // The command line with PGP's path (quoted, so it may hold blanks) cut to its name.
  static std::string TrimPath(const std::string& commandLine) {
    const size_t end = commandLine[0] == '"' ? commandLine.find('"', 1) + 1 : commandLine.find(' ');
    return end == std::string::npos || end == 0 ? commandLine : "pgp.exe" + commandLine.substr(end);
  }

  static constexpr char kPlainText[] =
      "Bob,\r\n\r\nthe plans for Friday stand: we meet at ten.\r\n\r\nSam";

  e2e::Workspace workspace_;
  e2e::ProcessGroup group_;
  e2e::Quillnet quillnet_;
  std::string pictures_;
  int steps_ = 0, failed_ = 0, pictures_taken_ = 0;
  size_t pgpRuns_ = 0;
  HWND composition_ = nullptr;
  std::string encrypted_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: tour.exe <demo folder> <folder for the pictures>\n");
    return 2;
  }
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  try {
    CreateDirectoryA(argv[2], nullptr);
    Tour tour(argv[1], argv[2]);
    return tour.Run();
  } catch (const std::exception& e) {
    std::printf("FAIL  %-18s %s\n", "setting up", e.what());
    return 1;
  }
}
