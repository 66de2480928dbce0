// A private Samba file server for end-to-end tests: smbd with its own
// smb.conf, account and state databases under a directory of the test,
// listening on port 445 of the loopback of its own network namespace. It
// runs in private mount and PID namespaces too: the mount namespace gives
// it passwd and group files that add the test's accounts, and the PID
// namespace ends every helper process smbd starts when the server is
// stopped, by the process id of the namespace's holder. Needs root.
#ifndef TARVIK_TESTS_E2E_SAMBA_SERVER_H_
#define TARVIK_TESTS_E2E_SAMBA_SERVER_H_

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace tarvik {

struct SambaShare {
  std::string name;
  std::string path;
  bool ignore_system_acls = false;  // acl_xattr:ignore system acls = yes
};

// An account of the server: a host user (with a group of the same id) and
// its Samba account, whose SID is the machine SID and rid. Every account
// may log on with its password; the first holds SeSecurityPrivilege.
struct SambaUser {
  std::string name;
  uint32_t uid = 0;
  uint32_t rid = 0;
  std::string password;
};

class SambaServer {
 public:
  // Empty when a private server can run here; otherwise why it cannot.
  static std::string Unavailable();

  // Starts the server in directory (which must exist), with the machine SID
  // given. error() tells whether it started.
  SambaServer(const std::string& directory, const std::string& machine_sid,
              const std::vector<SambaShare>& shares, const std::vector<SambaUser>& users);
  // Stops the server and every process it started.
  ~SambaServer();
  SambaServer(const SambaServer&) = delete;
  SambaServer& operator=(const SambaServer&) = delete;

  // Empty once running; otherwise what went wrong, with the server's output.
  const std::string& error() const { return error_; }
  const std::string& config() const { return config_; }

  // Runs a bash command inside the server's namespaces, where 127.0.0.1
  // reaches it.
  RunResult Run(const std::string& command) const;

 private:
  std::string config_;
  std::string error_;
  pid_t pid_ = 0;  // the holder of the namespaces
};

}  // namespace tarvik

#endif  // TARVIK_TESTS_E2E_SAMBA_SERVER_H_
