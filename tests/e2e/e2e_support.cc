#include "e2e_support.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace tarvik {
namespace {

std::vector<std::string> ChildEnvironment(const RunOptions& options) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string text = *entry;
    std::string name = text.substr(0, text.find('='));
    if (name != "TARVIK_WORLD" && options.environment.count(name) == 0)
      env.push_back(text);
  }
  for (const auto& [name, value] : options.environment)
    env.push_back(name + "=" + value);
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts)
    pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Parses one C-style quoted string that fills the whole line.
std::string Unquote(const std::string& line, const std::string& where) {
  if (line.size() < 2 || line.front() != '"' || line.back() != '"') {
    throw std::runtime_error(where + ": expected a quoted string: " + line);
  }
  std::string text;
  for (size_t i = 1; i + 1 < line.size(); ++i) {
    char c = line[i];
    if (c == '"')
      throw std::runtime_error(where + ": unescaped quote: " + line);
    if (c != '\\') {
      text.push_back(c);
      continue;
    }
    if (i + 2 >= line.size())
      throw std::runtime_error(where + ": lone backslash: " + line);
    switch (line[++i]) {
      case 'n':
        text.push_back('\n');
        break;
      case 't':
        text.push_back('\t');
        break;
      case '"':
        text.push_back('"');
        break;
      case '\\':
        text.push_back('\\');
        break;
      default:
        throw std::runtime_error(where + ": unknown escape: " + line);
    }
  }
  return text;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The name of a placeholder "${NAME}" starting at text[at], or "".
std::string PlaceholderAt(const std::string& text, size_t at) {
  if (text.compare(at, 2, "${") != 0)
    return "";
  size_t end = at + 2;
  while (end < text.size() &&
         (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_')) {
    ++end;
  }
  if (end == at + 2 || end >= text.size() || text[end] != '}')
    return "";
  return text.substr(at + 2, end - at - 2);
}

// Matches a fixed-shape text where '9' stands for a digit and 'M' for a
// letter; returns its length or 0.
size_t MatchShape(const std::string& text, size_t at, const std::string& shape) {
  if (text.size() - at < shape.size())
    return 0;
  for (size_t i = 0; i < shape.size(); ++i) {
    char c = text[at + i];
    bool ok = shape[i] == '9'   ? IsDigit(c)
              : shape[i] == 'M' ? std::isalpha(static_cast<unsigned char>(c)) != 0
              : shape[i] == '_' ? (c == ' ' || IsDigit(c))
                                : c == shape[i];
    if (!ok)
      return 0;
  }
  return shape.size();
}

size_t MatchPlaceholder(const std::string& name, const std::string& text, size_t at) {
  if (name == "BUILD")
    return MatchShape(text, at, "MMM _9 9999 99:99:99");
  if (name == "TIME")
    return MatchShape(text, at, "99:99:99");
  if (name == "HEX") {
    size_t end = at;
    while (end < text.size() && std::isxdigit(static_cast<unsigned char>(text[end])))
      ++end;
    return end - at;
  }
  if (name == "DATE")
    return MatchShape(text, at, "99/99/9999 99:99:99");
  if (name == "DECIMAL") {
    size_t end = at;
    while (end < text.size() && IsDigit(text[end]))
      ++end;
    if (end == at || end + 4 > text.size() || text[end] != '.')
      return 0;
    return MatchShape(text, end + 1, "999") != 0 ? end + 4 - at : 0;
  }
  if (name == "CODE") {
    size_t end = at;
    while (end < text.size() && IsDigit(text[end]))
      ++end;
    return end - at;
  }
  throw std::runtime_error("unknown placeholder {" + name + "}");
}

std::string Excerpt(const std::string& text, size_t at) {
  std::string excerpt = text.substr(at, 60);
  std::string shown;
  for (char c : excerpt)
    shown += c == '\n' ? std::string("\\n") : std::string(1, c);
  return "\"" + shown + "\"";
}

}  // namespace

std::string BinaryPath() {
  const char* path = std::getenv("TARVIK_BINARY");
  return path != nullptr && *path != '\0' ? path : TARVIK_DEFAULT_BINARY;
}

RunningProgram::RunningProgram(const std::vector<std::string>& args, const RunOptions& options) {
  std::string program = options.program.empty() ? BinaryPath() : options.program;
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<std::string> env = ChildEnvironment(options);
  std::vector<char*> argv_pointers = Pointers(argv);
  std::vector<char*> env_pointers = Pointers(env);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, (capture_ / "out").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, (capture_ / "err").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (!options.directory.empty())
    posix_spawn_file_actions_addchdir_np(&actions, options.directory.c_str());
  int error = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv_pointers.data(),
                          env_pointers.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0)
    throw std::runtime_error("cannot start " + program + ": " + strerror(error));
}

