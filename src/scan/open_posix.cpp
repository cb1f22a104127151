// Opening by long paths. See open_posix.h.
#include "scan/open_posix.h"

#include <unistd.h>

#include <cerrno>
#include <string>

namespace spadrim {
namespace {

// Each step's path stays well below PATH_MAX (4096); a name is at most 255 bytes, so there is always a
// separator to cut at inside a step.
constexpr std::size_t STEP = 3072;

}  // namespace

int open_path(int base, std::string_view path, int flags) {
    if (path.size() < STEP) return openat(base, std::string(path).c_str(), flags);
    int folder = base;
    const auto close_folder = [&] {
        if (folder == base) return;
        const int saved = errno;
        close(folder);
        errno = saved;
    };
    while (path.size() >= STEP) {
        std::size_t cut = path.rfind('/', STEP);
        if (cut == std::string_view::npos) {
            close_folder();
            errno = ENAMETOOLONG;  // one name longer than any file system allows
            return -1;
        }
        const std::string part(path.substr(0, cut == 0 ? 1 : cut));  // "/" itself starts an absolute path
        const int next = openat(folder, part.c_str(), LOOK_ONLY | O_DIRECTORY);
        close_folder();
        if (next < 0) return -1;
        folder = next;
        path.remove_prefix(cut);
        while (!path.empty() && path.front() == '/')
            path.remove_prefix(1);
    }
    const int fd = openat(folder, path.empty() ? "." : std::string(path).c_str(), flags);
    close_folder();
    return fd;
}

}  // namespace spadrim
