// A stand-in for the system's curl and for an installer, for the updater's tests under Wine.
//
// Named curl.exe it checks that it was given exactly the fixed arguments (exit 99 if not), logs them to
// curl-log.txt beside itself, then follows curl-plan.txt beside itself: each line is an address prefix,
// a tab and either "file:PATH" (copied to the -o path) or "exit:N". An address no line names exits 22,
// as curl does on an HTTP error. Under any other name it is an installer: it writes the arguments it was
// started with to its own path + ".ran".
#include <windows.h>

#include <shellapi.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

std::wstring beside_me(const std::wstring& me, const wchar_t* name) {
    return me.substr(0, me.find_last_of(L'\\') + 1) + name;
}

void append_line(const std::wstring& file, const std::wstring& line) {
    std::wofstream(file.c_str(), std::ios::app) << line << L'\n';
}

int act_as_curl(const std::wstring& me, const std::vector<std::wstring>& args) {
    std::wstring joined;
    for (const std::wstring& arg : args)
        joined += (joined.empty() ? L"" : L" | ") + arg;
    append_line(beside_me(me, L"curl-log.txt"), joined);
    const std::vector<std::wstring> fixed = {L"-fsSL", L"--proto", L"=https", L"--max-time", L"600", L"-o"};
    if (args.size() != 8 || !std::equal(fixed.begin(), fixed.end(), args.begin())) return 99;
    std::wifstream plan(beside_me(me, L"curl-plan.txt").c_str());
    for (std::wstring line; std::getline(plan, line);) {
        const std::size_t tab = line.find(L'\t');
        if (tab == std::wstring::npos || args[7].rfind(line.substr(0, tab), 0) != 0) continue;
        const std::wstring action = line.substr(tab + 1);
        if (action.rfind(L"exit:", 0) == 0) return std::stoi(action.substr(5));
        return CopyFileW(action.substr(5).c_str(), args[6].c_str(), FALSE) ? 0 : 23;
    }
    return 22;
}

}  // namespace

int wmain() {
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    const std::vector<std::wstring> args(argv + 1, argv + count);
    LocalFree(argv);
    wchar_t path[MAX_PATH];
    const std::wstring me(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    const std::wstring name = me.substr(me.find_last_of(L'\\') + 1);
    if (CompareStringOrdinal(name.c_str(), -1, L"curl.exe", -1, TRUE) == CSTR_EQUAL)
        return act_as_curl(me, args);
    std::wstring joined;
    for (const std::wstring& arg : args)
        joined += (joined.empty() ? L"" : L" ") + arg;
    append_line(me + L".ran", joined);
    return 0;
}
