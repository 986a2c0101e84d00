#pragma once

#include <string>
#include <vector>

#include "schema/data_loss_preview.h"

namespace app {

// The text the window shows beside the run log after a verify (as the run log's tooltip):
// for every field the update would rebuild, how many local rows would not survive the copy.
// Empty when no field would be rebuilt, so the run log shows no tooltip at all.
std::string DataLossSummary(const std::vector<schema::FieldLossPreview>& fields);

}  // namespace app
