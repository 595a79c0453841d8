// uidrive.exe: the command line over the uidrive library, for scripts and
// the demo. `uidrive <verb> [arguments]`; exit code 0 on success, 1 when the
// action failed, 2 for a wrong command line; results on stdout, one item a
// line, texts with \n \r \t \\ escaped (except gettext, clipboard and
// mail-text, which print the text as it is).
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "testbed/uidrive/uidrive.h"

namespace {

using uidrive::Failure;

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

constexpr char kUsage[] =
    "usage: uidrive <verb> [arguments]\n"
    "  find [--class C|--class-prefix C] [--title T|--title-prefix T] [--parent W] [--pid N]\n"
    "       [--visible] [--all] [--timeout MS]\n"
    "  children W [--recursive]        menu W            gettext W\n"
    "  settext W TEXT | settext W --file PATH            type W TEXT\n"
    "  press W --id N | --text T [--bm-click]            command W ID [--send] [--lparam X]\n"
    "  answer [--title T|--title-prefix T] [--pid N] [--button T|--id N] [--timeout MS]\n"
    "  click W X Y [--real]            drag W X1 Y1 X2 Y2 [--real] [--steps N]\n"
    "  focus W    close W    wait-gone W [--timeout MS]\n"
    "  clipboard [--set TEXT]          capture W FILE.bmp [--print]\n"
    "  mail-ping  mail-open FILE|--text T  mail-compose [--to T] [--cc T] [--subject T] [--body T]\n"
    "  mail-focus FIELD [--window W]  mail-text [--window W] [--field F] [--fields]\n"
    "  mail-select --start N --end N  mail-state  mail-windows  mail-close  mail-menu  mail-mailbox\n"
    "  (mail verbs: any --name VALUE becomes a request field; --main W picks the client)\n"
    "W is a handle (0x1A2B or decimal), main (the mail client), class:NAME or title:TEXT.\n";

const std::set<std::string> kFlags = {"--all",   "--recursive", "--visible", "--send",  "--real",
                                      "--print", "--bm-click",  "--fields",  "--raw"};

class Args {
 public:
  Args(int argc, char** argv) {
    for (int i = 2; i < argc; ++i) {
      std::string a = argv[i];
      if (a.size() > 2 && a.starts_with("--")) {
        if (kFlags.count(a)) {
          options_[a] = "1";
        } else {
          if (i + 1 >= argc) throw UsageError("option " + a + " needs a value");
          options_[a] = argv[++i];
          order_.push_back(a);
        }
      } else {
        positional_.push_back(a);
      }
    }
  }

  const std::string& At(size_t i, const char* what) const {
    if (i >= positional_.size()) throw UsageError(std::string("missing ") + what);
    return positional_[i];
  }
  size_t Count() const { return positional_.size(); }
  bool Has(const std::string& name) const { return options_.count(name) != 0; }
  std::string Get(const std::string& name, const std::string& fallback = "") const {
    auto it = options_.find(name);
    return it == options_.end() ? fallback : it->second;
  }
  long long Number(const std::string& name, long long fallback) const {
    if (!Has(name)) return fallback;
    auto value = automation::ParseNumber(Get(name));
    if (!value) throw UsageError(name + " needs a number");
    return *value;
  }
  const std::vector<std::string>& ValueOptions() const { return order_; }

