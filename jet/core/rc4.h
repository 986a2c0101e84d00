#pragma once

#include <cstdint>
#include <span>

namespace jet {

// XORs `bytes` with the RC4 key stream of `key`. Jet masks part of page 0 this way (and
// encrypts pages with it where a database key is set); applying it twice restores the bytes.
void Rc4Apply(std::span<const uint8_t> key, std::span<uint8_t> bytes);

}  // namespace jet
