#include "cardwork/central/central_address.h"

#include <libpq-fe.h>

#include <map>
#include <memory>
#include <string_view>

namespace cardwright {

namespace {

struct OptionsFree {
    void operator()(PQconninfoOption* options) const { PQconninfoFree(options); }
};

bool LooksLikeConninfo(std::string_view dbname) {
    return dbname.find('=') != std::string_view::npos || dbname.starts_with("postgresql:") ||
           dbname.starts_with("postgres:");
}

}  // namespace

CentralAddress::CentralAddress(std::string conninfo) : conninfo_(std::move(conninfo)) {
    char* error = nullptr;
    const std::unique_ptr<PQconninfoOption, OptionsFree> options(
        PQconninfoParse(conninfo_.c_str(), &error));
    if (error != nullptr) {
        // libpq's reason may quote a part of the text, which may be a password.
        PQfreemem(error);
    }
    if (!options) {
        throw CentralAddressError(
            "--central: not a PostgreSQL connection URI or key=value string "
            "(postgresql://carvex@db.example/line, or host=db.example dbname=line user=carvex)");
    }
    std::map<std::string, std::string> given;
    for (const PQconninfoOption* option = options.get(); option->keyword != nullptr; ++option) {
        if (option->val != nullptr && *option->val != '\0') {
            given[option->keyword] = option->val;
        }
    }
    // libpq reads a database name that is itself a connection string as one, password and all:
    // no database of a line is named like that.
    if (given.contains("dbname") && LooksLikeConninfo(given["dbname"])) {
        throw CentralAddressError(
            "--central: the database name is itself a connection string; give the settings "
            "once, and a password in PGPASSFILE, ~/.pgpass or PGPASSWORD");
    }
    if (given.contains("password")) {
        throw CentralAddressError(
            "--central holds a password: give it in PGPASSFILE, ~/.pgpass or PGPASSWORD "
            "instead, where no other user of the machine sees it");
    }
    description_ = "database " + (given.contains("dbname") ? given["dbname"] : "(default)");
    if (given.contains("host")) {
        description_ += " on " + given["host"];
        if (given.contains("port")) {
            description_ += ":" + given["port"];
        }
    }
    if (given.contains("user")) {
        description_ += " as " + given["user"];
    }
}

}  // namespace cardwright
