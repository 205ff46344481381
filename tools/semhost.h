// semhost: tries a module library from the command line.
//
// All of it runs in-process behind run_semhost, so that tests can drive it
// as the command line does; semhost_main.cpp only passes argv along.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace semhost {

// `args` without the program name. Results go to `out`, errors to `err`.
// Exit codes: 0 done, 1 a file or module stood in the way, 2 a mistake on
// the command line.
int run_semhost(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace semhost
