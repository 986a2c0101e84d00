#include "jet/core/rc4.h"

#include <array>
#include <utility>

namespace jet {

void Rc4Apply(std::span<const uint8_t> key, std::span<uint8_t> bytes) {
  if (key.empty()) return;
  std::array<uint8_t, 256> state{};
  for (size_t i = 0; i < state.size(); ++i) state[i] = static_cast<uint8_t>(i);
  uint8_t j = 0;
  for (size_t i = 0; i < state.size(); ++i) {
    j = static_cast<uint8_t>(j + state[i] + key[i % key.size()]);
    std::swap(state[i], state[j]);
  }
  uint8_t a = 0, b = 0;
  for (uint8_t& byte : bytes) {
    a = static_cast<uint8_t>(a + 1);
    b = static_cast<uint8_t>(b + state[a]);
    std::swap(state[a], state[b]);
    byte ^= state[static_cast<uint8_t>(state[a] + state[b])];
  }
}

}  // namespace jet
