// Grey pictures as PNG files, for pages that embed them.
#pragma once

#include <cstdint>
#include <string>

namespace pulldex {

// The PNG file of a grey picture of width × height pixels, lines packed.
std::string greyPng(int width, int height, const std::uint8_t* pixels);

// Bytes as base64, for a data: address.
std::string base64(const std::string& bytes);

}  // namespace pulldex
