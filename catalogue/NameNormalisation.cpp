#include "app/Window1.h"
#include "catalogue/Module1.h"
#include "framework/text/Normalization.h"

std::string Window1::UTF8Mac(const std::string& name) {
  if (auto composed = framework::ComposeUtf8(name)) return *std::move(composed);
  // The option is read at every call, so a change made during a read applies to the next name.
  if (Module1::ErrorCD) return name + ":ListError";
  return {};
}
