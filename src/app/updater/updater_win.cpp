#include "app/updater/updater.h"

#include <windows.h>

#include <shellapi.h>
#include <softpub.h>
#include <wintrust.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <thread>

#include "app/messages_win.h"
#include "app/window_win.h"
#include "config.h"
#include "dupes/sha256.h"
#include "strings/strings.h"
#include "strings/wide_win.h"
#include "updater/download.h"
#include "updater/mailbox.h"

namespace spadrim {

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct CheckReport {
    CheckOutcome outcome;
    bool manual = false;
};

struct DownloadOutcome {
    std::string installer;  // the verified file, or empty
    UniqueHandle lock;      // keeps the verified file from being changed until it has been started
    std::string failure;
};

// Never destroyed: a worker may still be finishing while the process exits.
Mailbox<CheckReport>& update_mailbox() {
    static auto* box = new Mailbox<CheckReport>;
    return *box;
}
Mailbox<DownloadOutcome>& download_mailbox() {
    static auto* box = new Mailbox<DownloadOutcome>;
    return *box;
}

std::string system_error_text(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = length != 0 ? from_wide({buffer, length}) : "Error " + std::to_string(code);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

// %TEMP%\Spadrim\, created with its parents whenever asked for; a failure to create it shows later,
// when the file cannot be written. Nothing when the system names no temporary folder: a relative path
// would put the installer in whatever the current folder is.
std::optional<std::string> working_folder() {
    const DWORD size = GetTempPathW(0, nullptr);
    std::wstring folder(size, L'\0');
    const DWORD length = size == 0 ? 0 : GetTempPathW(size, folder.data());
    if (length == 0 || length >= size) return std::nullopt;
    folder.resize(length);
    folder += L"Spadrim\\";
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(folder), ignored);
    return from_wide(folder);
}

// Runs %SystemRoot%\System32\curl.exe and nothing else: no other curl on the path is ever trusted.
// Nothing when it succeeded, else the failure's text.
std::optional<std::string> fetch_to_file(const std::string& url, const std::string& file) {
    std::vector<std::string> arguments = curl_arguments(url, file);
    arguments.insert(arguments.begin(), curl_program(environment_variable("SystemRoot").value_or("")));
    const std::wstring program = to_wide(arguments.front());
    std::wstring line = to_wide(command_line(arguments));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process)) {
        return system_error_text(GetLastError());
    }
    const UniqueHandle thread(process.hThread);
    const UniqueHandle child(process.hProcess);
    DWORD exit_code = 0;
    if (WaitForSingleObject(child.get(), INFINITE) == WAIT_FAILED ||
        !GetExitCodeProcess(child.get(), &exit_code))
        return system_error_text(GetLastError());
    if (exit_code != 0) return std::string(tr("내려받지 못했습니다", "Download failed"));
    return std::nullopt;
}

struct FileRead {
    std::string bytes;
    UniqueHandle handle;  // still open, others may read but not change it
    std::optional<std::string> failure;
};

FileRead read_whole_file(const std::string& path) {
    FileRead read;
    read.handle.reset(CreateFileW(to_wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (read.handle.get() == INVALID_HANDLE_VALUE || !GetFileSizeEx(read.handle.get(), &size)) {
        read.failure = system_error_text(GetLastError());
        return read;
    }
    try {
        read.bytes.resize(static_cast<std::size_t>(size.QuadPart));
    } catch (const std::bad_alloc&) {  // a file larger than memory is a failure like any other
        read.failure = system_error_text(ERROR_NOT_ENOUGH_MEMORY);
        return read;
    }
    std::size_t done = 0;
    while (done < read.bytes.size()) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(read.bytes.size() - done, 1u << 24));
        if (!ReadFile(read.handle.get(), read.bytes.data() + done, want, &got, nullptr)) {
            read.failure = system_error_text(GetLastError());
            return read;
        }
        if (got == 0) break;  // shorter than its size said a moment ago
        done += got;
    }
    read.bytes.resize(done);
    return read;
}

// One check at a time: a second would fetch into the same file. A manual request made meanwhile is
// answered by the running check.
std::atomic<bool> check_running{false};
std::atomic<bool> manual_wanted{false};

void check_for_update(HWND window) {
    const std::optional<std::string> folder = working_folder();
    const std::string file = folder.value_or("") + "update.json";
    CheckOutcome outcome;
    if (!folder) {
        outcome.message = system_error_text(GetLastError());
    } else if (std::optional<std::string> failure =
                   fetch_to_file(manifest_address(MAKER_SITE, VERSION, language_code()), file)) {
        outcome.message = std::move(*failure);
    } else {
        FileRead read = read_whole_file(file);
        read.handle.reset();
        if (read.failure) {
            outcome.message = std::move(*read.failure);
        } else {
            DeleteFileW(to_wide(file).c_str());
            outcome = judge_manifest(read.bytes, VERSION);  // text that is not UTF-8 is not a manifest
        }
    }
    check_running = false;  // before reading the flag: a request after this starts a check of its own
    update_mailbox().put(CheckReport{std::move(outcome), manual_wanted.exchange(false)});
    PostMessageW(window, MSG_UPDATE_CHECKED, 0, 0);
}

