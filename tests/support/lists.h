#pragma once

#include <string_view>

#include "model/frame_list.h"

namespace pulldex::testing {

// 'K' Kept, 'C' Copy, anything else Unlisted; every code 0.
inline FrameList listFromPattern(std::string_view pattern) {
  FrameList list;
  for (const char c : pattern)
    list.entries.push_back({0, static_cast<std::uint8_t>(c == 'K' ? Kept : c == 'C' ? Copy : Unlisted)});
  return list;
}

}  // namespace pulldex::testing
