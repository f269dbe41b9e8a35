#pragma once
#include <QApplication>
#include <QTemporaryDir>

// The application object of a benchmark: offscreen unless a platform is named, its preferences in
// a folder of its own, named as the program is so that it finds the catalogue where the program does.
class BenchApplication {
 public:
  BenchApplication(int& argc, char** argv);

 private:
  QTemporaryDir config_;
  QApplication app_;
};
