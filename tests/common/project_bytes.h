// Expected save.brz contents written from the file's layout, not with the timeline's own code:
// for layers 0 to 15 a record of the layer number (one byte), the clip count (int16) and the clip
// records, each the operator type (int32), start, length and the parameters (float32), all
// little-endian.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

namespace korvalin::test {

inline void putLittleEndian(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

inline std::vector<uint8_t> clipRecord(int32_t type, float start, float length, std::initializer_list<float> params) {
  std::vector<uint8_t> out;
  putLittleEndian(out, static_cast<uint32_t>(type), 4);
  std::vector<float> values{start, length};
  values.insert(values.end(), params);
  for (float v : values) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    putLittleEndian(out, bits, 4);
  }
  return out;
}

// The whole file; `layers` maps a layer to its clip records in order.
inline std::vector<uint8_t> projectBytes(const std::map<int, std::vector<std::vector<uint8_t>>>& layers) {
  std::vector<uint8_t> out;
  for (int layer = 0; layer < 16; ++layer) {
    const auto found = layers.find(layer);
    const size_t count = found == layers.end() ? 0 : found->second.size();
    out.push_back(static_cast<uint8_t>(layer));
    putLittleEndian(out, static_cast<uint32_t>(count), 2);
    for (size_t i = 0; i < count; ++i) out.insert(out.end(), found->second[i].begin(), found->second[i].end());
  }
  return out;
}

}  // namespace korvalin::test
