// Running the built program as a user would, and comparing what it printed
// with the expected texts kept in golden/.
#ifndef TARVIK_TESTS_E2E_E2E_SUPPORT_H_
#define TARVIK_TESTS_E2E_E2E_SUPPORT_H_

#include <map>
#include <string>
#include <vector>

namespace tarvik {

struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

struct RunOptions {
  // Replaces the program path (and argv[0]), e.g. with a link to the binary.
  std::string program;
  // Set in the child's environment; TARVIK_WORLD is removed unless given here.
  std::map<std::string, std::string> environment;
  // The child's working directory; empty: the test's own.
  std::string directory;
};

// The program under test: TARVIK_BINARY, or the one built beside the test.
std::string BinaryPath();

// Runs the program with the arguments (argv[1] onwards), standard input empty.
RunResult RunProgram(const std::vector<std::string>& args, const RunOptions& options = {});

// A directory removed with its contents at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The program started in the background, for tests that act while it runs.
class RunningProgram {
 public:
  RunningProgram(const std::vector<std::string>& args, const RunOptions& options = {});
  // Kills a program that still runs.
  ~RunningProgram();
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  std::string OutputSoFar() const;
  // Sends SIGINT, as Ctrl-C does.
  void Interrupt();
  RunResult Wait();

 private:
  TempDir capture_;
  int pid_ = 0;
};

// A world file in dir (world.json) whose drive C: is dir, with the faults
// given as a JSON array; the options that run the program in that world.
RunOptions DriveCWorld(const TempDir& dir, const std::string& faults = "[]");

// How many times part occurs in text.
size_t Count(const std::string& text, const std::string& part);

std::string ReadFile(const std::string& path);
// Replaces every occurrence of from in *text (a world file's placeholders).
void Replace(std::string* text, const std::string& from, const std::string& to);
void WriteFile(const std::string& path, const std::string& bytes);
// size bytes that depend only on seed.
std::string RandomBytes(size_t size, uint64_t seed);

// The expected texts. Every golden file holds sections: a line "[name]"
// followed by lines each holding one C-style quoted string ("\n", "\t",
// "\"", "\\" escapes); the strings of a section are joined. In an expected
// text, {name} inserts the section of that name, {TMP} the given directory,
// and three placeholders match variable parts: {BUILD} a build stamp such
// as "Nov 29 2016 08:48:31", {TIME} a time such as "08:48:31", {DATE} a date
// and time such as "29/11/2016 08:48:31", {CODE} a decimal number and
// {DECIMAL} a number with three decimals such as "12.345", {HEX} hexadecimal
// digits.
class Golden {
 public:
  Golden();  // loads every file of tests/e2e/golden

  // The expected text of a section with the sections and {TMP} inserted.
  std::string Expand(const std::string& section, const std::string& temp_dir = "") const;

  // Empty when actual matches the expanded section; otherwise a description
  // of the first difference.
  std::string Mismatch(const std::string& section, const std::string& actual,
                       const std::string& temp_dir = "") const;

 private:
  std::map<std::string, std::string> sections_;
};

}  // namespace tarvik

#endif  // TARVIK_TESTS_E2E_E2E_SUPPORT_H_
