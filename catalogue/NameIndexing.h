#pragma once
#include <memory>

#include "framework/NameIndexBuild.h"

class Window1;

// Starts keeping the open catalogue's name index: building it when it is not complete, the window's
// busy label and wheel shown until it is, then taking in what later reads queue. Nullptr when the
// catalogue cannot have the index. The work pauses while a read or a deletion holds its transaction
// and stops once damage was met.
std::unique_ptr<framework::NameIndexBuild> StartNameIndexing(Window1& window);
