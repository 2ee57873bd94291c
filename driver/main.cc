// Entry point: one run per process.
#include "driver/exit_code.h"
#include "driver/run_sequence.h"

int main(int argc, char** argv) {
  return dbrunner::ToExitCode(dbrunner::RunSequence(argc, argv, stdout));
}
