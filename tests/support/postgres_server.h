#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>

namespace korvan::testing {

// A PostgreSQL server of its own: a cluster made by initdb in a temporary folder, listening only
// on a socket in a private folder, with password (SCRAM) authentication for the user "korvan"
// and the password in a pgpass file that PGPASSFILE names for this process and its children.
// Run as an unprivileged user when this process is root, as the server refuses root.
class PostgresServer {
public:
    // Makes the cluster and starts the server; `problem()` says why when it could not. Commits
    // reach the disk only when `durable` (for timings as on a line), else tests run faster.
    explicit PostgresServer(bool durable = false);
    ~PostgresServer();  // stops the server and removes the cluster
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // Empty when the server runs; else why not (the server's binaries missing among the reasons).
    const std::string& problem() const { return problem_; }
    bool binariesMissing() const { return binariesMissing_; }

    // A new, empty database; the connection string that reaches it.
    std::string CreateDatabase(const std::string& name);
    // The connection string of `database`, with no password in it.
    std::string Url(const std::string& database) const;
    const std::string& password() const { return password_; }
    const std::string& socketDir() const { return socketDir_; }
    int port() const { return port_; }

    // Immediate: as if the server crashed, no shutdown checkpoint. Both wait until it is down.
    bool Stop(bool immediate = false);
    bool Start();
    // The last lines of the server's own log, for a failed test's message.
    std::string LogTail() const;

private:
    bool RunAsServerUser(const std::string& command) const;
    bool HandToServerUser(const std::filesystem::path& path) const;
    bool MakeCluster();

    std::filesystem::path base_;
    std::string binDir_;
    std::string dataDir_;
    std::string socketDir_;
    std::string logPath_;
    std::string password_ = "Pw-7hq2-korvan";
    int port_ = 0;
    bool durable_ = false;
    std::optional<std::pair<uid_t, gid_t>> serverUser_;  // when this process is root
    bool running_ = false;
    bool binariesMissing_ = false;
    std::string problem_;
};

}  // namespace korvan::testing
