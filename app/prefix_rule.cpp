#include "app/prefix_rule.h"

#include "schema/comparison_rules.h"
#include "util/path_helpers.h"

namespace app {

bool ReferenceHasKvoPrefix(const std::string& LPathAgg) {
  return schema::HasKvoPrefix(util::FileDaPath(LPathAgg, "\\", false));
}

}  // namespace app