// Whether the system trusts the file's Authenticode signature, and whose it is.
InstallerCheck check_signature(const std::string& path) {
    const std::wstring wide = to_wide(path);
    WINTRUST_FILE_INFO file{};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = wide.c_str();
    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const HWND no_window = static_cast<HWND>(INVALID_HANDLE_VALUE);
    const LONG result = WinVerifyTrust(no_window, &action, &data);
    std::optional<std::string> signer;
    if (result == 0) {
        CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(data.hWVTStateData);
        CRYPT_PROVIDER_SGNR* first =
            provider ? WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
        if (first && first->csCertChain > 0 && first->pasCertChain[0].pCert) {
            wchar_t name[256] = {};
            CertGetNameStringW(first->pasCertChain[0].pCert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name,
                               256);
            signer = from_wide(name);
        }
    }
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(no_window, &action, &data);
    return check_signer(result == 0, signer);
}

DownloadOutcome verified_download(const UpdateManifest& manifest) {
    const std::optional<std::string> folder = working_folder();
    if (!folder) return {{}, {}, system_error_text(GetLastError())};
    const std::string path = *folder + installer_file_name(manifest.version);
    if (std::optional<std::string> failure = fetch_to_file(manifest.url, path)) return {{}, {}, *failure};
    FileRead read = read_whole_file(path);
    if (read.failure) return {{}, {}, *read.failure};
    Sha256 hash;
    hash.update(read.bytes.data(), read.bytes.size());
    const std::optional<Digest> digest = hash.finish();
    InstallerCheck check = digest ? check_installer_bytes(read.bytes.size(), digest_hex(*digest), manifest)
                                  : InstallerCheck::HashMismatch;
    if (check == InstallerCheck::Passed) check = check_signature(path);
    if (check != InstallerCheck::Passed) {
        read.handle.reset();
        DeleteFileW(to_wide(path).c_str());
        return {{}, {}, std::string(installer_check_text(check))};
    }
    return {path, std::move(read.handle), {}};
}

void download_installer(UpdateManifest manifest, HWND window) {
    download_mailbox().put(verified_download(manifest));
    PostMessageW(window, MSG_DOWNLOAD_ENDED, 0, 0);
}

void notify(Window& window, std::string text) {
    show_notice(window.app, std::move(text));
    state_changed(window);
}

// One question and one download at a time: they share the installer's file. Main thread only.
bool updating = false;

}  // namespace

void start_update_check(Window& window, bool manual) {
    if (manual) {
        notify(window, std::string(tr("업데이트를 확인하는 중…", "Checking for updates…")));
        manual_wanted = true;
    }
    if (check_running.exchange(true)) return;
    std::thread(check_for_update, window.handle).detach();
}

void take_update_outcome(Window& window) {
    std::optional<CheckReport> report = update_mailbox().take();
    if (!report) return;
    const CheckOutcome& outcome = report->outcome;
    switch (outcome.kind) {
        case CheckOutcome::Kind::Newer: {
            if (updating) return;  // already asking, or downloading
            updating = true;
            const std::wstring question = to_wide(update_question(outcome.manifest.version, VERSION));
            const bool yes = MessageBoxW(window.handle, question.c_str(), L"Spadrim",
                                         MB_YESNO | MB_ICONINFORMATION) == IDYES;
            Window* current = main_window();  // the box's modal loop ran
            if (!yes || !current) {
                updating = false;
                return;
            }
            notify(*current, std::string(tr("업데이트를 내려받는 중…", "Downloading update…")));
            start_download(*current, outcome.manifest);
            return;
        }
        case CheckOutcome::Kind::UpToDate:
            if (report->manual) notify(window, up_to_date_notice(VERSION));
            return;
        case CheckOutcome::Kind::Failed:
            if (report->manual) notify(window, outcome.message);
            return;
    }
}

void start_download(Window& window, const UpdateManifest& manifest) {
    std::thread(download_installer, manifest, window.handle).detach();
}

void take_download_outcome(Window& window) {
    std::optional<DownloadOutcome> outcome = download_mailbox().take();
    if (!outcome) return;
    updating = false;
    if (outcome->installer.empty()) {
        notify(window, std::move(outcome->failure));
        return;
    }
    const std::wstring file = to_wide(outcome->installer);
    const std::wstring parameters = to_wide(INSTALLER_ARGUMENTS);
    const HWND handle = window.handle;
    SHELLEXECUTEINFOW launch{};
    launch.cbSize = sizeof launch;
    launch.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    launch.hwnd = handle;
    launch.lpFile = file.c_str();
    launch.lpParameters = parameters.c_str();
    launch.nShow = SW_SHOWNORMAL;
    // The launch may have run messages (an elevation prompt): look the window up again.
    if (ShellExecuteExW(&launch) && main_window()) DestroyWindow(handle);  // ends the program
}

}  // namespace spadrim
