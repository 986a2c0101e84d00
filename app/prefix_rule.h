#pragma once

#include <string>

namespace app {

// bKVO: the file-name part of the reference path (after its last "\" or "/") begins with
// "KVO" in any case. A bare name without a folder has no file-name part and gives False.
bool ReferenceHasKvoPrefix(const std::string& LPathAgg);

}  // namespace app
