#include "samba_server.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <utility>

namespace tarvik {
namespace {

namespace fs = std::filesystem;

constexpr const char* kTools[] = {"/usr/sbin/smbd",   "/usr/bin/smbclient", "/usr/bin/smbcacls",
                                  "/usr/bin/pdbedit", "/usr/bin/net",       "/usr/bin/unshare",
                                  "/usr/bin/nsenter", "/usr/bin/python3",   "/usr/bin/bash"};

std::string Config(const std::string& directory, const std::vector<SambaShare>& shares) {
  std::string text = "[global]\n";
  for (const char* line :
       {"netbios name = TARVIKSMB", "workgroup = TARVIKTEST", "server role = standalone server",
        "interfaces = lo", "bind interfaces only = yes", "smb ports = 445", "disable netbios = yes",
        "load printers = no", "printcap name = /dev/null", "disable spoolss = yes",
        "server min protocol = SMB2_10", "log level = 1"}) {
    text += "  " + std::string(line) + "\n";
  }
  text += "  passdb backend = tdbsam:" + directory + "/private/passdb.tdb\n";
  for (const auto& [parameter, dir] : {std::pair{"private dir", "private"},
                                       {"state directory", "state"},
                                       {"lock directory", "lock"},
                                       {"cache directory", "cache"},
                                       {"pid directory", "pid"},
                                       {"ncalrpc dir", "ncalrpc"}}) {
    fs::create_directories(directory + "/" + dir);
    text += "  " + std::string(parameter) + " = " + directory + "/" + dir + "\n";
  }
  text += "  log file = " + directory + "/log.%m\n";
  for (const SambaShare& share : shares) {
    text += "[" + share.name + "]\n  path = " + share.path +
            "\n  read only = no\n  vfs objects = acl_xattr streams_xattr\n"
            "  store dos attributes = yes\n";
    if (share.ignore_system_acls)
      text += "  acl_xattr:ignore system acls = yes\n";
  }
  return text;
}

// The host's account files with the test's accounts added.
void WriteAccounts(const std::string& directory, const std::vector<SambaUser>& users) {
  std::string passwd = ReadFile("/etc/passwd");
  std::string group = ReadFile("/etc/group");
  for (const SambaUser& user : users) {
    if (user.uid == 0)
      continue;
    const std::string id = std::to_string(user.uid);
    passwd += user.name + ":x:" + id + ":" + id + "::/nonexistent:/usr/sbin/nologin\n";
    group += user.name + ":x:" + id + ":\n";
  }
  WriteFile(directory + "/passwd", passwd);
  WriteFile(directory + "/group", group);
}

// Runs as process 1 of the PID namespace: sets up the namespace, the
// accounts and the privilege, starts smbd, says "ready" once it listens.
std::string HolderScript(const std::string& directory, const std::string& config,
                         const std::string& machine_sid, const std::vector<SambaUser>& users) {
  std::string script = "set -e\nS='" + config + "'\n";
  script += "mount --bind '" + directory + "/passwd' /etc/passwd\n";
  script += "mount --bind '" + directory + "/group' /etc/group\n";
  script += "ip link set lo up\n";
  script += "net -s \"$S\" setlocalsid " + machine_sid + " >/dev/null\n";
  for (const SambaUser& user : users) {
    script += "printf '%s\\n%s\\n' '" + user.password + "' '" + user.password +
              "' | pdbedit -s \"$S\" -t -a -u " + user.name + " -U " + std::to_string(user.rid) +
              " >/dev/null\n";
  }
  if (!users.empty())
    script +=
        "net -s \"$S\" sam rights grant " + users[0].name + " SeSecurityPrivilege >/dev/null\n";
  script +=
      "smbd -s \"$S\" --foreground --no-process-group >\"$S.out\" 2>&1 &\n"
      "for i in $(seq 400); do\n"
      "  (exec 3<>/dev/tcp/127.0.0.1/445) 2>/dev/null && break\n"
      "  kill -0 $! || exit 1\n"
      "  sleep 0.05\n"
      "done\n"
      "echo ready\n"
      "wait\n";
  return script;
}

}  // namespace

std::string SambaServer::Unavailable() {
  for (const char* tool : kTools) {
    if (!fs::exists(tool))
      return "";  // a missing tool fails the test: the test command installs them
  }
  if (geteuid() != 0)
    return "a private smbd needs root (its own network, mount and PID namespaces)";
  if (std::system("/usr/bin/unshare --net --mount --pid --fork /bin/true 2>/dev/null") != 0)
    return "namespaces are not allowed here (unshare --net --mount --pid fails)";
  return "";
}

SambaServer::SambaServer(const std::string& directory, const std::string& machine_sid,
                         const std::vector<SambaShare>& shares, const std::vector<SambaUser>& users)
    : config_(directory + "/smb.conf") {
  for (const char* tool : kTools) {
    if (!fs::exists(tool)) {
      error_ = std::string(tool) + " is missing: install samba and smbclient (scripts/test does)";
      return;
    }
  }
  WriteFile(config_, Config(directory, shares));
  WriteAccounts(directory, users);
  const std::string holder = directory + "/holder.sh";
  WriteFile(holder, HolderScript(directory, config_, machine_sid, users));

  int output[2];
  if (pipe(output) != 0) {
    error_ = "pipe failed";
    return;
  }
  pid_ = fork();
  if (pid_ == 0) {
    // Dies with the test, whatever ends it; its namespace dies with it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    setpgid(0, 0);
    dup2(output[1], 1);
    dup2(output[1], 2);
    close(output[0]);
    close(output[1]);
    execl("/usr/bin/unshare", "unshare", "--net", "--mount", "--pid", "--fork", "--kill-child",
          "/usr/bin/bash", holder.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(output[1]);
  std::string said;
  FILE* stream = fdopen(output[0], "r");
  char line[512];
  while (std::fgets(line, sizeof line, stream) != nullptr) {
    said += line;
    if (std::string(line) == "ready\n")
      break;
  }
  std::fclose(stream);
  if (said.find("ready\n") == std::string::npos)
    error_ = "smbd did not start:\n" + said;
}

SambaServer::~SambaServer() {
  if (pid_ <= 0)
    return;
  // The holder's end takes the namespace's first process, and the kernel
  // then ends every other one in it: smbd and its helpers.
  kill(-pid_, SIGKILL);
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
}

RunResult SambaServer::Run(const std::string& command) const {
  RunOptions options;
  options.program = "/usr/bin/nsenter";
  return RunProgram({"-t", std::to_string(pid_), "-n", "-m", "--", "/usr/bin/bash", "-c", command},
                    options);
}

}  // namespace tarvik
