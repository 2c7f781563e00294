// The demo the generator ships as save.brz: every operator type, cut on the music's bars.
#pragma once

#include "timeline/timeline.h"

namespace korvalin::content {

// Fills an empty timeline with the default demo. Returns false (and leaves a partial
// project) only if the model refuses a clip, which would be a fault in this builder.
bool buildDefaultProject(Timeline& timeline);

}  // namespace korvalin::content
