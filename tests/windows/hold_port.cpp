// hold_port: another program that has a COM port open, as a terminal program would, until its
// standard input ends. Prints "holding COMn" once the port is open.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: hold_port COMn\n");
        return 2;
    }
    const std::string path = std::string("\\\\.\\") + argv[1];
    HANDLE port = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "hold_port: cannot open %s (error %lu)\n", argv[1], ::GetLastError());
        return 1;
    }
    std::printf("holding %s\n", argv[1]);
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    ::CloseHandle(port);
    return 0;
}
