// libFuzzer entry for the NTFS reader. The input is a volume image: read_mft reads it whole, and the
// record parsers also run on its first kilobyte directly, so that they are reached even when the boot
// sector is broken. A read of more than 1 MiB at once is a crash, as it would be on Windows. Built by the
// "fuzz" preset, under the address and undefined-behaviour sanitizers; scripts/fuzz runs it.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "ntfs/mft.h"
#include "ntfs/records.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace spadrim;
    const std::span<const std::uint8_t> input(data, size);

    std::vector<std::uint8_t> record(1024, 0);
    std::copy_n(input.begin(), std::min<std::size_t>(size, record.size()), record.begin());
    apply_fixups(record);
    for (const AttributeView& attribute : record_attributes(record)) {
        decode_runs(attribute.runs, 1 << 20, 1 << 20);
        read_file_name(attribute.value);
        read_attribute_list(attribute.value);
        read_standard_attributes(attribute.value);
        read_reparse_tag(attribute.value);
    }

    ScanProgress progress;
    const ReadAt read = [input](std::uint64_t offset, std::span<std::uint8_t> into) {
        // The reader never asks for more than its 1 MiB buffer holds; a volume's source would write
        // past it.
        if (into.size() > (std::size_t{1} << 20)) std::abort();
        if (offset > input.size() || into.size() > input.size() - offset) return false;
        std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(offset), into.size(), into.begin());
        return true;
    };
    read_mft("F:\\", read, progress);
    return 0;
}
