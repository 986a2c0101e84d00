#pragma once

#include <cstdint>
#include <string>

#include "schema/engine.h"

// The part of the window's form state that the passes read and write.
namespace schema {

struct PassState {
  std::string LPathAgg;  // reference database
  std::string LPathLoc;  // local database
  bool bKVO = false;     // reference file name begins with "KVO"
  int16_t nErrore = 0;   // outcome: 0 = success
  std::string sErrore;
  WorkspaceRef wsDAO;
  DatabaseRef dbAgg;
  DatabaseRef dbLoc;
};

// Error numbers are kept in 16 bits; one that does not fit must still read as a failure.
inline int16_t ErrorNumberForState(int32_t number) {
  if (number >= INT16_MIN && number <= INT16_MAX) return static_cast<int16_t>(number);
  return INT16_MAX;
}

}  // namespace schema
