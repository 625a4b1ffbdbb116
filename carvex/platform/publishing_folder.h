#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace carvex {

// A folder that a publisher would write into although someone else could change it under the
// publisher: run as root, it would then write, move or delete through links that a user planted.
// what() names the folder and says why.
class UnsafeFolder : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Makes `root` (with its missing parents) and makes sure nobody but the running user can change
// what is written there: the root is a real folder (not a link) of the running user that neither
// group nor others may write, and every folder above it belongs to root or the running user and
// may be written by nobody else unless it is sticky (as /tmp is). Throws UnsafeFolder.
void PreparePublishingRoot(const std::filesystem::path& root);

// Makes root/relative one folder at a time (the root prepared as above) and returns it. Each
// folder on the way is a real folder of the running user that nobody else may write; the one
// kind of link allowed is what a publisher swaps in for a folder, a link to a hidden sibling
// ".<name>.*" that passes the same test. Throws UnsafeFolder.
std::filesystem::path PreparePublishingFolder(const std::filesystem::path& root,
                                              const std::filesystem::path& relative);

// Why `path` is not a real folder of the running user's that nobody else may write; empty when
// it is one (a link is never one).
std::string WhyNotOwnFolder(const std::filesystem::path& path);

}  // namespace carvex
