#pragma once
// The questions marking asks before it opens the discount screens (module/Creators.h).

#include <functional>
#include <string>
#include <vector>

#include "host/ClientDataset.h"
#include "host/Messages.h"

namespace rec {

/// Adds the questions of marking to a screen's message table (once).
void marcaMessages(host::TMessages& m);

}  // namespace rec
