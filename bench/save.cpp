// Saving a scan as a remembered one, timed: the folder is walked as a Scan walks it, then saved with
// save_scan into a fresh folder RUNS times, each save's file removed before the next. Prints one line of
// figure a line, the times medians in seconds: "walk S", "save S", "save-cpu S" (the processor time of a
// save), "bytes N" (the file's size), "entries N", "document S" and "text-bytes N" (the document alone,
// thrown away) and, for comparison, "default-level S": the document written at zlib's default level.
// bench/remember.sh sets these against spadrim-cli's scan of the same folder.
//   spadrim_save_bench FOLDER SCANS_FOLDER [RUNS]
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "ncdu/ncdu.h"
#include "ncdu/zfile.h"
#include "remember/remember.h"
#include "scan/folder.h"
#include "scan/scan.h"
#include "scan/walk.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    using namespace spadrim;
    if (argc < 3) {
        std::fprintf(stderr, "usage: spadrim_save_bench FOLDER SCANS_FOLDER [RUNS]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const std::string scans = argv[2];
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;

    ScanProgress progress;
    const Clock::time_point walk_start = Clock::now();
    std::optional<FileTree> tree = walk_folder(absolute_path(folder), worker_count(), progress);
    const double walk = seconds_since(walk_start);
    if (!tree) {
        std::fprintf(stderr, "could not walk %s\n", folder.c_str());
        return 1;
    }

    std::vector<double> saves;
    std::vector<double> save_cpus;  // the process's processor time: the save's own, on a busy machine too
    std::uint64_t bytes = 0;
    const std::atomic<bool> cancel{false};
    for (int run = 0; run < runs; ++run) {
        const Clock::time_point start = Clock::now();
        const std::clock_t cpu_start = std::clock();
        const SaveOutcome saved = save_scan(*tree, scans, 1700000000 + run, cancel);
        saves.push_back(seconds_since(start));
        save_cpus.push_back(static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC);
        if (!saved.saved) {
            std::fprintf(stderr, "not saved: %s%s\n", saved.error.c_str(), saved.no_room ? "no room" : "");
            return 1;
        }
        const std::vector<RememberedScan> listed = list_remembered(scans);
        for (const RememberedScan& scan : listed) {
            if (scan.file == saved.file) bytes = scan.bytes;
        }
        forget_remembered(scans);
    }

    // The document alone, thrown away as it comes: what of a save is not compressing and writing.
    std::vector<double> documents;
    std::uint64_t text_bytes = 0;
    for (int run = 0; run < runs; ++run) {
        const Clock::time_point start = Clock::now();
        std::string out;
        text_bytes = 0;
        write_ncdu(*tree, "bench", 0, out, [&](std::string& piece) {
            text_bytes += piece.size();
            piece.clear();
            return true;
        });
        documents.push_back(seconds_since(start));
    }

    // The same document at zlib's default level, to show what the level chosen saves.
    std::vector<double> defaults;
    const std::string plain_default = scans + "/default-level.json.gz";
    for (int run = 0; run < runs; ++run) {
        const Clock::time_point start = Clock::now();
        ZFile file = open_for_writing(plain_default, true);
        std::string out;
        write_ncdu(*tree, "bench", 0, out, [&](std::string& piece) {
            const bool ok = write_bytes(file, piece);
            piece.clear();
            return ok;
        });
        close(file);
        defaults.push_back(seconds_since(start));
        remove_file(plain_default);
    }

    std::printf(
        "walk %.4f\nsave %.4f\nbytes %llu\nentries %zu\ndocument %.4f\ntext-bytes %llu\n"
        "default-level %.4f\nsave-cpu %.4f\n",
        walk, median(saves), static_cast<unsigned long long>(bytes), tree->nodes.size(), median(documents),
        static_cast<unsigned long long>(text_bytes), median(defaults), median(save_cpus));
    return 0;
}
