#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "jet/common/error.h"
#include "schema/pass_state.h"

namespace update {

// The number a failure that carries none of its own is stored under (Jet's reserved error).
inline constexpr int32_t kGenericFailure = 3000;

// Stores a failure in nErrore / sErrore so that it never reads as success.
inline void RecordFailure(schema::PassState& state, int32_t number, const std::string& description) {
  state.nErrore = schema::ErrorNumberForState(number == 0 ? kGenericFailure : number);
  state.sErrore = description;
}

// Runs `work`; an engine error or any other exception is recorded and true is returned.
template <typename Work>
bool FailureOf(schema::PassState& state, Work&& work) {
  try {
    work();
    return false;
  } catch (const jet::Error& error) {
    RecordFailure(state, error.number(), error.description());
  } catch (const std::exception& error) {
    RecordFailure(state, kGenericFailure, error.what());
  }
  return true;
}

}  // namespace update
