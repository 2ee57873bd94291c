// Narrowing a 32-bit run status to what the platform's process exit keeps.
#ifndef DBRUNNER_DRIVER_EXIT_CODE_H_
#define DBRUNNER_DRIVER_EXIT_CODE_H_

#include <cstdint>

namespace dbrunner {

// Where only 8 bits survive, this stands for a nonzero status whose low byte
// is 0, so that no failure ever exits with 0.
inline constexpr int kExitCodeLowByteZero = 255;

// Windows keeps the full 32-bit status; POSIX keeps the low 8 bits, with
// kExitCodeLowByteZero where those are 0 but the status is not.
int ToExitCode(std::int32_t status);

}  // namespace dbrunner

#endif  // DBRUNNER_DRIVER_EXIT_CODE_H_
