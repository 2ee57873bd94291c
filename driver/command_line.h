// The command line: SECTION CREDFILE [PARAM ...] with the switch /D anywhere
// from the third argument on.
#ifndef DBRUNNER_DRIVER_COMMAND_LINE_H_
#define DBRUNNER_DRIVER_COMMAND_LINE_H_

#include <cstdint>
#include <cstdio>

#include "driver/run_sequence.h"

namespace dbrunner {

// Status of a call with fewer than three arguments.
inline constexpr std::int32_t kStatusWrongArgumentCount = 1;

// Checks the argument count; on too few prints banner, message and usage to
// `out` and returns kStatusWrongArgumentCount. Otherwise keeps the section
// name, parses the rest into `state` and returns 0.
[[nodiscard]] std::int32_t CheckParameters(int argc, const char* const* argv, RunState& state,
                                           std::FILE* out);

// Walks arguments 3.. : "/D" and "/d" turn diagnostic mode on, everything else
// is a parameter. In diagnostic mode prints one " Parm = '...'" line each.
void ParseParameters(int argc, const char* const* argv, RunState& state, std::FILE* out);

}  // namespace dbrunner

#endif  // DBRUNNER_DRIVER_COMMAND_LINE_H_
