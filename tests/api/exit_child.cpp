// Opens the card through the shared library and ends without CloseCommPort: by returning from
// main ("exit"), or by unloading the library first ("dlclose"). Exit status 0 when all went well;
// the status says which check failed otherwise.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int Threads() {
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/task")) {
        while (const dirent* entry = ::readdir(dir)) {
            count += entry->d_name[0] != '.';
        }
        ::closedir(dir);
    }
    return count;
}

// The port is released when another opener can take its lock.
bool PortReleased(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return locked;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: exit_child exit|dlclose LIBRARY DEVICE\n");
        return 64;
    }
    const std::string mode = argv[1];
    void* library = ::dlopen(argv[2], RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "%s\n", ::dlerror());
        return 10;
    }
    using Init = int (*)();
    const auto init = reinterpret_cast<Init>(::dlsym(library, "InitCommPort"));
    if (init == nullptr || init() != 1) {
        return 11;
    }
    if (PortReleased(argv[3])) {
        return 12;  // the connection does not hold the port: nothing would be tested
    }
    // The open link runs one receiving thread (a sanitizer's runtime may add one of its own).
    const int threads_while_open = Threads();
    if (mode == "exit") {
        return 0;
    }
    ::dlclose(library);
    if (::dlopen(argv[2], RTLD_NOW | RTLD_NOLOAD) != nullptr) {
        return 13;  // still loaded: unloading was not tried
    }
    if (Threads() != threads_while_open - 1) {
        return 14;
    }
    if (!PortReleased(argv[3])) {
        return 15;
    }
    return 0;
}
