#pragma once

#include <stdexcept>
#include <string>

namespace cardwright {

// A central address that must not be used, in words for the user (which never repeat it).
class CentralAddressError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The address of the central database, as libpq takes it: a URI (postgresql://user@host/db) or
// a key=value string. A password is never part of it: a command line is seen by every user of
// the machine (ps) and ends up in logs; libpq takes it from PGPASSFILE, ~/.pgpass or PGPASSWORD.
class CentralAddress {
  public:
    // Throws CentralAddressError for a text libpq cannot read, or one that holds a password.
    explicit CentralAddress(std::string conninfo);

    const std::string& Conninfo() const { return conninfo_; }
    // What it names, for the log: "database line on 10.0.0.5:5432 as carvex"; what it leaves
    // to libpq's defaults is left out.
    const std::string& Description() const { return description_; }

  private:
    std::string conninfo_;
    std::string description_;
};

}  // namespace cardwright
