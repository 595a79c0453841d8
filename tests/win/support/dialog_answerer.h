// Answers the modal dialogs and message boxes that the code under test opens
// on the test's own thread. A watcher thread looks for top-level dialogs of
// that thread every few milliseconds and plays a script against them in
// order, recording what it saw, so tests can check titles and texts too.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct SeenDialog {
  std::string title;
  std::string text;  // a message box's text (static control 0xFFFF), else empty
};

struct DialogAnswer {
  DialogAnswer(std::string t, int b = IDOK) : title(std::move(t)), button(b) {}
  DialogAnswer(std::string t, std::function<void(HWND)> a)
      : title(std::move(t)), action(std::move(a)) {}

  std::string title;  // exact title expected; empty matches any
  int button = IDOK;  // pressed when no action is given
  std::function<void(HWND)> action;  // runs on the watcher thread instead
};

class DialogAnswerer {
 public:
  explicit DialogAnswerer(std::vector<DialogAnswer> script);
  ~DialogAnswerer();
  DialogAnswerer(const DialogAnswerer&) = delete;
  DialogAnswerer& operator=(const DialogAnswerer&) = delete;

  std::vector<SeenDialog> Seen();
  // Dialogs that appeared after the script ran out (they were cancelled).
  int Unexpected() const { return unexpected_; }

 private:
  void Watch();
  void Handle(HWND dialog);

  DWORD thread_;
  std::vector<DialogAnswer> script_;
  size_t next_ = 0;
  std::vector<HWND> handled_;
  std::mutex mutex_;
  std::vector<SeenDialog> seen_;
  std::atomic<bool> stop_{false};
  std::atomic<int> unexpected_{0};
  std::thread watcher_;
};

std::string WindowTextOf(HWND window);
// Presses a dialog button the way a click does: the dialog gets WM_COMMAND.
void PressButton(HWND dialog, int id);
