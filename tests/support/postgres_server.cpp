#include "tests/support/postgres_server.h"

#include <libpq-fe.h>
#include <netinet/in.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <vector>

namespace korvan::testing {
namespace {

// $KORVAN_PG_BIN, else the newest Debian server under /usr/lib/postgresql.
std::string ServerBinDir() {
    if (const char* dir = std::getenv("KORVAN_PG_BIN"); dir != nullptr && dir[0] != '\0') {
        return dir;
    }
    std::string newest;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", error)) {
        const std::string bin = (entry.path() / "bin").string();
        if (std::filesystem::exists(bin + "/initdb", error) && bin > newest) {
            newest = bin;
        }
    }
    return newest;
}

// A port no one listens on now; the server's socket file is named after it.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return port;
}

}  // namespace

PostgresServer::PostgresServer(bool durable) : durable_(durable) {
    binDir_ = ServerBinDir();
    if (binDir_.empty()) {
        binariesMissing_ = true;
        problem_ = "no PostgreSQL server binaries (initdb, pg_ctl) under /usr/lib/postgresql/*/bin: "
                   "tools/bootstrap.sh installs them";
        return;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "korvan-pg-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        problem_ = "mkdtemp failed";
        return;
    }
    base_ = pattern;
    dataDir_ = (base_ / "data").string();
    socketDir_ = (base_ / "socket").string();
    logPath_ = (base_ / "server.log").string();
    port_ = FreePort();
    std::filesystem::create_directory(socketDir_);
    if (::geteuid() == 0) {
        const passwd* user = ::getpwnam("postgres");
        user = user != nullptr ? user : ::getpwnam("nobody");
        if (user == nullptr) {
            problem_ = "running as root, and there is neither a postgres nor a nobody user to run the server as";
            return;
        }
        serverUser_ = std::make_pair(user->pw_uid, user->pw_gid);
    }
    // The server's user owns its folders; the clients, root, reach them anyway.
    if (!HandToServerUser(base_) || !HandToServerUser(socketDir_)) {
        problem_ = "cannot hand " + base_.string() + " to the server's user";
        return;
    }
    if (!MakeCluster() || !Start()) {
        problem_ = "the test server did not start: " + LogTail();
        return;
    }
    const std::string passFile = (base_ / "pgpass").string();
    std::ofstream(passFile) << socketDir_ << ":" << port_ << ":*:korvan:" << password_ << "\n";
    std::filesystem::permissions(passFile, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    ::setenv("PGPASSFILE", passFile.c_str(), 1);
}

PostgresServer::~PostgresServer() {
    if (running_) {
        Stop(true);
    }
    if (!base_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(base_, ignored);
    }
}

bool PostgresServer::HandToServerUser(const std::filesystem::path& path) const {
    return !serverUser_ || ::chown(path.c_str(), serverUser_->first, serverUser_->second) == 0;
}

bool PostgresServer::RunAsServerUser(const std::string& command) const {
    const std::string runAs = serverUser_ ? "setpriv --reuid=" + std::to_string(serverUser_->first) +
                                                " --regid=" + std::to_string(serverUser_->second) + " --clear-groups -- "
                                          : std::string();
    // The server writes its own log; the commands' output goes beside it, written by this process.
    const std::string line =
        "cd " + base_.string() + " && " + runAs + command + " >>" + (base_ / "commands.log").string() + " 2>&1";
    return std::system(line.c_str()) == 0;
}

bool PostgresServer::MakeCluster() {
    const std::string passwordFile = (base_ / "initdb-password").string();
    std::ofstream(passwordFile) << password_ << "\n";
    if (!HandToServerUser(passwordFile)) {
        return false;
    }
    const bool made = RunAsServerUser(binDir_ + "/initdb -D " + dataDir_ + " -U korvan --pwfile=" + passwordFile +
                                      " -A scram-sha-256 -E UTF8 --locale=C --no-sync --no-instructions");
    std::filesystem::remove(passwordFile);
    return made;
}

bool PostgresServer::Start() {
    // Only a socket, in a folder of its own. Unless durable nothing is synced: a test's data need
    // not survive the machine, only the server.
    running_ = RunAsServerUser(binDir_ + "/pg_ctl -D " + dataDir_ + " -l " + logPath_ + " -w -t 60 -o \"-k " +
                               socketDir_ + " -p " + std::to_string(port_) + " -c listen_addresses='' -c fsync=" +
                               (durable_ ? "on" : "off") + " -c max_connections=120\" start");
    return running_;
}

bool PostgresServer::Stop(bool immediate) {
    const bool stopped = RunAsServerUser(binDir_ + "/pg_ctl -D " + dataDir_ + " -w -t 60 -m " +
                                         (immediate ? "immediate" : "fast") + " stop");
    running_ = running_ && !stopped;
    return stopped;
}

std::string PostgresServer::Url(const std::string& database) const {
    return "host=" + socketDir_ + " port=" + std::to_string(port_) + " user=korvan dbname=" + database;
}

std::string PostgresServer::CreateDatabase(const std::string& name) {
    PGconn* connection = ::PQconnectdb(Url("postgres").c_str());
    // The name is the test's own word, never input: it is quoted as an identifier all the same.
    char* quoted = ::PQescapeIdentifier(connection, name.c_str(), name.size());
    PGresult* result = ::PQexec(connection, ("CREATE DATABASE " + std::string(quoted != nullptr ? quoted : "")).c_str());
    const bool created = ::PQresultStatus(result) == PGRES_COMMAND_OK;
    ::PQclear(result);
    ::PQfreemem(quoted);
    ::PQfinish(connection);
    return created ? Url(name) : std::string();
}

std::string PostgresServer::LogTail() const {
    std::vector<std::string> lines;
    for (const std::string& path : {(base_ / "commands.log").string(), logPath_}) {
        std::ifstream in(path);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
    }
    std::string tail;
    for (std::size_t index = lines.size() > 20 ? lines.size() - 20 : 0; index < lines.size(); ++index) {
        tail += lines[index] + "\n";
    }
    return tail;
}

}  // namespace korvan::testing
