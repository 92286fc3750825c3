// Entry point of the program. The main window arrives with the application
// layer; until then the program says so and reports what it was asked to open.
#include <cstdio>

int main(int argc, char** argv) {
  std::printf("Gimro-Tal: the main window is not built yet (placeholder).\n");
  if (argc > 1) std::printf("Would open: %s\n", argv[1]);
  return 0;
}
