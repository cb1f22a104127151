// Command line and schedule rules of start-up. See startup.h.
#include "app/startup.h"

#include <charconv>

namespace spadrim {
namespace {

// Unicode white space as UTF-8 sequences, longest first within each lead byte.
std::size_t white_space_at(std::string_view text, std::size_t i) {
    static constexpr std::string_view SPACES[] = {
        "\xE3\x80\x80", "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82", "\xE2\x80\x83",
        "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88",
        "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF",
        "\xE2\x81\x9F", "\xE1\x9A\x80", "\xC2\x85",     "\xC2\xA0",     " ",
        "\t",           "\n",           "\v",           "\f",           "\r"};
    for (const std::string_view space : SPACES) {
        if (text.substr(i).starts_with(space)) return space.size();
    }
    return 0;
}

std::string_view trim(std::string_view text) {
    while (!text.empty()) {
        const std::size_t n = white_space_at(text, 0);
        if (n == 0) break;
        text.remove_prefix(n);
    }
    // Trailing: find the last position where a white-space sequence ends exactly at the end.
    for (bool trimmed = true; trimmed && !text.empty();) {
        trimmed = false;
        for (std::size_t length = 1; length <= 3 && length <= text.size(); ++length) {
            if (white_space_at(text, text.size() - length) == length) {
                text.remove_suffix(length);
                trimmed = true;
                break;
            }
        }
    }
    return text;
}

}  // namespace

bool wants_unregister(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--unregister") return true;
    }
    return false;
}

std::optional<std::string> folder_argument(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        std::string_view text = trim(arg);
        while (!text.empty() && text.back() == '"')
            text.remove_suffix(1);
        std::string folder(text);
        if (folder.size() == 2 && folder[1] == ':') folder += '\\';
        if (folder.size() >= 2 && folder.starts_with("--")) continue;
        return folder;
    }
    return std::nullopt;
}

std::string verb_command(std::string_view exe, std::string_view placeholder) {
    std::string command = "\"";
    command += exe;
    command += "\" \"";
    command += placeholder;
    command += '"';
    return command;
}

std::string elevated_argument(std::string_view root) {
    while (!root.empty() && root.back() == '\\')
        root.remove_suffix(1);
    std::string argument = "\"";
    argument += root;
    argument += '"';
    return argument;
}

std::uint64_t parse_check_time(std::string_view text) {
    if (text.starts_with('+')) text.remove_prefix(1);
    std::uint64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) return 0;
    return value;
}

bool update_check_due(std::optional<std::uint32_t> auto_update, std::uint64_t last, std::uint64_t now) {
    if (auto_update && *auto_update == 0) return false;
    const std::uint64_t since = now > last ? now - last : 0;
    return since >= 86400;
}

}  // namespace spadrim
