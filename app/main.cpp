#include "app/Startup.h"

int main(int argc, char** argv) { return startup::RunApplication(argc, argv); }
