// Process-wide state of one archiver library: whether a command is running,
// and the background and cursor modes that the status functions report.
#pragma once

#include <atomic>

namespace arc {

class LibraryState {
 public:
  explicit LibraryState(int cursorMode) : cursor_(cursorMode ? 1 : 0) {}

  int Running() const { return running_.load(); }
  int BackgroundMode() const { return background_.load(); }
  int SetBackgroundMode(int on) {
    background_.store(on ? 1 : 0);
    return 1;
  }
  int CursorMode() const { return cursor_.load(); }
  int SetCursorMode(int on) {
    cursor_.store(on ? 1 : 0);
    return 1;
  }

  // Marks a command as running for its lifetime. Owner() is false when
  // another command was already running; that command keeps the mark.
  class Busy {
   public:
    explicit Busy(LibraryState& state) : state_(state), owner_(state.running_.exchange(1) == 0) {}
    ~Busy() {
      if (owner_) state_.running_.store(0);
    }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;
    bool Owner() const { return owner_; }

   private:
    LibraryState& state_;
    bool owner_;
  };

 private:
  std::atomic<int> running_{0};
  std::atomic<int> background_{0};
  std::atomic<int> cursor_;
};

}  // namespace arc
