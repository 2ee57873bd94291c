// Entry point of dbrunner-crypt: hands the arguments to the command runner.
#include <cstdio>
#include <string_view>
#include <vector>

#include "crypt/crypt_cli.h"

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  return dbrunner::RunCryptCommand(args, stdin, stdout, stderr);
}
