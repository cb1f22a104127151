// A stand-in for the system's curl and for an installer, for the updater's tests under Wine.
//
// Named curl.exe it logs its arguments to curl-log.txt beside itself and, as curl does unless "-q" comes
// first, reads a _curlrc in %APPDATA% (logging "CONFIG READ" when it finds one). It checks that it was
// given the fixed arguments (exit 99 if not), then follows curl-plan.txt beside itself: each line is an
// address prefix, a tab and one of "file:PATH" (copied to the -o path), "big:N" (an N-byte file written
// whatever --max-filesize says, as curl does when the server gives no length), "hang" (never ends) or
// "exit:N". An address no line names exits 22, as curl does on an HTTP error. Under any other name it is
// an installer: it writes the arguments it was started with to its own path + ".ran".
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

bool all_digits(const std::wstring& text) {
    return !text.empty() && text.find_first_not_of(L"0123456789") == std::wstring::npos;
}

int act_as_curl(const std::wstring& me, const std::vector<std::wstring>& args) {
    std::wstring joined;
    for (const std::wstring& arg : args)
        joined += (joined.empty() ? L"" : L" | ") + arg;
    const std::wstring log = beside_me(me, L"curl-log.txt");
    append_line(log, joined);
    wchar_t appdata[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"APPDATA", appdata, MAX_PATH);
    if ((args.empty() || args[0] != L"-q") && length > 0 && length < MAX_PATH &&
        GetFileAttributesW((std::wstring(appdata) + L"\\_curlrc").c_str()) != INVALID_FILE_ATTRIBUTES) {
        append_line(log, L"CONFIG READ");
    }
    const std::vector<std::wstring> fixed = {L"-q",      L"--globoff", L"-fsSL",
                                             L"--proto", L"=https",    L"--max-time"};
    if (args.size() != 12 || !std::equal(fixed.begin(), fixed.end(), args.begin()) || !all_digits(args[6]) ||
        args[7] != L"--max-filesize" || !all_digits(args[8]) || args[9] != L"-o") {
        return 99;
    }
    const std::wstring& output = args[10];
    const std::wstring& url = args[11];
    std::wifstream plan(beside_me(me, L"curl-plan.txt").c_str());
    for (std::wstring line; std::getline(plan, line);) {
        const std::size_t tab = line.find(L'\t');
        if (tab == std::wstring::npos || url.rfind(line.substr(0, tab), 0) != 0) continue;
        const std::wstring action = line.substr(tab + 1);
        if (action.rfind(L"exit:", 0) == 0) return std::stoi(action.substr(5));
        if (action == L"hang") {
            append_line(log, L"HANGING");
            Sleep(INFINITE);
        }
        if (action.rfind(L"big:", 0) == 0) {
            const HANDLE file =
                CreateFileW(output.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (file == INVALID_HANDLE_VALUE) return 23;
            LARGE_INTEGER size;
            size.QuadPart = std::stoll(action.substr(4));
            const bool written = SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file);
            CloseHandle(file);
            return written ? 0 : 23;
        }
        return CopyFileW(action.substr(5).c_str(), output.c_str(), FALSE) ? 0 : 23;
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
