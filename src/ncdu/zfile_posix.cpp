// zfile.h on POSIX: file names are bytes.
#include <unistd.h>
#include <cstdio>

#include "ncdu/zfile.h"

namespace spadrim {

ZFile open_for_reading(const std::string& path) {
    return ZFile(gzopen(path.c_str(), "rb"));
}

ZFile open_stdin_for_reading() {
    return ZFile(gzdopen(dup(STDIN_FILENO), "rb"));
}

ZFile open_for_writing(const std::string& path, bool compress) {
    return ZFile(gzopen(path.c_str(), compress ? "wb" : "wbT"));
}

ZFile open_stdout_for_writing() {
    return ZFile(gzdopen(dup(STDOUT_FILENO), "wbT"));
}

bool replace_file(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

void remove_file(const std::string& path) {
    std::remove(path.c_str());
}

}  // namespace spadrim