RunningProgram::~RunningProgram() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
}

std::string RunningProgram::OutputSoFar() const {
  return ReadFile(capture_ / "out");
}

void RunningProgram::Interrupt() {
  if (pid_ > 0)
    kill(pid_, SIGINT);
}

RunResult RunningProgram::Wait() {
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0) {
    if (errno != EINTR)
      throw std::runtime_error("waitpid failed");
  }
  pid_ = 0;
  RunResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadFile(capture_ / "out");
  result.err = ReadFile(capture_ / "err");
  return result;
}

RunResult RunProgram(const std::vector<std::string>& args, const RunOptions& options) {
  return RunningProgram(args, options).Wait();
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tarvik_e2e_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void Replace(std::string* text, const std::string& from, const std::string& to) {
  for (size_t at = text->find(from); at != std::string::npos; at = text->find(from, at + to.size()))
    text->replace(at, from.size(), to);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw std::runtime_error("cannot read " + path);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

RunOptions DriveCWorld(const TempDir& dir, const std::string& faults) {
  const std::string file = dir / "world.json";
  WriteFile(file, R"({"computer": "E2EPC", "drives": {"C:": {"path": ")" + dir.path() +
                      R"("}}, "faults": )" + faults + "}");
  RunOptions options;
  options.environment["TARVIK_WORLD"] = file;
  return options;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

std::string RandomBytes(size_t size, uint64_t seed) {
  std::mt19937_64 generator(seed);
  std::string bytes(size + 8, '\0');
  for (size_t i = 0; i < size; i += 8) {
    const uint64_t value = generator();
    std::memcpy(&bytes[i], &value, 8);
  }
  bytes.resize(size);
  return bytes;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  if (!out)
    throw std::runtime_error("cannot write " + path);
}

Golden::Golden() {
  const std::filesystem::path dir = TARVIK_GOLDEN_DIR;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::istringstream lines(ReadFile(entry.path().string()));
    std::string line, section;
    for (int number = 1; std::getline(lines, line); ++number) {
      std::string where = entry.path().filename().string() + ":" + std::to_string(number);
      if (line.empty() || line[0] == '#')
        continue;
      if (line.front() == '[' && line.back() == ']') {
        section = line.substr(1, line.size() - 2);
        if (sections_.count(section))
          throw std::runtime_error(where + ": repeated " + section);
        sections_[section];
        continue;
      }
      if (section.empty())
        throw std::runtime_error(where + ": text outside a section");
      sections_[section] += Unquote(line, where);
    }
  }
}

std::string Golden::Expand(const std::string& section, const std::string& temp_dir) const {
  auto found = sections_.find(section);
  if (found == sections_.end())
    throw std::runtime_error("no golden section " + section);
  std::string text;
  const std::string& source = found->second;
  for (size_t i = 0; i < source.size(); ++i) {
    std::string name = PlaceholderAt(source, i);
    if (name.empty() || name == "BUILD" || name == "TIME" || name == "CODE" || name == "DATE" ||
        name == "DECIMAL" || name == "HEX") {
      text.push_back(source[i]);
    } else {
      text += name == "TMP" ? temp_dir : Expand(name, temp_dir);
      i += name.size() + 2;
    }
  }
  return text;
}

std::string Golden::Mismatch(const std::string& section, const std::string& actual,
                             const std::string& temp_dir) const {
  const std::string expected = Expand(section, temp_dir);
  size_t e = 0, a = 0;
  while (e < expected.size()) {
    std::string name = PlaceholderAt(expected, e);
    if (!name.empty()) {
      size_t length = MatchPlaceholder(name, actual, a);
      if (length == 0) {
        return "at offset " + std::to_string(a) + " expected " + Excerpt(expected, e) +
               " but got " + Excerpt(actual, a);
      }
      a += length;
      e += name.size() + 3;
      continue;
    }
    if (a >= actual.size() || actual[a] != expected[e]) {
      return "at offset " + std::to_string(a) + " expected " + Excerpt(expected, e) + " but got " +
             Excerpt(actual, a);
    }
    ++a;
    ++e;
  }
  if (a != actual.size())
    return "unexpected text at the end: " + Excerpt(actual, a);
  return "";
}

}  // namespace tarvik
