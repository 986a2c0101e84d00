#pragma once

#include <string>
#include <vector>

#include "schema/data_loss_preview.h"

namespace cli {

// The preview of a verify run as text for a person, one line per rebuilt field, headed by a
// title line; nothing when no field would be rebuilt.
std::vector<std::string> DataLossLines(const std::vector<schema::FieldLossPreview>& previews);

}  // namespace cli
