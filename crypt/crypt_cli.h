// The dbrunner-crypt command line: encrypt, decrypt, set, show, check.
#ifndef DBRUNNER_CRYPT_CRYPT_CLI_H_
#define DBRUNNER_CRYPT_CRYPT_CLI_H_

#include <cstdio>
#include <string_view>
#include <vector>

namespace dbrunner {

inline constexpr int kCryptExitOk = 0;
inline constexpr int kCryptExitFindings = 1;  // check found something to report
inline constexpr int kCryptExitError = 2;     // wrong usage, or the command failed

// Runs one command; `args` are the arguments after the program name. A text
// or value given as "-" is read from `in`. Results go to `out`, errors to `err`.
int RunCryptCommand(const std::vector<std::string_view>& args, std::FILE* in, std::FILE* out,
                    std::FILE* err);

}  // namespace dbrunner

#endif  // DBRUNNER_CRYPT_CRYPT_CLI_H_
