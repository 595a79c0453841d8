#include "tests/win/support/dialog_answerer.h"

#include <algorithm>
#include <cstring>

std::string WindowTextOf(HWND window) {
  int n = GetWindowTextLengthA(window);
  std::string text(n + 1, '\0');
  n = GetWindowTextA(window, text.data(), n + 1);
  text.resize(n > 0 ? n : 0);
  return text;
}

void PressButton(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

namespace {

BOOL CALLBACK CollectDialog(HWND window, LPARAM list) {
  char cls[16];
  if (IsWindowVisible(window) && GetClassNameA(window, cls, sizeof cls) && !strcmp(cls, "#32770"))
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

}  // namespace

DialogAnswerer::DialogAnswerer(std::vector<DialogAnswer> script)
    : thread_(GetCurrentThreadId()), script_(std::move(script)), watcher_([this] { Watch(); }) {}

DialogAnswerer::~DialogAnswerer() {
  stop_ = true;
  watcher_.join();
}

std::vector<SeenDialog> DialogAnswerer::Seen() {
  std::lock_guard<std::mutex> lock(mutex_);
  return seen_;
}

void DialogAnswerer::Watch() {
  while (!stop_) {
    std::vector<HWND> dialogs;
    EnumThreadWindows(thread_, CollectDialog, reinterpret_cast<LPARAM>(&dialogs));
    for (HWND d : dialogs)
      if (std::find(handled_.begin(), handled_.end(), d) == handled_.end()) Handle(d);
    Sleep(15);
  }
}

void DialogAnswerer::Handle(HWND dialog) {
  handled_.push_back(dialog);
  SeenDialog seen{WindowTextOf(dialog), ""};
  if (HWND text = GetDlgItem(dialog, 0xFFFF)) seen.text = WindowTextOf(text);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    seen_.push_back(seen);
  }
  if (next_ >= script_.size() ||
      (!script_[next_].title.empty() && script_[next_].title != seen.title)) {
    ++unexpected_;
    PressButton(dialog, IDCANCEL);
    return;
  }
  const DialogAnswer& answer = script_[next_++];
  if (answer.action)
    answer.action(dialog);
  else
    PressButton(dialog, answer.button);
}
