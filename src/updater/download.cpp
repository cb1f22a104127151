#include "updater/download.h"

#include <algorithm>
#include <charconv>

#include "strings/strings.h"

namespace spadrim {

std::string curl_program(std::string_view system_root) {
    std::string program(system_root.empty() ? "C:\\Windows" : system_root);
    if (!program.ends_with('\\')) program += '\\';
    return program + "System32\\curl.exe";
}

std::uint64_t installer_ceiling(const UpdateManifest& manifest) {
    return manifest.size != 0 ? manifest.size : INSTALLER_CEILING;
}

unsigned transfer_seconds(std::optional<std::string_view> setting) {
    unsigned seconds = 0;
    if (!setting) return TRANSFER_SECONDS;
    const auto [end, error] = std::from_chars(setting->data(), setting->data() + setting->size(), seconds);
    if (error != std::errc{} || end != setting->data() + setting->size() || seconds == 0)
        return TRANSFER_SECONDS;
    return std::min(seconds, TRANSFER_SECONDS);
}

unsigned long curl_wait_milliseconds(unsigned seconds) {
    const unsigned margin = std::max(5u, seconds / 20);
    return (static_cast<unsigned long>(seconds) + margin) * 1000;
}

std::vector<std::string> curl_arguments(std::string_view url, std::string_view file, std::uint64_t max_bytes,
                                        unsigned seconds) {
    return {"-q",
            "--globoff",
            "-fsSL",
            "--proto",
            "=https",
            "--max-time",
            std::to_string(seconds),
            "--max-filesize",
            std::to_string(max_bytes),
            "-o",
            std::string(file),
            std::string(url)};
}

bool usable_working_folder(std::uint32_t attributes) {
    constexpr std::uint32_t DIRECTORY = 0x10;
    constexpr std::uint32_t REPARSE_POINT = 0x400;
    return (attributes & DIRECTORY) && !(attributes & REPARSE_POINT);
}

std::string command_line(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments) {
        if (!line.empty()) line += ' ';
        if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
            line += argument;
            continue;
        }
        // Backslashes are literal except before a quote, where each must be doubled; so must those
        // before the closing quote.
        line += '"';
        std::size_t backslashes = 0;
        for (const char c : argument) {
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            line.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
            backslashes = 0;
            line += c;
        }
        line.append(2 * backslashes, '\\');
        line += '"';
    }
    return line;
}

std::string installer_file_name(std::string_view version) {
    return "Spadrim-Setup-" + std::string(version) + ".exe";
}

InstallerCheck check_installer_bytes(std::uint64_t size, std::string_view digest_hex,
                                     const UpdateManifest& manifest) {
    if (manifest.size != 0 ? size != manifest.size : size > INSTALLER_CEILING)
        return InstallerCheck::SizeMismatch;
    if (digest_hex != manifest.sha256) return InstallerCheck::HashMismatch;
    return InstallerCheck::Passed;
}

InstallerCheck check_signer(bool trusted, std::optional<std::string_view> signer) {
    return trusted && signer == EXPECTED_SIGNER ? InstallerCheck::Passed : InstallerCheck::Unsigned;
}

InstallerCheck check_installer_version(const std::optional<VersionBlock>& block,
                                       std::string_view manifest_version, std::string_view current) {
    const VersionNumber named = parse_version(manifest_version);
    if (compare_versions(named, parse_version(current)) <= 0) return InstallerCheck::NotNewer;
    if (!block || (compare_versions(block->product, named) != 0 && compare_versions(block->file, named) != 0))
        return InstallerCheck::VersionMismatch;
    return InstallerCheck::Passed;
}

std::string_view installer_check_text(InstallerCheck check) {
    switch (check) {
        case InstallerCheck::Passed: return {};
        case InstallerCheck::SizeMismatch:
            return tr("내려받은 파일의 크기가 맞지 않습니다", "Downloaded size mismatch");
        case InstallerCheck::HashMismatch:
            return tr("내려받은 파일이 손상되었습니다 (해시 불일치)",
                      "Downloaded file is corrupt (hash mismatch)");
        case InstallerCheck::Unsigned:
            return tr("설치 프로그램의 디지털 서명을 확인하지 못했습니다",
                      "The installer's digital signature could not be verified");
        case InstallerCheck::VersionMismatch:
            return tr("설치 프로그램의 버전이 업데이트 정보와 맞지 않습니다",
                      "The installer's version does not match the update");
        case InstallerCheck::NotNewer:
            return tr("설치 프로그램이 지금 버전보다 새롭지 않습니다",
                      "The installer is not newer than the running version");
    }
    return {};
}

}  // namespace spadrim
