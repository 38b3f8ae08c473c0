#pragma once
// Keys as the host's grids report them to a screen: the desktop maps its own key codes to
// these, the command line and the tests name them directly.

namespace host {

/// A key down in a grid. A screen that swallows the key sets it to None, and the grid then
/// does nothing more with it.
enum class GridKey { None, Tab, Left, Right, Up, Down, Delete, Insert, Other };

/// Modifier keys held with a key.
struct ShiftState {
  bool ctrl = false;
  bool shift = false;
  bool alt = false;
};

}  // namespace host
