#include "updater/download.h"

#include "strings/strings.h"

namespace spadrim {

std::string curl_program(std::string_view system_root) {
    std::string program(system_root.empty() ? "C:\\Windows" : system_root);
    if (!program.ends_with('\\')) program += '\\';
    return program + "System32\\curl.exe";
}

std::vector<std::string> curl_arguments(std::string_view url, std::string_view file) {
    return {"-fsSL", "--proto", "=https", "--max-time", "600", "-o", std::string(file), std::string(url)};
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
    if (manifest.size != 0 && size != manifest.size) return InstallerCheck::SizeMismatch;
    if (digest_hex != manifest.sha256) return InstallerCheck::HashMismatch;
    return InstallerCheck::Passed;
}

InstallerCheck check_signer(bool trusted, std::optional<std::string_view> signer) {
    return trusted && signer == EXPECTED_SIGNER ? InstallerCheck::Passed : InstallerCheck::Unsigned;
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
    }
    return {};
}

}  // namespace spadrim
