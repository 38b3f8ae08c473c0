#include "module/Creators.h"

namespace rec {

Creators& creators() {
  static Creators all;
  return all;
}

}  // namespace rec
