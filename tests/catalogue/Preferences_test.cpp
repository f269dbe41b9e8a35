#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QScreen>

#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>
#include <fstream>
#include <iterator>
#include <string>

#include "app/Window1.h"
#include "catalogue/Module1.h"
#include "framework/windows/Window.h"
#include "support/TestSupport.h"

namespace {

std::string bytesOf(bool option, std::int32_t width, std::int32_t height) {
  std::string b(1, option ? '\1' : '\0');
  for (std::int32_t v : {width, height})
    for (int shift = 24; shift >= 0; shift -= 8) b += static_cast<char>((static_cast<std::uint32_t>(v) >> shift) & 0xFF);
  return b;
}

class PreferencesTest : public testsupport::AppTest {
 protected:
  std::string prefPath() { return configDir() + "/lm.pref"; }

  void writePref(const std::string& bytes) {
    std::ofstream(prefPath(), std::ios::binary) << bytes;
  }
  std::string readPref() {
    std::ifstream in(prefPath(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  // A run of the application as far as the preferences go: the main window opens, then quits.
  Window1& open() { return Window1::instance(); }
  void quit() {
    Window1::instance().Close();
    ASSERT_EQ(framework::openInstance<Window1>(), nullptr);
  }
};

TEST_F(PreferencesTest, FirstRunReadsNothingAndQuitWritesNineBytes) {
  Window1& w = open();
  EXPECT_FALSE(Module1::ErrorCD);
  EXPECT_EQ(w.Width(), 580);
  EXPECT_EQ(w.Height(), 500);
  quit();
  EXPECT_EQ(readPref(), bytesOf(false, 580, 500));
}

TEST_F(PreferencesTest, OptionAndSizeSurviveARestart) {
  Window1& w = open();
  Module1::ErrorCD = true;
  w.setWidth(640);
  w.setHeight(430);
  quit();
  Module1::ErrorCD = false;

  Window1& again = open();
  EXPECT_NE(framework::openInstance<Window1>(), nullptr);
  EXPECT_TRUE(Module1::ErrorCD);
  EXPECT_EQ(again.Width(), 640);
  EXPECT_EQ(again.Height(), 430);
}

TEST_F(PreferencesTest, LongerFileKeepsItsTail) {
  writePref(bytesOf(true, 600, 400) + "TAIL\xff");
  Window1& w = open();
  EXPECT_TRUE(Module1::ErrorCD);
  EXPECT_EQ(w.Width(), 600);
  EXPECT_EQ(w.Height(), 400);
  Module1::ErrorCD = false;
  w.setWidth(620);
  quit();
  EXPECT_EQ(readPref(), bytesOf(false, 620, 400) + "TAIL\xff");
}

// An "lm.pref" can be invisible here only by being absent (invisibility is a leading "."). None of
// these is a file: opening one could block the start or the quit, or read or write a device.
TEST_F(PreferencesTest, WhatIsNoFileIsNeitherReadNorWrittenAndBlocksNothing) {
  const struct {
    const char* what;
    std::function<void(const std::string&)> make;
  } cases[] = {
      {"folder", [](const std::string& p) { std::filesystem::create_directory(p); }},
      {"named pipe", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }},
      {"link to a device", [](const std::string& p) { std::filesystem::create_symlink("/dev/zero", p); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(prefPath());
    c.make(prefPath());
    const auto type = std::filesystem::symlink_status(prefPath()).type();
    // A reader that never waits shows whether anything went into the pipe.
    const int reader = ::open(prefPath().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    Module1::ErrorCD = false;
    Window1& w = open();
    EXPECT_FALSE(Module1::ErrorCD);
    EXPECT_EQ(w.Width(), 580);
    EXPECT_EQ(w.Height(), 500);
    Module1::ErrorCD = true;
    quit();
    EXPECT_EQ(std::filesystem::symlink_status(prefPath()).type(), type);
    if (type == std::filesystem::file_type::fifo) {
      char byte = 0;
      EXPECT_LE(::read(reader, &byte, 1), 0);
    }
    if (reader >= 0) ::close(reader);
    EXPECT_TRUE(msgs().empty());
  }
}

TEST_F(PreferencesTest, NoPreferencesFolderStillQuits) {
  // The configuration folder cannot be made below a plain file.
  const std::string blocker = configDir() + "/plainfile";
  std::ofstream(blocker) << "x";
  qputenv("XDG_CONFIG_HOME", (blocker + "/config").c_str());
  open();
  quit();
  EXPECT_FALSE(std::filesystem::exists(blocker + "/config"));
  EXPECT_TRUE(msgs().empty());
}

TEST_F(PreferencesTest, DamagedFilesCannotBreakTheWindow) {
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  struct Case {
    const char* what;
    std::string bytes;
    bool option;
    int width, height;  // -1: no larger than the screen allows
  };
  const Case cases[] = {
      {"empty file", "", false, 580, 500},
      {"shorter than nine bytes", bytesOf(true, 300, 300).substr(0, 8), false, 580, 500},
      {"first byte 2 counts as on", std::string(1, '\2') + bytesOf(false, 300, 200).substr(1), true, 300, 200},
      {"tiny and negative sizes", bytesOf(false, 10, -5), false, 64, 64},
      {"zero sizes", bytesOf(false, 0, 0), false, 64, 64},
      {"huge sizes", bytesOf(true, 100000, INT32_MAX), true, -1, -1},
      {"most negative", bytesOf(false, INT32_MIN, INT32_MIN), false, 64, 64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writePref(c.bytes);
    Module1::ErrorCD = false;
    Window1& w = open();
    EXPECT_EQ(Module1::ErrorCD, c.option);
    if (c.width >= 0) {
      EXPECT_EQ(w.Width(), c.width);
      EXPECT_EQ(w.Height(), c.height);
    } else {
      EXPECT_GE(w.Width(), 64);
      EXPECT_LE(w.widget()->width(), area.width());
      EXPECT_LE(w.widget()->height(), area.height());
    }
    quit();
    // The quit stores a whole record again.
    EXPECT_EQ(readPref().size(), std::max<std::size_t>(9, c.bytes.size()));
  }
}

}  // namespace
