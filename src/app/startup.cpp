// Command line and schedule rules of start-up. See startup.h.
#include "app/startup.h"

#include <algorithm>
#include <charconv>

#include "strings/utf.h"

namespace spadrim {

namespace {

bool has_option(const std::vector<std::string>& args, std::string_view option) {
    return std::find(args.begin(), args.end(), option) != args.end();
}

}  // namespace

bool wants_unregister(const std::vector<std::string>& args) {
    return has_option(args, "--unregister");
}

bool wants_register(const std::vector<std::string>& args) {
    return has_option(args, "--register");
}

std::optional<std::string> folder_argument(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        std::string_view text = trim_white_space(arg);
        while (!text.empty() && text.back() == '"')
            text.remove_suffix(1);
        std::string folder(text);
        if (folder.size() == 2 && folder[1] == ':') folder += '\\';
        if (folder.size() >= 2 && folder.starts_with("--")) continue;
        return folder;
    }
    return std::nullopt;
}

bool is_scan_file_name(std::string_view path) {
    const auto ends_with = [&](std::string_view end) {
        if (path.size() <= end.size()) return false;
        const std::string_view tail = path.substr(path.size() - end.size());
        return std::equal(tail.begin(), tail.end(), end.begin(), [](char a, char b) {
            return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
        });
    };
    return ends_with(".json") || ends_with(".json.gz");
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
