// Writes the benchmark's credential files: filler records first, the four
// wanted records last, so every lookup reads the whole file.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "credentials/hex_decrypt.h"

namespace {

bool WriteAll(std::FILE* out, std::string_view text) {
  return std::fwrite(text.data(), 1, text.size(), out) == text.size();
}

}  // namespace

// Usage: make_fixtures FILE FILLER_RECORDS DBNAME DBSYS [USER PASSWORD]
int main(int argc, char** argv) {
  if (argc != 5 && argc != 7) {
    std::fputs("usage: make_fixtures FILE FILLER_RECORDS DBNAME DBSYS [USER PASSWORD]\n", stderr);
    return 2;
  }
  char* end = nullptr;
  const unsigned long long fillers = std::strtoull(argv[2], &end, 10);
  if (end == argv[2] || *end != '\0') {
    std::fputs("make_fixtures: FILLER_RECORDS is not a number\n", stderr);
    return 2;
  }
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  // One filler value, encrypted once: a million key schedules would take
  // longer than the benchmark. Fillers have non-zero numbers and keys that no
  // lookup asks for, so none of them answers.
  const std::string filler_value = dbrunner::EncryptHexString("filler value of a record");
  bool ok = true;
  std::string record;
  for (unsigned long long i = 1; ok && i <= fillers; ++i) {
    record = "bench;FILLER;x\n" + std::to_string(i) + ";FILL" + std::to_string(i) + ";" +
             filler_value + "\n";
    ok = WriteAll(out, record);
  }
  const std::string_view user = argc == 7 ? argv[5] : "bench";
  const std::string_view password = argc == 7 ? argv[6] : "secret";
  const std::string_view wanted[4][2] = {
      {"NET8", argv[3]}, {"LOGIN", user}, {"PASS", password}, {"DB_SYSTEM", argv[4]}};
  unsigned long long number = fillers;
  for (const auto& [key, value] : wanted) {
    record = "bench;DB;\n" + std::to_string(++number) + ";" + std::string(key) + ";" +
             dbrunner::EncryptHexString(value) + "\n";
    ok = ok && WriteAll(out, record);
  }
  ok = std::fclose(out) == 0 && ok;
  if (!ok) std::perror(argv[1]);
  return ok ? 0 : 1;
}
