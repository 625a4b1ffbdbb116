#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace testsupport {

// A PostgreSQL server of the test's own: a cluster made in a temporary folder, listening on
// 127.0.0.1 and a socket folder of its own, on a free port. initdb refuses to run as root, so a
// test run as root runs the server's programs as the unprivileged `postgres` user the package
// makes. Over the socket every user gets in without a password; over TCP a password is asked.
class PgServer {
  public:
    static constexpr const char* kUser = "carvex";
    static constexpr const char* kPassword = "Lx7-quartz-Meadow-41";
    static constexpr const char* kDatabase = "line";

    // The newest server's programs, or nullopt when no server package is installed.
    static std::optional<std::filesystem::path> Programs() {
        const std::filesystem::path root = "/usr/lib/postgresql";
        std::error_code error;
        std::vector<std::filesystem::path> found;
        for (const auto& entry : std::filesystem::directory_iterator(root, error)) {
            if (std::filesystem::exists(entry.path() / "bin" / "pg_ctl", error)) {
                found.push_back(entry.path() / "bin");
            }
        }
        if (found.empty()) {
            return std::nullopt;
        }
        std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
            return std::stoi(a.parent_path().filename().string()) <
                   std::stoi(b.parent_path().filename().string());
        });
        return found.back();
    }

    // Why a server cannot be started here; empty when it can.
    static std::string Missing() {
        if (!Programs()) {
            return "no PostgreSQL server in /usr/lib/postgresql/*/bin (scripts/install-deps test)";
        }
        if (::geteuid() == 0 && ::getpwnam("postgres") == nullptr) {
            return "run as root, and no postgres user to run the server as";
        }
        return {};
    }

    PgServer() : bin_(*Programs()), port_(FreePort()) {
        const auto data = Data();
        std::filesystem::create_directories(data);
        std::filesystem::create_directories(Socket());
        Put(dir_.Path() / "pw", "postgres-Kestrel-3\n");
        if (::geteuid() == 0) {
            const passwd* user = ::getpwnam("postgres");
            for (const auto& path : {dir_.Path(), data, Socket(), dir_.Path() / "pw"}) {
                if (::chown(path.c_str(), user->pw_uid, user->pw_gid) != 0) {
                    throw std::runtime_error("cannot give " + path.string() + " to postgres");
                }
            }
        }
        Run("initdb",
            {"-D", data.string(), "-U", "postgres", "--pwfile", (dir_.Path() / "pw").string(),
             "--auth-local=trust", "--auth-host=scram-sha-256", "--no-sync", "-E", "UTF8"});
        Start();
        Psql("CREATE ROLE " + std::string(kUser) + " LOGIN PASSWORD '" + kPassword + "'",
             "postgres");
        CreateDatabase(kDatabase);
    }
    ~PgServer() {
        if (running_) {
            try {
                Run("pg_ctl", {"-D", Data().string(), "-m", "immediate", "-w", "stop"});
            } catch (const std::exception&) {
                // The folder goes all the same; a server left would find its files gone.
            }
        }
    }
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    void Start() {
        Run("pg_ctl",
            {"-D", Data().string(), "-l", (dir_.Path() / "server.log").string(), "-w", "-o",
             "-k " + Socket().string() + " -p " + std::to_string(port_) +
                 " -c listen_addresses=127.0.0.1 -c fsync=off",
             "start"});
        running_ = true;
    }
    // Stops the server at once: its connections are cut, as when its machine goes away.
    void Stop() {
        Run("pg_ctl", {"-D", Data().string(), "-m", "immediate", "-w", "stop"});
        running_ = false;
    }

    int Port() const { return port_; }
    // The address of the test database over the socket (no password asked).
    std::string Conninfo(const std::string& database = kDatabase) const {
        return "host=" + Socket().string() + " port=" + std::to_string(port_) +
               " dbname=" + database + " user=" + kUser;
    }
    // The URI of the test database over TCP, where the password is asked.
    std::string TcpUri(const std::string& database = kDatabase) const {
        return "postgresql://" + std::string(kUser) + "@127.0.0.1:" + std::to_string(port_) + "/" +
               database;
    }
    // A database of the test user's own.
    void CreateDatabase(const std::string& name) const {
        Psql("CREATE DATABASE " + name + " OWNER " + kUser, "postgres");
    }
    // Runs SQL in the test database as its owner; what psql printed (unaligned, tuples only).
    std::string Sql(const std::string& sql) const { return Psql(sql, kDatabase, kUser); }
    // Runs SQL in a database as the server's superuser (roles, grants).
    std::string AdminSql(const std::string& sql, const std::string& database) const {
        return Psql(sql, database);
    }
    std::string Log() const {
        std::ifstream in(dir_.Path() / "server.log");
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

  private:
    static int FreePort() {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            throw std::runtime_error("no free port");
        }
        ::close(fd);
        return ntohs(address.sin_port);
    }
    static void Put(const std::filesystem::path& path, const std::string& text) {
        std::ofstream(path) << text;
    }
    std::filesystem::path Data() const { return dir_.Path() / "data"; }
    std::filesystem::path Socket() const { return dir_.Path() / "sock"; }

    ProgramResult Run(const std::string& program, std::vector<std::string> args) const {
        std::string path = (bin_ / program).string();
        if (::geteuid() == 0) {
            args.insert(args.begin(), {"-u", "postgres", "--", path});
            path = "/usr/sbin/runuser";
        }
        ProgramResult result = RunProgram(path, args, {"LC_ALL=C"});
        if (result.exit_code != 0) {
            throw std::runtime_error(program + " failed: " + result.err + result.out + Log());
        }
        return result;
    }
    std::string Psql(const std::string& sql, const std::string& database,
                     const std::string& user = "postgres") const {
        return Run("psql",
                   {"-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-h", Socket().string(), "-p",
                    std::to_string(port_), "-U", user, "-d", database, "-c", sql})
            .out;
    }

    TempDir dir_;
    std::filesystem::path bin_;
    int port_;
    bool running_ = false;
};

}  // namespace testsupport
