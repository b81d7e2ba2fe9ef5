#include "model/frame_list.h"

namespace pulldex {

std::int64_t FrameList::gap(std::int64_t i) const {
  std::int64_t j = i + 1;
  while (j < count() && !isKept(j)) ++j;
  return j - i - 1;
}

}  // namespace pulldex
