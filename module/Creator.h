#pragma once
// The steps every screen creator takes: hourglass, create (once, or at each call), copy the
// arguments, prepare, show, default cursor. Each screen's creator describes its own steps and
// runs them through `runCreator`.

#include <functional>
#include <memory>

#include "module/ScreenHost.h"

namespace rec {

/// How a creator shows its screen, decided after the preparation.
enum class Show { Modal, Modeless, Maximized, NotShown };

/// Where a screen's instance lives. A created-once slot is guarded by the unit's exported flag
/// (`boStCriado`, `boIdCriado`); a per-call slot makes a new screen at every call.
template <class Screen>
class ScreenSlot {
 public:
  /// Created once, guarded by `flag` (may be null: guarded by the instance alone).
  static ScreenSlot once(bool* flag) { return ScreenSlot(true, flag); }
  static ScreenSlot perCall() { return ScreenSlot(false, nullptr); }

  Screen* instance() const { return instance_.get(); }
  bool createdOnce() const { return once_; }

  /// The screen to work with: the existing one when it was created once and still exists,
  /// otherwise a new one from `make` (the flag is set).
  Screen& acquire(const std::function<std::unique_ptr<Screen>()>& make) {
    if (!once_ || !instance_ || (flag_ && !*flag_)) {
      instance_ = make();
      if (flag_) *flag_ = true;
    }
    return *instance_;
  }
  /// The screen closed: the next call creates it afresh. The instance itself is freed then,
  /// not now, since the screen may still be running the code that closed it.
  void closed() {
    if (flag_) *flag_ = false;
    stale_ = true;
  }
  bool stale() const { return stale_; }
  /// Frees the instance at once (the register's close frees its screen).
  void release() {
    instance_.reset();
    if (flag_) *flag_ = false;
  }

 private:
  ScreenSlot(bool once, bool* flag) : once_(once), flag_(flag) {}
  bool once_;
  bool* flag_;
  bool stale_ = false;
  std::unique_ptr<Screen> instance_;
};

template <class Screen>
struct CreatorSteps {
  bool hourglass = true;  ///< a few creators leave the cursor alone
  std::function<std::unique_ptr<Screen>()> make;
  /// Copies the creator's arguments into the unit's module-level variables.
  std::function<void(Screen&)> copyArguments;
  /// The preparation that needs the arguments; a failure leaves the screen created but not
  /// shown and propagates to the creator's caller.
  std::function<void(Screen&)> prepare;
  std::function<Show(Screen&)> show;
};

/// Runs the common steps; returns the modal result of a modal screen, host::mrNone otherwise.
template <class Screen>
int runCreator(ScreenSlot<Screen>& slot, const CreatorSteps<Screen>& steps) {
  ScreenHost& sh = screenHost();
  if (steps.hourglass) sh.setCursor(Cursor::Hourglass);
  // The cursor comes back whatever happens: a failed preparation must not leave the
  // operator with an hourglass over a screen that was never shown.
  struct Restore {
    ScreenHost& sh;
    bool on;
    ~Restore() {
      if (on) sh.setCursor(Cursor::Default);
    }
  } restore{sh, steps.hourglass};

  Screen& screen = slot.acquire(steps.make);
  if (steps.copyArguments) steps.copyArguments(screen);
  if (steps.prepare) steps.prepare(screen);
  Show how = steps.show ? steps.show(screen) : Show::Modal;
  switch (how) {
    case Show::Modal: {
      int result = sh.showModal(screen);
      if (slot.createdOnce() && !screen.isOpen()) slot.closed();
      return result;
    }
    case Show::Modeless:
      sh.showModeless(screen, false);
      break;
    case Show::Maximized:
      sh.showModeless(screen, true);
      break;
    case Show::NotShown:
      break;
  }
  return host::mrNone;
}

}  // namespace rec
