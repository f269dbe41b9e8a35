#pragma once
#include <memory>

#include "catalogue/NameIndexBuild.h"

class Window1;

// Starts keeping the open catalogue's name index caught up beside the window; while it catches up
// with a catalogue it found behind at the start (the first build on a catalogue of an earlier
// version), the window's busy label and wheel are shown. Nullptr when there is no catalogue or it
// is damaged (the search then scans).
std::unique_ptr<NameIndexBuild> StartNameIndexing(Window1& window);

namespace NameIndexing {
// Every record the catalogue holds is in the name index, or there is no index to keep: nothing of
// it is left to do.
bool Idle();
}  // namespace NameIndexing
