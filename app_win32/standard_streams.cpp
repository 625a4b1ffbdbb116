#include "app_win32/standard_streams.h"

#include "app_win32/wide_text.h"

namespace cardwright::win32 {

namespace {

bool Usable(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// The console of the program that started this one, opened once for the process.
HANDLE ParentConsole() {
    static const HANDLE console = [] {
        if (AttachConsole(ATTACH_PARENT_PROCESS) == FALSE) {
            return INVALID_HANDLE_VALUE;
        }
        return CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    }();
    return console;
}

// The length of the longest start of `text` that ends between two UTF-8 characters.
size_t WholeCharacters(const std::string& text) {
    size_t end = text.size();
    size_t back = 0;
    while (back < 3 && back < end &&
           (static_cast<unsigned char>(text[end - 1 - back]) & 0xC0) == 0x80) {
        ++back;
    }
    if (back == end) {
        return end;
    }
    const auto lead = static_cast<unsigned char>(text[end - 1 - back]);
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return length > back + 1 ? end - 1 - back : end;
}

}  // namespace

StandardStream::StandardStream(DWORD which) {
    HANDLE inherited = GetStdHandle(which);
    DWORD mode = 0;
    if (Usable(inherited)) {
        handle_ = inherited;
        console_ = GetConsoleMode(inherited, &mode) != FALSE;
        return;
    }
    handle_ = ParentConsole();
    console_ = handle_ != INVALID_HANDLE_VALUE;
}

StandardStream::int_type StandardStream::overflow(int_type c) {
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        pending_ += traits_type::to_char_type(c);
        if (c == '\n') {
            Flush(false);
        }
    }
    return traits_type::not_eof(c);
}

std::streamsize StandardStream::xsputn(const char* text, std::streamsize count) {
    pending_.append(text, static_cast<size_t>(count));
    if (pending_.find('\n') != std::string::npos) {
        Flush(false);
    }
    return count;
}

int StandardStream::sync() {
    Flush(true);
    return 0;
}

void StandardStream::Flush(bool everything) {
    const size_t whole = everything ? WholeCharacters(pending_) : pending_.rfind('\n') + 1;
    if (whole == 0 || handle_ == INVALID_HANDLE_VALUE || handle_ == nullptr) {
        if (handle_ == INVALID_HANDLE_VALUE || handle_ == nullptr) {
            pending_.clear();  // nowhere to go
        }
        return;
    }
    const std::string text = pending_.substr(0, whole);
    pending_.erase(0, whole);
    DWORD written = 0;
    if (console_) {
        const std::wstring wide = Wide(text);
        WriteConsoleW(handle_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    // A pipe may take less than it is given: the rest is written after it.
    for (size_t done = 0; done < text.size(); done += written) {
        if (WriteFile(handle_, text.data() + done, static_cast<DWORD>(text.size() - done), &written,
                      nullptr) == FALSE ||
            written == 0) {
            return;  // the reader is gone
        }
    }
}

StandardStreams::StandardStreams()
    : out_buffer_(STD_OUTPUT_HANDLE),
      err_buffer_(STD_ERROR_HANDLE),
      out_(&out_buffer_),
      err_(&err_buffer_) {}

}  // namespace cardwright::win32
