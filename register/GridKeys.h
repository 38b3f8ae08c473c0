#pragma once
// The grids' keys are the host's; the register's events keep their own names for them.

#include "host/GridKeys.h"

namespace rec {

using GridKey = host::GridKey;
using ShiftState = host::ShiftState;

}  // namespace rec
