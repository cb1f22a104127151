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

// The most a download may bring: a manifest is small; an installer is the size its manifest gives, or
// at most INSTALLER_CEILING when it gives none.
inline constexpr std::uint64_t MANIFEST_CEILING = 64 * 1024;
inline constexpr std::uint64_t INSTALLER_CEILING = 512ull << 20;
std::uint64_t installer_ceiling(const UpdateManifest& manifest);

// How long one transfer may take. The environment value SPADRIM_TRANSFER_SECONDS may shorten it (the
// tests use it to meet a stuck transfer in seconds); it never lengthens it.
inline constexpr unsigned TRANSFER_SECONDS = 600;
unsigned transfer_seconds(std::optional<std::string_view> setting);

// How long to wait for curl before ending it ourselves: its own limit and a margin for starting and
// writing the file.
unsigned long curl_wait_milliseconds(unsigned seconds);

// curl's arguments after the program name. "-q" comes first, the only place curl takes it, so that no
// configuration file of the user's (.curlrc, _curlrc, CURL_HOME) adds insecure modes, proxies or other
// outputs; no URL globbing, so "[1-4294967295]" in an address is just text; then fail on HTTP errors,
// quietly, following redirects, HTTPS only, within `seconds`, at most `max_bytes`, into `file`.
std::vector<std::string> curl_arguments(std::string_view url, std::string_view file, std::uint64_t max_bytes,
                                        unsigned seconds = TRANSFER_SECONDS);

// A command line whose arguments the C runtime's rules split back into exactly `arguments`.
std::string command_line(const std::vector<std::string>& arguments);

// "Spadrim-Setup-0.3.0.exe"
std::string installer_file_name(std::string_view version);

// Whether a working folder, as its opened handle reports it, may hold downloads: a real folder, not a
// link or junction (whose target another process could change under us).
bool usable_working_folder(std::uint32_t attributes);

enum class InstallerCheck : std::uint8_t {
    Passed,
    SizeMismatch,
    HashMismatch,
    Unsigned,
    VersionMismatch,
    NotNewer
};

// The checks of the bytes, in order: the size when the manifest gives one (or the ceiling when it gives
// none), then the digest (lower-case hexadecimal) against the manifest's, exactly. A file over its
// ceiling is refused by its size before it is read.
InstallerCheck check_installer_bytes(std::uint64_t size, std::string_view digest_hex,
                                     const UpdateManifest& manifest);

// The signature check: the system trusted the file, and its first signer is ours.
InstallerCheck check_signer(bool trusted, std::optional<std::string_view> signer);

// What an installer's own version block says: the product and file versions of its fixed part.
struct VersionBlock {
    VersionNumber product;
    VersionNumber file;
};

// The version check, after the signature: a genuinely signed installer may still be an old one that a
// tampered manifest points at, to bring back a version with a known hole. The manifest's version must be
// newer than the running one, and the installer's version block (nothing when it has none) must name it,
// as its product or its file version.
InstallerCheck check_installer_version(const std::optional<VersionBlock>& block,
                                       std::string_view manifest_version, std::string_view current);

// The notice for a failed check, in the user's language.
std::string_view installer_check_text(InstallerCheck check);

}  // namespace spadrim
