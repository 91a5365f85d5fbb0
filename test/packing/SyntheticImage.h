#pragma once

#include <cstdint>
#include <vector>

// The smallest 64-bit program the packing layer reads: headers and one
// section, the resource section, at address 0x1000 and file offset 0x200,
// holding `resources`.
std::vector<uint8_t> syntheticImage(const std::vector<uint8_t>& resources);

constexpr uint32_t syntheticResourceRva = 0x1000;
constexpr uint32_t syntheticResourceOffset = 0x200;
