// Runs a clean-up when the scope is left, by whatever way: a return, an
// exception. For work that is not the release of one handle (those have
// their holders in handles_win.h).
#pragma once

#include <utility>

template <typename F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) : f_(std::move(f)) {}
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  ~ScopeExit() { f_(); }

 private:
  F f_;
};
