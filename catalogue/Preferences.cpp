// The preferences file "lm.pref": the option byte, then the main window's width and height.
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cstdint>
#include <exception>
#include <optional>

#include "app/Window1.h"
#include "catalogue/Module1.h"
#include "framework/files/SpecialFolder.h"
#include "framework/streams/BinaryStream.h"

namespace Module1 {

namespace {

constexpr int kPrefLength = 9;
constexpr int kMinSide = 64;
constexpr int kMaxSide = 32000;

std::optional<framework::FolderItem> prefItem() {
  auto folder = framework::SpecialFolderPreferences();
  if (!folder) return std::nullopt;
  return folder->Child("lm.pref");
}

// A size from the file may be anything; the window must stay usable and on the screen.
int fitSide(std::int32_t side, int screenSide) {
  int upper = kMaxSide;
  if (screenSide > 0) upper = std::min(upper, std::max(kMinSide, screenSide));
  return std::clamp<std::int32_t>(side, kMinSide, upper);
}

}  // namespace

void ReadPref() {
  auto item = prefItem();
  if (!item || !item->Visible()) return;
  // A pipe, a device or a folder of that name counts as no file; asking never blocks.
  auto stream = framework::BinaryStream::Open(*item, true);
  // A file that is only readable still holds the user's settings.
  if (!stream) stream = framework::BinaryStream::Open(*item, false);
  if (!stream) return;
  // A short (damaged) file is not read at all rather than half applied.
  if (stream->Length() < kPrefLength) return;

  const bool option = stream->ReadBoolean();
  const std::int32_t width = stream->ReadLong();
  const std::int32_t height = stream->ReadLong();
  const bool failed = stream->Error();
  stream->Close();
  if (failed) return;

  ErrorCD = option;
  Window1& window = Window1::instance();
  int screenWidth = 0, screenHeight = 0;
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    // The window's own menu bar stands above its content area.
    const int chrome = window.widget() ? std::max(0, window.widget()->height() - window.Height()) : 0;
    screenWidth = area.width();
    screenHeight = area.height() - chrome;
  }
  window.setWidth(fitSide(width, screenWidth));
  window.setHeight(fitSide(height, screenHeight));
}

void WritePref() {
  // Quitting must go on whatever happens to the file.
  try {
    auto item = prefItem();
    if (!item) return;
    Window1* window = framework::openInstance<Window1>();
    if (!window) return;
    // Neither opens nor creates anything over a pipe, a device or a folder of that name.
    auto stream = item->Visible() ? framework::BinaryStream::Open(*item, true)
                                  : framework::BinaryStream::Create(*item, true);
    if (!stream) return;
    stream->WriteBoolean(ErrorCD);
    stream->WriteLong(window->Width());
    stream->WriteLong(window->Height());
    stream->Close();
  } catch (const std::exception&) {
  }
}

}  // namespace Module1
