// Files read and written through zlib, which reads gzip-compressed and plain files alike (telling them
// by their content) and writes either. Opening, replacing and removing go through the platform's own
// calls for its file names (zfile_posix.cpp, zfile_win.cpp); the rest is portable (zfile.cpp).
#pragma once

#include <zlib.h>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace spadrim {

struct ZFileCloser {
    void operator()(gzFile_s* file) const { gzclose(file); }
};
using ZFile = std::unique_ptr<gzFile_s, ZFileCloser>;

ZFile open_for_reading(const std::string& path);
ZFile open_stdin_for_reading();
ZFile open_for_writing(const std::string& path, bool compress);  // replaces what is there
ZFile open_stdout_for_writing();

// Bytes read into `into`: 0 at the end, nothing on an error (a damaged gzip stream too).
std::optional<std::size_t> read_bytes(const ZFile& file, std::span<char> into);
bool write_bytes(const ZFile& file, std::string_view bytes);
// Closes the file; false when what was written could not all be stored.
bool close(ZFile& file);

// Puts `from` in the place of `to`, replacing it.
bool replace_file(const std::string& from, const std::string& to);
void remove_file(const std::string& path);

}  // namespace spadrim
