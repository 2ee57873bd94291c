// The command line: section name, credential file, parameters and /D.
#include "driver/command_line.h"

#include <cstring>

#include "driver/usage.h"

namespace dbrunner {

std::int32_t CheckParameters(int argc, const char* const* argv, RunState& state, std::FILE* out) {
  if (argc < 4) {
    PrintHeader(out);
    std::fputs("Falsche Anzahl Parameter\n", out);
    std::fputs("\n", out);
    PrintUsage(out);
    return kStatusWrongArgumentCount;
  }
  // Kept whole: a name longer than the section field finds no statement later
  // instead of silently naming another section.
  state.section_name = argv[1];
  ParseParameters(argc, argv, state, out);
  return 0;
}

void ParseParameters(int argc, const char* const* argv, RunState& state, std::FILE* out) {
  state.debug_mode = false;
  for (int i = 3; i < argc; ++i) {
    // Only these two exact forms switch; "-d", "/DEBUG" and "" are parameters.
    if (std::strcmp(argv[i], "/D") == 0 || std::strcmp(argv[i], "/d") == 0) {
      state.debug_mode = true;
    } else {
      state.param_list.emplace_back(argv[i]);
    }
  }
  // After the walk, so a switch behind the parameters still shows all of them.
  if (state.debug_mode) {
    for (const std::string& param : state.param_list) {
      std::fprintf(out, " Parm = '%s'\n", param.c_str());
    }
  }
}

}  // namespace dbrunner
