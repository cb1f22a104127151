// Kind tables, extension rules and the size and count texts. See kinds.h.
#include "kinds/kinds.h"

#include <array>
#include <charconv>
#include <cstring>

#include "strings/strings.h"

namespace spadrim {
namespace {

struct KindRow {
    std::string_view korean;
    std::string_view english;
    std::uint32_t colour;
};

constexpr std::array<KindRow, KIND_COUNT> KIND_ROWS = {{
    {"사진·그림", "Pictures", 0x3B82F6},
    {"동영상", "Videos", 0x8B5CF6},
    {"음악", "Music", 0xEC4899},
    {"문서", "Documents", 0x10B981},
    {"압축·디스크 이미지", "Archives and disk images", 0xF59E0B},
    {"프로그램", "Programs", 0xEF4444},
    {"임시·로그", "Temporary and logs", 0x94A3B8},
    {"기타", "Other", 0x14B8A6},
}};

constexpr std::size_t MAX_EXTENSION = 11;

// Packs up to eight bytes into one word so that a whole extension compares in one instruction.
// The same function runs at compile time for the case labels and at run time for the input.
constexpr std::uint64_t pack(std::string_view s) {
    std::uint64_t word = 0;
    for (char c : s)
        word = (word << 8) | static_cast<unsigned char>(c);
    return word;
}

constexpr std::uint64_t P(const char* s) {
    return pack(std::string_view(s));
}

using K = FileKind;

// The lists read as tables, one kind per block.
// clang-format off

FileKind classify_2(std::uint64_t w) {
    switch (w) {
        case P("ts"): return K::Videos;
        case P("md"): return K::Documents;
        case P("7z"):
        case P("gz"):
        case P("xz"): return K::Archives;
        case P("pf"): return K::Temporary;
        default: return K::Other;
    }
}

FileKind classify_3(std::uint64_t w) {
    switch (w) {
        case P("arw"): case P("bmp"): case P("cr2"): case P("cr3"): case P("dng"): case P("gif"):
        case P("ico"): case P("jpg"): case P("jxl"): case P("nef"): case P("orf"): case P("png"):
        case P("psd"): case P("raf"): case P("raw"): case P("rw2"): case P("svg"): case P("tif"):
            return K::Pictures;
        case P("3gp"): case P("avi"): case P("flv"): case P("m4v"): case P("mkv"): case P("mov"):
        case P("mp4"): case P("mpg"): case P("mts"): case P("vob"): case P("wmv"):
            return K::Videos;
        case P("aac"): case P("m4a"): case P("mid"): case P("mp3"): case P("ogg"): case P("wav"):
        case P("wma"):
            return K::Music;
        case P("csv"): case P("doc"): case P("hwp"): case P("key"): case P("odp"): case P("ods"):
        case P("odt"): case P("pdf"): case P("ppt"): case P("rtf"): case P("txt"): case P("xls"):
            return K::Documents;
        case P("alz"): case P("bz2"): case P("cab"): case P("egg"): case P("esd"): case P("img"):
        case P("iso"): case P("rar"): case P("tar"): case P("tgz"): case P("vhd"): case P("wim"):
        case P("zip"): case P("zst"):
            return K::Archives;
        case P("bat"): case P("cmd"): case P("com"): case P("dll"): case P("exe"): case P("jar"):
        case P("msi"): case P("msp"): case P("msu"): case P("ocx"): case P("pak"): case P("pck"):
        case P("ps1"): case P("sys"):
            return K::Programs;
        case P("bak"): case P("dmp"): case P("etl"): case P("log"): case P("old"): case P("tmp"):
            return K::Temporary;
        default: return K::Other;
    }
}

FileKind classify_4(std::uint64_t w) {
    switch (w) {
        case P("avif"): case P("heic"): case P("heif"): case P("jpeg"): case P("tiff"): case P("webp"):
            return K::Pictures;
        case P("m2ts"): case P("mpeg"): case P("webm"): return K::Videos;
        case P("aiff"): case P("alac"): case P("flac"): case P("midi"): case P("opus"): return K::Music;
        case P("docx"): case P("epub"): case P("hwpx"): case P("pptx"): case P("xlsx"): return K::Documents;
        case P("vhdx"): case P("vmdk"): return K::Archives;
        case P("appx"): case P("msix"): case P("node"): return K::Programs;
        case P("part"): case P("temp"): return K::Temporary;
        default: return K::Other;
    }
}

FileKind classify_5(std::uint64_t w) {
    switch (w) {
        case P("pages"): return K::Documents;
        case P("cache"): return K::Temporary;
        default: return K::Other;
    }
}

// clang-format on

}  // namespace

namespace {

// Writes file_extension(name) to `to` (room for MAX_EXTENSION bytes) and returns its length: no string
// is made for the extension of every file a walk lists.
std::size_t extension_into(std::string_view name, char* to) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) return 0;
    const std::size_t length = name.size() - dot - 1;
    if (length > MAX_EXTENSION) return 0;
    for (std::size_t i = 0; i < length; ++i) {
        const char c = name[dot + 1 + i];
        to[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return length;
}

}  // namespace

std::string file_extension(std::string_view name) {
    char extension[MAX_EXTENSION];
    return std::string(extension, extension_into(name, extension));
}

FileKind classify_name(std::string_view name) {
    char extension[MAX_EXTENSION];
    return classify_extension(std::string_view(extension, extension_into(name, extension)));
}

FileKind classify_extension(std::string_view e) {
    switch (e.size()) {
        case 2: return classify_2(pack(e));
        case 3: return classify_3(pack(e));
        case 4: return classify_4(pack(e));
        case 5: return classify_5(pack(e));
        case 6: return pack(e) == P("bundle") ? K::Programs : K::Other;
        case 7: return pack(e) == P("numbers") ? K::Documents : K::Other;
        case 10: return std::memcmp(e.data(), "crdownload", 10) == 0 ? K::Temporary : K::Other;
        default: return K::Other;
    }
}

std::string_view kind_label(FileKind kind) {
    const KindNames names = kind_names(kind);
    return tr(names.korean, names.english);
}

KindNames kind_names(FileKind kind) {
    const KindRow& row = KIND_ROWS[static_cast<std::size_t>(kind)];
    return KindNames{row.korean, row.english};
}

std::uint32_t kind_colour(FileKind kind) {
    return KIND_ROWS[static_cast<std::size_t>(kind)].colour;
}

std::string format_size(std::uint64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + " B";
    static constexpr std::array<std::string_view, 6> UNITS = {"B", "KB", "MB", "GB", "TB", "PB"};
    double x = static_cast<double>(bytes) / 1024.0;
    std::size_t unit = 1;
    while (x >= 1024.0 && unit < 5) {
        x /= 1024.0;
        ++unit;
    }
    const int decimals = x >= 100.0 ? 0 : (x >= 10.0 ? 1 : 2);
    // to_chars rounds the exact binary value and breaks exact ties to even on every standard library,
    // unlike printf, whose rounding differs between C runtimes.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::fixed, decimals);
    std::string text(buffer, result.ptr);
    text += ' ';
    text += UNITS[unit];
    return text;
}

std::string format_count(std::uint64_t count) {
    const std::string digits = std::to_string(count);
    std::string text;
    text.reserve(digits.size() + digits.size() / 3);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    return text;
}

}  // namespace spadrim
