#pragma once
// Running other programs from a test: flovir-cli, the system's Python with
// xlrd and friends, LibreOffice. Commands go through the shell.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace flovir::testing {

// The system's interpreter, the one with xlrd, olefile, xlwt and pymodbus.
inline const std::string kPython = "/usr/bin/python3";
inline const std::string kCli = std::string(FLOVIR_BINARY_DIR) + "/cli/flovir-cli";

// The exit status of a finished shell, or -1 when it did not exit normally.
inline int ExitStatus(int raw) {
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// Runs a shell command; returns its exit status.
inline int RunShell(const std::string& command) {
  return ExitStatus(std::system(command.c_str()));
}

struct ProgramRun {
  int status = -1;
  std::string output;  // what the command wrote to its standard output

  // The output split at line ends; a last line without one is kept.
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t end; (end = output.find('\n', at)) != std::string::npos; at = end + 1) {
      lines.push_back(output.substr(at, end - at));
    }
    if (at < output.size()) lines.push_back(output.substr(at));
    return lines;
  }
};

// Runs a shell command and captures its standard output.
inline ProgramRun RunCapturing(const std::string& command) {
  ProgramRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    run.output.append(buffer, n);
  run.status = ExitStatus(pclose(pipe));
  return run;
}

// One run of flovir-cli: its exit status, standard output and standard error.
struct CliRun : ProgramRun {
  std::string errors;  // standard error
};

// Runs flovir-cli with the arguments (shell words) and captures its
// standard output and standard error apart; standard input is empty.
// Arguments ending in "2>&1" put standard error into the output instead.
inline CliRun RunCli(const std::string& arguments) {
  static int serial = 0;
  const std::filesystem::path errors =
      std::filesystem::temp_directory_path() /
      ("flovir-cli-" + std::to_string(getpid()) + "-" + std::to_string(++serial) + ".err");
  CliRun run;
  static_cast<ProgramRun&>(run) =
      RunCapturing(kCli + " 2>'" + errors.string() + "' </dev/null " + arguments);
  if (FILE* file = std::fopen(errors.c_str(), "rb")) {
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
      run.errors.append(buffer, n);
    std::fclose(file);
  }
  std::filesystem::remove(errors);
  return run;
}

// A path in single quotes for the shell.
inline std::string Quote(const std::filesystem::path& path) {
  return "'" + path.string() + "'";
}

// Converts `input` with LibreOffice into `out_folder`, e.g. with the filter
// "xls:MS Excel 97"; returns soffice's exit status. Every conversion needs
// a profile folder of its own: a second conversion at the same time with
// one profile exits 0 and writes nothing.
inline int LibreOfficeConvert(const std::filesystem::path& input, const std::string& filter,
                              const std::filesystem::path& out_folder,
                              const std::filesystem::path& profile) {
  return RunShell("soffice -env:UserInstallation=file://" + profile.string() +
                  " --headless --convert-to '" + filter + "' --outdir " + Quote(out_folder) + " " +
                  Quote(input) + " > /dev/null 2>&1");
}

}  // namespace flovir::testing