 private:
  std::vector<std::string> positional_;
  std::map<std::string, std::string> options_;
  std::vector<std::string> order_;  // options with values, in command-line order
};

long long NumberArg(const std::string& text, const char* what) {
  auto value = automation::ParseNumber(text);
  if (!value) throw UsageError(std::string(what) + " must be a number: " + text);
  return *value;
}

DWORD Timeout(const Args& args) {
  return static_cast<DWORD>(args.Number("--timeout", uidrive::kDefaultTimeout));
}

std::string Hex(std::uintptr_t value) { return automation::FormatHandle(value); }
std::string Hex(HWND window) { return Hex(reinterpret_cast<std::uintptr_t>(window)); }

void Print(const std::string& line) {
  fwrite(line.data(), 1, line.size(), stdout);
  fputc('\n', stdout);
}

void PrintRaw(const std::string& text) { fwrite(text.data(), 1, text.size(), stdout); }

HWND ResolveWindow(const std::string& name, DWORD timeoutMs) {
  uidrive::WindowQuery query;
  if (name == "main") {
    query.className = uidrive::TextMatch::Exact("EudoraMainWindow");
  } else if (name.starts_with("class:")) {
    query.className = uidrive::TextMatch::Exact(name.substr(6));
  } else if (name.starts_with("title:")) {
    query.title = uidrive::TextMatch::Exact(name.substr(6));
  } else {
    HWND window = uidrive::HandleFrom(name);
    if (!window) throw UsageError("not a window handle or name: " + name);
    if (!IsWindow(window)) throw Failure("not a window: " + name);
    return window;
  }
  return uidrive::WaitForWindow(query, timeoutMs);
}

HWND WindowArg(const Args& args, size_t i) { return ResolveWindow(args.At(i, "window"), Timeout(args)); }

int Find(const Args& args) {
  uidrive::WindowQuery query;
  if (args.Has("--class")) query.className = uidrive::TextMatch::Exact(args.Get("--class"));
  if (args.Has("--class-prefix")) query.className = uidrive::TextMatch::Prefix(args.Get("--class-prefix"));
  if (args.Has("--title")) query.title = uidrive::TextMatch::Exact(args.Get("--title"));
  if (args.Has("--title-prefix")) query.title = uidrive::TextMatch::Prefix(args.Get("--title-prefix"));
  if (args.Has("--parent")) query.parent = ResolveWindow(args.Get("--parent"), Timeout(args));
  query.processId = static_cast<DWORD>(args.Number("--pid", 0));
  query.visibleOnly = args.Has("--visible");
  HWND first = uidrive::WaitForWindow(query, Timeout(args));
  std::vector<HWND> all = args.Has("--all") ? uidrive::FindWindows(query) : std::vector<HWND>{first};
  for (HWND w : all)
    Print(Hex(w) + "\t" + uidrive::ClassOf(w) + "\t" + automation::Escape(uidrive::Describe(w).text));
  return 0;
}

int Children(const Args& args) {
  for (const uidrive::WindowInfo& c : uidrive::Children(WindowArg(args, 0), args.Has("--recursive")))
    Print(std::to_string(c.depth) + "\t" + Hex(c.handle) + "\t" + c.className + "\t" +
          Hex(static_cast<std::uint32_t>(c.id)) + "\t" + Hex(c.style) + "\t" +
          automation::Escape(c.text));
  return 0;
}

int Menu(const Args& args) {
  for (const uidrive::MenuItem& m : uidrive::MenuBar(WindowArg(args, 0), Timeout(args))) {
    std::string flags;
    auto add = [&](bool on, const char* f) {
      if (on) flags += flags.empty() ? f : std::string(",") + f;
    };
    add(m.popup, "popup");
    add(m.separator, "separator");
    add(m.grayed, "grayed");
    add(m.disabled, "disabled");
    add(m.checked, "checked");
    Print(m.path + "\t" + (m.popup ? std::string("popup") : Hex(m.id)) + "\t" +
          (flags.empty() ? "enabled" : flags) + "\t" + automation::Escape(m.text));
  }
  return 0;
}

int GetTextVerb(const Args& args) {
  PrintRaw(uidrive::GetText(WindowArg(args, 0), Timeout(args)));
  return 0;
}

std::string ReadFileArg(const std::string& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> f(fopen(path.c_str(), "rb"), fclose);
  if (!f) throw Failure("cannot read " + path);
  std::string text;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f.get())) > 0) text.append(buffer, n);
  return text;
}

int SetTextVerb(const Args& args) {
  HWND w = WindowArg(args, 0);
  std::string text = args.Has("--file") ? ReadFileArg(args.Get("--file")) : args.At(1, "text");
  uidrive::SetText(w, text, Timeout(args));
  return 0;
}

int Type(const Args& args) {
  uidrive::TypeText(WindowArg(args, 0), args.At(1, "text"));
  return 0;
}

int Press(const Args& args) {
  HWND dialog = WindowArg(args, 0);
  HWND button;
  if (args.Has("--id")) button = uidrive::FindButton(dialog, static_cast<int>(args.Number("--id", 0)));
  else if (args.Has("--text")) button = uidrive::FindButton(dialog, args.Get("--text"));
  else throw UsageError("press needs --id or --text");
  if (args.Has("--bm-click")) uidrive::ClickButton(button, Timeout(args));
  else uidrive::PressButton(button);
  return 0;
}

int AnswerVerb(const Args& args) {
  uidrive::TextMatch title;
  if (args.Has("--title")) title = uidrive::TextMatch::Exact(args.Get("--title"));
  if (args.Has("--title-prefix")) title = uidrive::TextMatch::Prefix(args.Get("--title-prefix"));
  uidrive::MessageBoxInfo box = uidrive::WaitForMessageBox(
      title, Timeout(args), static_cast<DWORD>(args.Number("--pid", 0)));
  Print("window=" + Hex(box.handle));
  Print("title=" + automation::Escape(box.title));
  Print("text=" + automation::Escape(box.text));
  for (const std::string& b : box.buttons) Print("button=" + automation::Escape(b));
  fflush(stdout);
  if (args.Has("--id")) uidrive::Answer(box, static_cast<int>(args.Number("--id", 0)), Timeout(args));
  else if (args.Has("--button")) uidrive::Answer(box, args.Get("--button"), Timeout(args));
  return 0;
}

int Command(const Args& args) {
  HWND w = WindowArg(args, 0);
  UINT id = static_cast<UINT>(NumberArg(args.At(1, "command id"), "command id"));
  LPARAM lParam = static_cast<LPARAM>(args.Number("--lparam", 0));
  if (args.Has("--send")) Print(std::to_string(uidrive::SendCommand(w, id, lParam, Timeout(args))));
  else uidrive::PostCommand(w, id, lParam);
  return 0;
}

