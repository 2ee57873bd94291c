// What dbrunner reads from a credential file (show), and the traps that make
// it read something its author did not mean (check).
#ifndef DBRUNNER_CRYPT_CREDENTIAL_CHECK_H_
#define DBRUNNER_CRYPT_CREDENTIAL_CHECK_H_

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace dbrunner {

// One trap, at a file line (1-based) and the character where it starts.
struct Finding {
  std::size_t line = 0;
  std::size_t column = 1;
  std::string message;
};

// The traps in a credential file's bytes, ordered by place. False when the
// file's records cannot be followed the way dbrunner reads them (a fault of
// this program); `findings` is then not to be trusted.
bool CheckCredentialBytes(std::string_view raw, std::vector<Finding>& findings);

// Prints, for each lookup dbrunner makes, the value it reads and the line of
// the record it reads it from; the password is masked unless `reveal`.
void ShowCredentialBytes(std::string_view raw, bool reveal, std::FILE* out);

// `value` for a terminal: control characters as \xNN, everything else as is.
std::string PrintableValue(std::string_view value);

}  // namespace dbrunner

#endif  // DBRUNNER_CRYPT_CREDENTIAL_CHECK_H_
