#pragma once
#include "framework/windows/Application.h"

// The application object: the framework's defaults for every application event.
class App : public framework::Application {
 public:
  App() { Constructor(); }
  // Adds nothing to what every application holds.
  void Constructor() {}

  // The registered application object; throws when there is none or it is not an App.
  static App& instance();
};
