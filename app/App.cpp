#include "app/App.h"

#include <stdexcept>

App& App::instance() {
  auto* app = dynamic_cast<App*>(framework::Application::instance());
  if (!app) throw std::runtime_error("NilObjectException: no application object");
  return *app;
}
