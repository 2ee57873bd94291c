// Narrowing the run status to the process exit code.
#include "driver/exit_code.h"

namespace dbrunner {

int ToExitCode(std::int32_t status) {
#ifdef _WIN32
  return status;
#else
  // Only the low byte reaches the parent; a status such as -1536 would
  // otherwise read as success.
  const int low = static_cast<int>(static_cast<std::uint32_t>(status) & 0xFFu);
  return (status != 0 && low == 0) ? kExitCodeLowByteZero : low;
#endif
}

}  // namespace dbrunner
