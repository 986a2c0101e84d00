#pragma once
// The text codec now lives in the common layer, where the property blobs use it too.
#include "jet/common/text_codec.h"
