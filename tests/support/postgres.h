#pragma once
// A PostgreSQL server of a test's own: Debian's initdb and pg_ctl in a
// scratch folder, listening on a Unix socket there only, removed with the
// folder. The server refuses to run as root, so when the tests run as root
// (CI) it runs as the system's postgres user.
//
//   PostgresServer server;
//   if (!server.Started()) GTEST_SKIP() << server.Why();
//   RunCli("--history " + server.Uri() + " ...");
//   server.Psql("SELECT count(*) FROM archive_entries");  // "744"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "tests/support/files.h"
#include "tests/support/programs.h"

namespace flovir::testing {

class PostgresServer {
 public:
  explicit PostgresServer(const std::string& database = "flovir") : database_(database) {
    bin_ = Binaries();
    if (bin_.empty()) {
      why_ = "no PostgreSQL server programs (Debian's postgresql package)";
      return;
    }
    std::filesystem::permissions(folder_.Path(), std::filesystem::perms::all);
    if (getuid() == 0) {
      const passwd* user = getpwnam("postgres");
      if (user == nullptr) {
        why_ = "running as root, and no postgres user to run the server as";
        return;
      }
      as_ = "setpriv --reuid=postgres --regid=postgres --init-groups ";
      if (chown(folder_.Path().c_str(), user->pw_uid, user->pw_gid) != 0) {
        why_ = "cannot hand the folder to the postgres user";
        return;
      }
    }
    const std::string data = folder_.Path("data");
    if (RunShell(as_ + bin_ + "/initdb -D '" + data +
                 "' -U postgres --auth=trust -E UTF8 --no-locale >'" + folder_.Path("initdb.log") +
                 "' 2>&1") != 0) {
      why_ = "initdb failed: " + ReadFile(folder_.Path("initdb.log"));
      return;
    }
    if (!Start()) return;
    const std::string created = Psql("CREATE DATABASE " + database_, "postgres");
    if (!created.empty()) {
      why_ = "CREATE DATABASE: " + created;
      return;
    }
    started_ = true;
  }
  ~PostgresServer() {
    if (running_) Stop();
  }
  PostgresServer(const PostgresServer&) = delete;
  PostgresServer& operator=(const PostgresServer&) = delete;

  bool Started() const { return started_; }
  const std::string& Why() const { return why_; }
  // The socket's folder.
  std::string Socket() const { return folder_.Path(); }
  // The connection URI the programs take, with a password when asked (the
  // server trusts its socket and never asks for one).
  std::string Uri(const std::string& password = {}) const {
    return "postgresql://postgres" + (password.empty() ? "" : ":" + password) + "@/" + database_ +
           "?host=" + folder_.Path();
  }

  // What psql prints for the query, unaligned, without headers, without the
  // last line end.
  std::string Psql(const std::string& query, const std::string& database = {}) const {
    std::string out =
        RunCapturing("psql -X -q -A -t -h '" + folder_.Path() + "' -U postgres -d '" +
                     (database.empty() ? database_ : database) + "' -c \"" + query + "\" 2>&1")
            .output;
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  }

  // Stops the server at once (its clients see the connection drop) and
  // starts it again.
  void Stop() {
    RunShell(as_ + bin_ + "/pg_ctl -D '" + folder_.Path("data") +
             "' -m fast -w stop >/dev/null 2>&1");
    running_ = false;
  }
  bool Start() {
    const std::string options = "-k " + folder_.Path() + " -c listen_addresses='' -c fsync=off";
    if (RunShell(as_ + bin_ + "/pg_ctl -D '" + folder_.Path("data") + "' -l '" +
                 folder_.Path("server.log") + "' -o \"" + options + "\" -w start >/dev/null") !=
        0) {
      why_ = "pg_ctl start failed: " + ReadFile(folder_.Path("server.log"));
      return false;
    }
    running_ = true;
    return true;
  }

 private:
  // The newest server's programs: /usr/lib/postgresql/VERSION/bin.
  static std::string Binaries() {
    std::string best;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", error)) {
      const std::filesystem::path bin = entry.path() / "bin";
      if (!std::filesystem::exists(bin / "initdb") || !std::filesystem::exists(bin / "pg_ctl")) {
        continue;
      }
      if (best.empty() || std::stoi(entry.path().filename().string()) >
                              std::stoi(std::filesystem::path(best).parent_path().filename())) {
        best = bin.string();
      }
    }
    return best;
  }

  ScratchFolder folder_{"flovir-pg"};
  std::string database_;
  std::string bin_;
  std::string as_;
  std::string why_;
  bool running_ = false;
  bool started_ = false;
};

}  // namespace flovir::testing
