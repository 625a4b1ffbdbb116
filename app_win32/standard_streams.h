#pragma once

#include <windows.h>

#include <memory>
#include <ostream>
#include <streambuf>
#include <string>

namespace cardwright::win32 {

// Where a GUI program's text goes: Windows gives it no console of its own, so text written
// without care is lost. A standard handle the program inherited (redirected to a file or a pipe)
// takes UTF-8; one that is a console takes WriteConsoleW; without either, the console of the
// program that started this one, when it has one.
class StandardStream final : public std::streambuf {
  public:
    explicit StandardStream(DWORD which);

  protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

  private:
    void Flush(bool everything);

    HANDLE handle_ = nullptr;
    bool console_ = false;
    std::string pending_;
};

// The program's output and error streams for a script, --help and what goes wrong at start.
class StandardStreams {
  public:
    StandardStreams();
    std::ostream& Out() { return out_; }
    std::ostream& Err() { return err_; }

  private:
    StandardStream out_buffer_;
    StandardStream err_buffer_;
    std::ostream out_;
    std::ostream err_;
};

}  // namespace cardwright::win32
