#pragma once

#include <cstdio>
#include <string>

// The Windows check programs print one line per check ("ok", "FAIL" or "skip") and end with
// "N passed, N failed, N skipped", which run_wine_tests adds up.
class CheckOutput {
  public:
    void Check(bool ok, const std::string& what) {
        std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
        std::fflush(stdout);
        (ok ? passed_ : failed_) += 1;
    }

    void Skip(const std::string& what, const std::string& why) {
        std::printf("skip %s: %s\n", what.c_str(), why.c_str());
        std::fflush(stdout);
        skipped_ += 1;
    }

    // Prints the counts; the program's exit code.
    int Summary() const {
        std::printf("%d passed, %d failed, %d skipped\n", passed_, failed_, skipped_);
        return failed_ == 0 ? 0 : 1;
    }

  private:
    int passed_ = 0;
    int failed_ = 0;
    int skipped_ = 0;
};
