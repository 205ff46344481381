// semhost render: runs a module over generated or recorded inputs and
// writes its output to a WAV file.
//
// It plays the host's part as a host would: it tells the module the sample
// rate and block size, opens it, announces every input's stream state at
// sample 0 (a sine or a file running, a constant or silence static, and a
// file static again where it ends), fills the input buffers block by block,
// and records the stream state that the module announces for its output.
#pragma once

#include <ostream>

#include "command_line.h"

namespace semhost {

// The process exit code: 0 when the output file was written, 1 when a file
// or the module stood in the way (nothing is written then).
int render(const CommandLine& line, std::ostream& out, std::ostream& err);

}  // namespace semhost
