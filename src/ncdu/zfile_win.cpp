// zfile.h on Windows: file names go to the wide calls, and the standard streams are switched to binary
// so that no carriage returns are added or taken away.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "ncdu/zfile.h"
#include "strings/wide_win.h"

namespace spadrim {

ZFile open_for_reading(const std::string& path) {
    return ZFile(gzopen_w(to_wide(path).c_str(), "rb"));
}

ZFile open_stdin_for_reading() {
    _setmode(_fileno(stdin), _O_BINARY);
    return ZFile(gzdopen(_dup(_fileno(stdin)), "rb"));
}

ZFile open_for_writing(const std::string& path, bool compress) {
    return ZFile(gzopen_w(to_wide(path).c_str(), compress ? "wb" : "wbT"));
}

ZFile open_stdout_for_writing() {
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
    return ZFile(gzdopen(_dup(_fileno(stdout)), "wbT"));
}

bool replace_file(const std::string& from, const std::string& to) {
    return MoveFileExW(to_wide(from).c_str(), to_wide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void remove_file(const std::string& path) {
    DeleteFileW(to_wide(path).c_str());
}

}  // namespace spadrim