POINT PointArgs(const Args& args, size_t i) {
  return POINT{static_cast<LONG>(NumberArg(args.At(i, "x"), "x")),
               static_cast<LONG>(NumberArg(args.At(i + 1, "y"), "y"))};
}

uidrive::MouseMode Mode(const Args& args) {
  return args.Has("--real") ? uidrive::MouseMode::Real : uidrive::MouseMode::Messages;
}

int ClickVerb(const Args& args) {
  uidrive::Click(WindowArg(args, 0), PointArgs(args, 1), Mode(args));
  return 0;
}

int DragVerb(const Args& args) {
  uidrive::Drag(WindowArg(args, 0), PointArgs(args, 1), PointArgs(args, 3), Mode(args),
                static_cast<int>(args.Number("--steps", 8)));
  return 0;
}

int FocusVerb(const Args& args) {
  uidrive::Focus(WindowArg(args, 0));
  return 0;
}

int CloseVerb(const Args& args) {
  uidrive::PostClose(WindowArg(args, 0));
  return 0;
}

int WaitGone(const Args& args) {
  HWND w = uidrive::HandleFrom(args.At(0, "window"));
  if (!w) throw UsageError("wait-gone needs a window handle");
  if (!uidrive::WaitUntilGone(w, Timeout(args)))
    throw Failure("window " + Hex(w) + " is still there");
  return 0;
}

int Clipboard(const Args& args) {
  if (args.Has("--set")) {
    uidrive::SetClipboardText(args.Get("--set"), Timeout(args));
    return 0;
  }
  std::optional<std::string> text = uidrive::ClipboardText(Timeout(args));
  if (!text) throw Failure("the clipboard holds no text");
  PrintRaw(*text);
  return 0;
}

int Capture(const Args& args) {
  uidrive::CaptureToBmp(WindowArg(args, 0), args.At(1, "file"), args.Has("--print"));
  return 0;
}

// mail-<verb>: --name VALUE options become request fields; the positional
// argument is the verb's main field.
int Mail(const std::string& verb, const Args& args) {
  static const std::set<std::string> kOwn = {"--main", "--pid", "--timeout"};
  static const std::map<std::string, std::string> kPositional = {
      {"open", "file"}, {"focus", "field"}, {"text", "field"}, {"close", "window"}};
  HWND main = args.Has("--main")
                  ? ResolveWindow(args.Get("--main"), Timeout(args))
                  : uidrive::MailClient::Find(Timeout(args), static_cast<DWORD>(args.Number("--pid", 0))).main();
  automation::Message request{verb, {}};
  if (auto p = kPositional.find(verb); p != kPositional.end() && args.Count() > 0)
    request.Add(p->second, args.At(0, p->second.c_str()));
  for (const std::string& option : args.ValueOptions())
    if (!kOwn.count(option)) request.Add(option.substr(2), args.Get(option));
  automation::Message reply =
      uidrive::MailClient(main).Call(request, static_cast<DWORD>(args.Number("--timeout", 30000)));
  if (verb == "text" && !args.Has("--fields")) {
    PrintRaw(reply.Get("text"));
    return 0;
  }
  for (const auto& [name, value] : reply.fields) Print(name + "=" + automation::Escape(value));
  return 0;
}

struct Verb {
  const char* name;
  int (*run)(const Args&);
};

constexpr Verb kVerbs[] = {
    {"find", Find},           {"children", Children}, {"menu", Menu},           {"gettext", GetTextVerb},
    {"settext", SetTextVerb}, {"type", Type},         {"press", Press},         {"answer", AnswerVerb},
    {"command", Command},     {"click", ClickVerb},   {"drag", DragVerb},       {"focus", FocusVerb},
    {"close", CloseVerb},     {"wait-gone", WaitGone}, {"clipboard", Clipboard}, {"capture", Capture},
};

int Run(int argc, char** argv) {
  if (argc < 2 || !strcmp(argv[1], "--help") || !strcmp(argv[1], "help")) {
    fputs(kUsage, argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  std::string verb = argv[1];
  Args args(argc, argv);
  if (verb.starts_with("mail-")) return Mail(verb.substr(5), args);
  for (const Verb& v : kVerbs)
    if (verb == v.name) return v.run(args);
  throw UsageError("unknown verb: " + verb);
}

}  // namespace

int main(int argc, char** argv) {
  // Scripts on the Linux side read the output: no CRLF translation.
  _setmode(_fileno(stdout), _O_BINARY);
  try {
    int code = Run(argc, argv);
    fflush(stdout);
    return code;
  } catch (const UsageError& e) {
    fprintf(stderr, "uidrive: %s\n%s", e.what(), kUsage);
    return 2;
  } catch (const std::exception& e) {
    fflush(stdout);
    fprintf(stderr, "uidrive: %s\n", e.what());
    return 1;
  }
}
