// The rules of fetching with the system's curl and of accepting a downloaded installer. Pure functions,
// any thread; the Windows side (updater_win.cpp) runs the processes and asks the system about signatures.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "updater/manifest.h"

namespace spadrim {

// Whose signature an installer must carry, exactly.
inline constexpr std::string_view EXPECTED_SIGNER = "Brightfen Co., Ltd.";

// Handed to the installer, in this order: no questions, no restart, and that it updates an installation.
inline constexpr std::string_view INSTALLER_ARGUMENTS = "/SILENT /SUPPRESSMSGBOXES /NORESTART /UPDATE=1";

// The only curl ever run: System32 under the Windows folder the environment names (empty when it names
// none), else under C:\Windows.
std::string curl_program(std::string_view system_root);

// curl's arguments after the program name: fail on HTTP errors, quietly, following redirects, HTTPS
// only, at most ten minutes, into `file`.
std::vector<std::string> curl_arguments(std::string_view url, std::string_view file);

// A command line whose arguments the C runtime's rules split back into exactly `arguments`.
std::string command_line(const std::vector<std::string>& arguments);

// "Spadrim-Setup-0.3.0.exe"
std::string installer_file_name(std::string_view version);

enum class InstallerCheck : std::uint8_t {
    Passed,
    SizeMismatch,
    HashMismatch,
    Unsigned
};

// The checks of the bytes, in order: the size when the manifest gives one, then the digest (lower-case
// hexadecimal) against the manifest's, exactly.
InstallerCheck check_installer_bytes(std::uint64_t size, std::string_view digest_hex,
                                     const UpdateManifest& manifest);

// The signature check: the system trusted the file, and its first signer is ours.
InstallerCheck check_signer(bool trusted, std::optional<std::string_view> signer);

// The notice for a failed check, in the user's language.
std::string_view installer_check_text(InstallerCheck check);

}  // namespace spadrim
