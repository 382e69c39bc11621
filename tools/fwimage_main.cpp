// fwimage: writes firmware image files (see image_builder.h and the README).
#include <iostream>
#include <string>
#include <vector>

#include "image_builder.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return fwimage::RunTool(args, std::cout, std::cerr);
}
