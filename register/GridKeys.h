#pragma once
// Keys as the host's grids report them to a screen: the desktop maps its own key codes to
// these, the command line and the tests name them directly.

namespace rec {

enum class GridKey { None, Tab, Left, Right, Up, Down, Delete, Insert, Other };

/// Modifier keys held with a key.
struct ShiftState {
  bool ctrl = false;
  bool shift = false;
  bool alt = false;
};

}  // namespace rec
