#include "jet/index/text_key.h"

#include "jet/common/error.h"
#include "jet/index/key_encoder.h"

namespace jet {

std::vector<uint8_t> GeneralTextKey(std::string_view, Format) {
  throw Error(key_err::kUnsupportedKey, "Cannot build an index key: text keys are not built yet.");
}

}  // namespace jet
