#include <iostream>
#include <string>
#include <vector>

#include "semhost.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return semhost::run_semhost(args, std::cout, std::cerr);
}
