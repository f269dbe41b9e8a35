#pragma once
#include <memory>

#include "framework/NameIndexBuild.h"

class Window1;

// Starts building the open catalogue's name index when it is not complete, the window's busy label
// and wheel shown until the build ends; nullptr when there is nothing to build. The build pauses
// while a read or a deletion holds its transaction and stops once damage was met.
std::unique_ptr<framework::NameIndexBuild> StartNameIndexing(Window1& window);
