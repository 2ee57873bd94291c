// dbrunner-crypt's commands: arguments, help texts, messages and exit statuses.
#include "crypt/crypt_cli.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "credentials/hex_decrypt.h"
#include "crypt/credential_check.h"
#include "crypt/credential_writer.h"

namespace dbrunner {
namespace {

constexpr std::string_view kProgram = "dbrunner-crypt";

constexpr const char* kMainHelp =
    "Usage: dbrunner-crypt COMMAND ARGUMENT...\n"
    "\n"
    "Writes, reads and checks the credential file that dbrunner takes its\n"
    "connection values from: NET8 (DbName), LOGIN, PASS and DB_SYSTEM (DbSys).\n"
    "\n"
    "Commands:\n"
    "  encrypt TEXT|-          print TEXT encrypted, as a credential file holds it\n"
    "  decrypt HEX             print the text dbrunner reads from HEX\n"
    "  set FILE KEY VALUE|-    write VALUE for KEY into FILE (created if missing)\n"
    "  show FILE [--reveal]    print what dbrunner reads from FILE, and where\n"
    "  check FILE              report what makes dbrunner read values not meant\n"
    "\n"
    "A TEXT or VALUE of \"-\" is read from standard input (one line, without its\n"
    "line end). That keeps a password out of the process list and out of the\n"
    "shell history, for example:\n"
    "  printf '%s\\n' \"$PASSWORD\" | dbrunner-crypt set kv.ini PASS -\n"
    "\n"
    "\"dbrunner-crypt COMMAND --help\" describes a command.\n"
    "Exit status: 0 done; 1 check found something to report; 2 wrong usage or\n"
    "failure.\n";

constexpr const char* kEncryptHelp =
    "Usage: dbrunner-crypt encrypt TEXT|-\n"
    "\n"
    "Prints TEXT encrypted the way dbrunner decrypts it: upper-case hex digits\n"
    "in whole groups of 16, the text padded with zero bytes. TEXT \"-\" is read\n"
    "from standard input (one line, without its line end), which keeps it out\n"
    "of the process list and the shell history. TEXT holds at most 96\n"
    "characters, the most a credential file value holds, and no zero byte.\n";

constexpr const char* kDecryptHelp =
    "Usage: dbrunner-crypt decrypt HEX\n"
    "\n"
    "Prints the text dbrunner reads from the encrypted value HEX. Like dbrunner,\n"
    "it decodes every whole group of 16 characters, whatever they are, and\n"
    "ignores a partial last group; a note on standard error says when HEX is\n"
    "not whole groups of upper-case hex digits.\n";

constexpr const char* kSetHelp =
    "Usage: dbrunner-crypt set FILE KEY VALUE|-\n"
    "\n"
    "Writes VALUE, encrypted, as the value dbrunner reads for KEY (NET8, LOGIN,\n"
    "PASS or DB_SYSTEM). If a record of FILE answers the lookup of KEY, its\n"
    "value is replaced in place; otherwise a record is appended. FILE is\n"
    "created, readable by its owner only, when it does not exist.\n"
    "\n"
    "VALUE \"-\" reads the value from standard input (one line, without its\n"
    "line end), which keeps a password out of the process list and the shell\n"
    "history. A value holds at most 96 characters (NET8 at most 40, the size of\n"
    "DbName) and no zero byte.\n"
    "\n"
    "FILE is rewritten through a temporary file in its folder, so it is either\n"
    "updated whole or left as it was. Every other line is kept byte for byte,\n"
    "and so are the file's line ends and permissions. Nothing is written when a\n"
    "record that answers every lookup comes first, or when a single last line\n"
    "would put an appended record out of step; \"check\" lists such traps.\n";

constexpr const char* kShowHelp =
    "Usage: dbrunner-crypt show FILE [--reveal]\n"
    "\n"
    "Prints, for each value dbrunner looks up (NET8, LOGIN, PASS, DB_SYSTEM, in\n"
    "this order), the value it reads from FILE and the line of the record it\n"
    "reads it from, or that no record answers. The password is masked unless\n"
    "--reveal is given. Control characters are shown as \\xNN. A NET8 value\n"
    "longer than 40 characters is marked: dbrunner leaves DbName empty then.\n";

constexpr const char* kCheckHelp =
    "Usage: dbrunner-crypt check FILE\n"
    "\n"
    "Reports, with line numbers, what makes dbrunner read values the author of\n"
    "FILE did not mean:\n"
    "  - records that answer every lookup, whatever their key: number 0, a\n"
    "    number field without digits or a multiple of 2^32, a group line with\n"
    "    fewer than two ';'\n"
    "  - records never read because an earlier record answers their lookup\n"
    "  - keys that differ from NET8, LOGIN, PASS, DB_SYSTEM in case or blanks\n"
    "  - a single last line (records are pairs of lines)\n"
    "  - lines too long for dbrunner (a group line holds 199 characters, an\n"
    "    entry line 399, line end included), which put every later line out of\n"
    "    step; lines holding a zero byte; a Ctrl-Z that hides what follows\n"
    "  - value texts that are not whole 16-digit groups of upper-case hex\n"
    "    digits or longer than 200 characters, and a last line without line end\n"
    "  - a NET8 value longer than DbName's 40 characters\n"
    "Exit status: 0 nothing to report; 1 something reported; 2 FILE cannot be\n"
    "read.\n";

struct Io {
  std::FILE* in;
  std::FILE* out;
  std::FILE* err;
};

void PrintError(const Io& io, const std::string& message) {
  std::fprintf(io.err, "%s: %s\n", kProgram.data(), message.c_str());
}

bool IsHelp(std::string_view arg) { return arg == "--help" || arg == "-h"; }

// Longer input than this is no credential value; reading stops there.
constexpr std::size_t kMaxInputChars = 4096;

// One line of `in` without its line end (LF or CR LF). False when `in` holds
// nothing at all.
bool ReadInputLine(std::FILE* in, std::string& line) {
  line.clear();
  bool any = false;
  for (int c = std::fgetc(in); c != EOF && line.size() <= kMaxInputChars; c = std::fgetc(in)) {
    any = true;
    if (c == '\n') break;
    line.push_back(static_cast<char>(c));
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return any;
}

// The argument itself, or the line read from standard input for "-".
bool TextArgument(std::string_view arg, const Io& io, std::string& text) {
  if (arg != "-") {
    text.assign(arg);
    return true;
  }
  if (ReadInputLine(io.in, text)) return true;
  PrintError(io, "nothing to read on standard input");
  return false;
}

bool IsHexValue(std::string_view hex) {
  return hex.size() % kHexGroupDigits == 0 && std::all_of(hex.begin(), hex.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
         });
}

int Encrypt(const std::vector<std::string_view>& args, const Io& io) {
  std::string text;
  if (!TextArgument(args[0], io, text)) return kCryptExitError;
  std::string error;
  if (!CheckValueFits(text, error)) {
    PrintError(io, error);
    return kCryptExitError;
  }
  std::fprintf(io.out, "%s\n", EncryptHexString(text).c_str());
  return kCryptExitOk;
}

int Decrypt(const std::vector<std::string_view>& args, const Io& io) {
  const std::string plain = DecryptHexString(args[0]);
  if (!IsHexValue(args[0])) {
    PrintError(io,
               "note: the text is not whole 16-digit groups of upper-case hex digits; this "
               "is what dbrunner reads from it all the same");
  }
  std::fwrite(plain.data(), 1, plain.size(), io.out);
  std::fputc('\n', io.out);
  return kCryptExitOk;
}

int Set(const std::vector<std::string_view>& args, const Io& io) {
  const std::string file(args[0]);
  std::string value;
  if (!TextArgument(args[2], io, value)) return kCryptExitError;

  std::string bytes;
  std::string error;
  const ReadStatus status = ReadWholeFile(file, bytes, error);
  if (status == ReadStatus::kFailed) {
    PrintError(io, "cannot read " + file + ": " + error);
    return kCryptExitError;
  }
  std::optional<std::string> raw;
  if (status == ReadStatus::kRead) raw = std::move(bytes);

  SetPlan plan;
  if (!PlanSetValue(raw, args[1], value, plan, error)) {
    PrintError(io, file + ": " + error + (raw ? "" : "; nothing was written"));
    return kCryptExitError;
  }
  if (!ReplaceFileContents(file, plan.bytes, error)) {
    PrintError(io, "cannot write " + file + ": " + error +
                       (raw ? "; the file is left unchanged" : "; nothing was written"));
    return kCryptExitError;
  }
  const std::string key(args[1]);
  const std::string line = std::to_string(plan.line);
  std::string done;
  if (!raw) {
    done = file + ": created, with " + key + " at line " + line;
  } else if (plan.appended) {
    done = file + ": " + key + " added as a new record at line " + line;
  } else {
    done = file + ": " + key + " replaced in the record at line " + line;
  }
  std::fprintf(io.out, "%s\n", done.c_str());
  return kCryptExitOk;
}

// Reads FILE for show and check, which need it to exist.
bool ReadExisting(const std::string& file, const Io& io, std::string& bytes) {
  std::string error;
  switch (ReadWholeFile(file, bytes, error)) {
    case ReadStatus::kRead:
      return true;
    case ReadStatus::kMissing:
      error = "no such file";
      break;
    case ReadStatus::kFailed:
      break;
  }
  PrintError(io, "cannot read " + file + ": " + error);
  return false;
}

int Show(const std::vector<std::string_view>& args, const Io& io) {
  bool reveal = false;
  std::optional<std::string> file;
  for (const std::string_view arg : args) {
    if (arg == "--reveal") {
      reveal = true;
    } else if (!file) {
      file = std::string(arg);
    } else {
      PrintError(io, "show takes one FILE; see 'dbrunner-crypt show --help'");
      return kCryptExitError;
    }
  }
  if (!file) {
    PrintError(io, "show needs FILE; see 'dbrunner-crypt show --help'");
    return kCryptExitError;
  }
  std::string bytes;
  if (!ReadExisting(*file, io, bytes)) return kCryptExitError;
  ShowCredentialBytes(bytes, reveal, io.out);
  return kCryptExitOk;
}

int Check(const std::vector<std::string_view>& args, const Io& io) {
  const std::string file(args[0]);
  std::string bytes;
  if (!ReadExisting(file, io, bytes)) return kCryptExitError;
  std::vector<Finding> findings;
  if (!CheckCredentialBytes(bytes, findings)) {
    PrintError(io, file +
                       ": cannot follow this file the way dbrunner reads it (a fault of "
                       "dbrunner-crypt; please report it)");
    return kCryptExitError;
  }
  for (const Finding& finding : findings) {
    // FILE:LINE: or FILE:LINE:CHARACTER:, as compilers write it, for editors to follow.
    std::string place = file + ":" + std::to_string(finding.line);
    if (finding.column > 1) place += ":" + std::to_string(finding.column);
    std::fprintf(io.out, "%s: %s\n", place.c_str(), finding.message.c_str());
  }
  if (findings.empty()) {
    std::fprintf(io.out, "%s: nothing to report\n", file.c_str());
    return kCryptExitOk;
  }
  return kCryptExitFindings;
}

struct Command {
  std::string_view name;
  std::string_view arguments;  // as the usage line names them
  std::size_t min_args;
  std::size_t max_args;
  const char* help;
  int (*run)(const std::vector<std::string_view>& args, const Io& io);
};

constexpr Command kCommands[] = {
    {"encrypt", "TEXT|-", 1, 1, kEncryptHelp, Encrypt},
    {"decrypt", "HEX", 1, 1, kDecryptHelp, Decrypt},
    {"set", "FILE KEY VALUE|-", 3, 3, kSetHelp, Set},
    {"show", "FILE [--reveal]", 1, 2, kShowHelp, Show},
    {"check", "FILE", 1, 1, kCheckHelp, Check},
};

}  // namespace

int RunCryptCommand(const std::vector<std::string_view>& args, std::FILE* in, std::FILE* out,
                    std::FILE* err) {
  const Io io{in, out, err};
  if (args.empty()) {
    std::fputs(kMainHelp, err);
    return kCryptExitError;
  }
  if (IsHelp(args[0]) || args[0] == "help") {
    std::fputs(kMainHelp, out);
    return kCryptExitOk;
  }
  const auto command = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [&](const Command& c) { return c.name == args[0]; });
  if (command == std::end(kCommands)) {
    PrintError(io, "unknown command '" + std::string(args[0]) + "'; see 'dbrunner-crypt --help'");
    return kCryptExitError;
  }
  const std::vector<std::string_view> rest(args.begin() + 1, args.end());
  // Only in first place: a value of "--help" further on is a value.
  if (!rest.empty() && IsHelp(rest[0])) {
    std::fputs(command->help, out);
    return kCryptExitOk;
  }
  if (rest.size() < command->min_args || rest.size() > command->max_args) {
    PrintError(io, "usage: dbrunner-crypt " + std::string(command->name) + " " +
                       std::string(command->arguments) + "; see 'dbrunner-crypt " +
                       std::string(command->name) + " --help'");
    return kCryptExitError;
  }
  return command->run(rest, io);
}

}  // namespace dbrunner
