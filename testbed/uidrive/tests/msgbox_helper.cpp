// A tiny program for the uidrive tests: shows one message box, whose title,
// text and buttons come from the command line ("<title>|<text>|<MB_ flags>"),
// and exits with the id of the button that closed it.
#include <windows.h>

#include <cstdlib>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The runtime has already split the command line and removed the quotes.
  std::string argument = __argc > 1 ? __argv[1] : "";
  size_t first = argument.find('|');
  size_t second = first == std::string::npos ? first : argument.find('|', first + 1);
  if (second == std::string::npos) return 100;
  std::string title = argument.substr(0, first);
  std::string text;
  // "\n" in the text stands for a line break, so a test can check both lines.
  for (size_t i = first + 1; i < second; ++i) {
    if (argument[i] == '\\' && i + 1 < second && argument[i + 1] == 'n') {
      text.push_back('\n');
      ++i;
    } else {
      text.push_back(argument[i]);
    }
  }
  UINT flags = static_cast<UINT>(std::strtoul(argument.c_str() + second + 1, nullptr, 0));
  return MessageBoxA(nullptr, text.c_str(), title.c_str(), flags);
}
