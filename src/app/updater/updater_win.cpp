#include "app/updater/updater.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>
#include <softpub.h>
#include <wintrust.h>
#include <winver.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "app/messages_win.h"
#include "app/window_win.h"
#include "config.h"
#include "dupes/sha256.h"
#include "scan/paths.h"
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
    std::string manifest_version;
    UniqueHandle lock;  // keeps the verified file from being changed until it has been started
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

std::string download_failed() {
    return std::string(tr("내려받지 못했습니다", "Download failed"));
}

// The working folder, opened and held: without delete sharing, so that while a download is fetched,
// checked and started, nobody can rename the folder away or put a junction in its place.
struct WorkingFolder {
    UniqueHandle handle;
    std::string path;  // as the opened folder names itself, ending in a backslash
    std::string failure;
};

// The path an open file or folder has now, in the short form where it fits (ShellExecuteExW and curl
// take that best), else in the long form.
std::optional<std::string> path_of_handle(HANDLE handle) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return std::nullopt;
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(length);
    }
    std::string exact = from_wide_exact(path);
    const std::string shorter = display_path(exact);
    return shorter.size() < MAX_PATH - 20 ? shorter : exact;
}

// Only the user, SYSTEM and administrators may write it, and nothing is inherited from %TEMP%.
struct OwnerOnly {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    OwnerOnly() {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
        const UniqueHandle held(token);
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::vector<unsigned char> buffer(size);
        wchar_t* sid = nullptr;
        if (size == 0 || !GetTokenInformation(token, TokenUser, buffer.data(), size, &size) ||
            !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid))
            return;
        const std::wstring sddl =
            L"D:P(A;OICI;FA;;;" + std::wstring(sid) + L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
        LocalFree(sid);
        ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                             nullptr);
    }
    OwnerOnly(const OwnerOnly&) = delete;
    OwnerOnly& operator=(const OwnerOnly&) = delete;
    ~OwnerOnly() { LocalFree(descriptor); }
};

// %TEMP%\Spadrim\, owner-only (made so, or made so again when an earlier version left it with the
// permissions of %TEMP%), and refused when what stands there is a link or a junction (judged from the
// opened folder itself, not from its name) or a folder the user may not set the permissions of.
WorkingFolder open_working_folder() {
    const DWORD size = GetTempPathW(0, nullptr);
    std::wstring folder(size, L'\0');
    const DWORD length = size == 0 ? 0 : GetTempPathW(size, folder.data());
    // No temporary folder: a relative path would put the files in whatever the current folder is.
    if (length == 0 || length >= size)
        return {UniqueHandle(INVALID_HANDLE_VALUE), {}, system_error_text(GetLastError())};
    folder.resize(length);
    folder += L"Spadrim";
    const OwnerOnly owner_only;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, owner_only.descriptor, FALSE};
    const bool made = CreateDirectoryW(folder.c_str(), owner_only.descriptor ? &attributes : nullptr);
    if (!made && GetLastError() != ERROR_ALREADY_EXISTS)
        return {UniqueHandle(INVALID_HANDLE_VALUE), {}, system_error_text(GetLastError())};
    WorkingFolder opened{
        UniqueHandle(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL | WRITE_DAC,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)),
        {},
        {}};
    BY_HANDLE_FILE_INFORMATION info;
    if (opened.handle.get() == INVALID_HANDLE_VALUE ||
        !GetFileInformationByHandle(opened.handle.get(), &info)) {
        opened.failure = system_error_text(GetLastError());
        return opened;
    }
    const std::optional<std::string> path = path_of_handle(opened.handle.get());
    if (!usable_working_folder(info.dwFileAttributes) || !path) {
        opened.failure = download_failed();
        return opened;
    }
    PACL dacl = nullptr;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    if (!made && owner_only.descriptor &&
        GetSecurityDescriptorDacl(owner_only.descriptor, &present, &dacl, &defaulted) && present) {
        SetSecurityInfo(opened.handle.get(), SE_FILE_OBJECT,
                        DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                        dacl,
                        nullptr);  // best effort: the held handle is what keeps the folder in place
    }
    opened.path = *path + "\\";
    return opened;
}

// Runs %SystemRoot%\System32\curl.exe and nothing else: no other curl on the path is ever trusted. curl
// runs in a job that ends it when Spadrim ends, and is ended when it overruns its own time limit.
// Nothing when it succeeded, else the failure's text.
std::optional<std::string> fetch_to_file(const std::string& url, const std::string& file,
                                         std::uint64_t max_bytes) {
    const unsigned seconds = transfer_seconds(environment_variable("SPADRIM_TRANSFER_SECONDS"));
    std::vector<std::string> arguments = curl_arguments(url, file, max_bytes, seconds);
    arguments.insert(arguments.begin(), curl_program(environment_variable("SystemRoot").value_or("")));
    const std::wstring program = to_wide(arguments.front());
    std::wstring line = to_wide(command_line(arguments));
    const UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
    if (job.get()) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr, nullptr, &startup, &process)) {
        return system_error_text(GetLastError());
    }
    const UniqueHandle thread(process.hThread);
    const UniqueHandle child(process.hProcess);
    if (job.get()) AssignProcessToJobObject(job.get(), child.get());  // without a job the wait still ends it
    ResumeThread(thread.get());
    const DWORD waited = WaitForSingleObject(child.get(), curl_wait_milliseconds(seconds));
    if (waited == WAIT_TIMEOUT) {
        TerminateProcess(child.get(), 1);
        WaitForSingleObject(child.get(), 5000);
        return download_failed();
    }
    DWORD exit_code = 0;
    if (waited == WAIT_FAILED || !GetExitCodeProcess(child.get(), &exit_code))
        return system_error_text(GetLastError());
    if (exit_code != 0) return download_failed();
    return std::nullopt;
}

// A downloaded file, opened so that others may read it but neither change, rename nor delete it: what
// is checked is what is started. Refused when it is a link, or not a plain file.
struct HeldFile {
    UniqueHandle handle;
    std::uint64_t size = 0;
    std::optional<std::string> failure;
};

HeldFile hold_file(const std::string& path) {
    HeldFile held{
        UniqueHandle(CreateFileW(to_wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr)),
        0,
        {}};
    BY_HANDLE_FILE_INFORMATION info;
    if (held.handle.get() == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(held.handle.get(), &info)) {
        held.failure = system_error_text(GetLastError());
        return held;
    }
    if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) {
        held.failure = download_failed();
        return held;
    }
    held.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return held;
}

// Reads the held file from its start into `consume`, a chunk at a time; the failure's text, if any.
template <typename Consume>
std::optional<std::string> read_held(const HeldFile& file, Consume&& consume) {
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(file.handle.get(), start, nullptr, FILE_BEGIN))
        return system_error_text(GetLastError());
    std::vector<char> buffer(1 << 20);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.handle.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
            return system_error_text(GetLastError());
        if (got == 0) return std::nullopt;
        consume(buffer.data(), got);
    }
}

// One check at a time: a second would fetch into the same file. A manual request made meanwhile is
// answered by the running check.
std::atomic<bool> check_running{false};
std::atomic<bool> manual_wanted{false};

void check_for_update(HWND window) {
    CheckOutcome outcome;
    const WorkingFolder folder = open_working_folder();
    const std::string file = folder.path + "update.json";
    if (!folder.failure.empty()) {
        outcome.message = folder.failure;
    } else if (std::optional<std::string> failure = fetch_to_file(
                   manifest_address(MAKER_SITE, VERSION, language_code()), file, MANIFEST_CEILING)) {
        outcome.message = std::move(*failure);
    } else {
        HeldFile held = hold_file(file);
        std::string text;
        std::optional<std::string> unread = held.failure;
        if (!unread && held.size <= MANIFEST_CEILING) {
            unread = read_held(held, [&](const char* data, DWORD got) { text.append(data, got); });
        }
        held.handle.reset();
        if (unread) {
            outcome.message = std::move(*unread);
        } else {
            DeleteFileW(to_wide(file).c_str());
            // Text that is not UTF-8, or more than a manifest can be, is not a manifest.
            outcome = judge_manifest(held.size <= MANIFEST_CEILING ? text : std::string(), VERSION);
        }
    }
    check_running = false;  // before reading the flag: a request after this starts a check of its own
    update_mailbox().put(CheckReport{std::move(outcome), manual_wanted.exchange(false)});
    PostMessageW(window, MSG_UPDATE_CHECKED, 0, 0);
}

// Whether the system trusts the file's Authenticode signature, and whose it is.
InstallerCheck check_signature(const std::string& path, HANDLE handle) {
    const std::wstring wide = to_wide(path);
    WINTRUST_FILE_INFO file{};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = wide.c_str();
    file.hFile = handle;  // the very file that was hashed, not whatever the name leads to now
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

// The installer's own version block, as the system reads it from the file; nothing when it has none. Read
// by name while the file is held, so the name still leads to the bytes that were checked.
std::optional<VersionBlock> version_block(const std::string& path) {
    const std::wstring wide = to_wide(path);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(wide.c_str(), &ignored);
    if (size == 0) return std::nullopt;
    std::vector<unsigned char> data(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(wide.c_str(), 0, size, data.data()) ||
        !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed ||
        length < sizeof *fixed || fixed->dwSignature != VS_FFI_SIGNATURE) {
        return std::nullopt;
    }
    const auto number = [](DWORD high, DWORD low) {
        return VersionNumber{HIWORD(high), LOWORD(high), HIWORD(low), LOWORD(low)};
    };
    return VersionBlock{number(fixed->dwProductVersionMS, fixed->dwProductVersionLS),
                        number(fixed->dwFileVersionMS, fixed->dwFileVersionLS)};
}

DownloadOutcome verified_download(const UpdateManifest& manifest) {
    WorkingFolder folder = open_working_folder();
    if (!folder.failure.empty()) return {{}, {}, {}, folder.failure};
    const std::string path = folder.path + installer_file_name(manifest.version);
    const std::uint64_t ceiling = installer_ceiling(manifest);
    if (std::optional<std::string> failure = fetch_to_file(manifest.url, path, ceiling))
        return {{}, {}, {}, *failure};
    HeldFile held = hold_file(path);
    InstallerCheck check = InstallerCheck::Passed;
    if (held.failure) {
        if (held.handle.get() == INVALID_HANDLE_VALUE) return {{}, {}, {}, *held.failure};
        check = InstallerCheck::Unsigned;  // a link or a folder where the file should be
    } else if (held.size > ceiling) {
        check = InstallerCheck::SizeMismatch;  // refused by its size alone, never read
    } else {
        Sha256 hash;
        std::uint64_t read = 0;
        if (std::optional<std::string> failure = read_held(held, [&](const char* data, DWORD got) {
                hash.update(data, got);
                read += got;
            })) {
            return {{}, {}, {}, *failure};
        }
        const std::optional<Digest> digest = hash.finish();
        check = digest ? check_installer_bytes(read, digest_hex(*digest), manifest)
                       : InstallerCheck::HashMismatch;
        if (check == InstallerCheck::Passed) check = check_signature(path, held.handle.get());
        if (check == InstallerCheck::Passed)
            check = check_installer_version(version_block(path), manifest.version, VERSION);
    }
    if (check != InstallerCheck::Passed) {
        held.handle.reset();
        DeleteFileW(to_wide(path).c_str());
        return {{}, {}, {}, std::string(installer_check_text(check))};
    }
    return {path, manifest.version, std::move(held.handle), {}};
}

// Whether path leads to the file that is open as held (the same volume and file index).
bool same_file(const std::string& path, HANDLE held) {
    const UniqueHandle other(CreateFileW(to_wide(path).c_str(), FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION a;
    BY_HANDLE_FILE_INFORMATION b;
    return other.get() != INVALID_HANDLE_VALUE && GetFileInformationByHandle(other.get(), &a) &&
           GetFileInformationByHandle(held, &b) && a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
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
    if (manual && updating) {  // the question is up, or the download runs: this check would find it again
        notify(window, std::string(tr("업데이트가 이미 진행 중입니다", "An update is already in progress")));
        return;
    }
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
    // Started through the path the held file has now, and only if that path still leads to it.
    const std::optional<std::string> now = path_of_handle(outcome->lock.get());
    if (!now || !same_file(*now, outcome->lock.get())) {
        notify(window, std::string(installer_check_text(InstallerCheck::Unsigned)));
        return;
    }
    const std::wstring file = to_wide(*now);
    const std::wstring parameters = to_wide(INSTALLER_ARGUMENTS);
    const HWND handle = window.handle;
    SHELLEXECUTEINFOW launch{};
    launch.cbSize = sizeof launch;
    launch.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    launch.hwnd = handle;
    launch.lpFile = file.c_str();
    launch.lpParameters = parameters.c_str();
    launch.nShow = SW_SHOWNORMAL;
    const bool started = ShellExecuteExW(&launch);
    DWORD error = started ? ERROR_SUCCESS : GetLastError();
    // The launch may have run messages (an elevation prompt): look the window up again.
    Window* current = main_window();
    if (!current) return;
    if (started) {
        DestroyWindow(handle);  // ends the program
        return;
    }
    // An antivirus that blocks the installer, say: the user must learn that nothing was installed. The
    // shell's own code stands in when the system's is missing; its small ones are the system's codes.
    const auto shell_code = static_cast<DWORD>(reinterpret_cast<INT_PTR>(launch.hInstApp));
    if (error == ERROR_SUCCESS) error = shell_code > 0 && shell_code <= 32 ? shell_code : ERROR_ACCESS_DENIED;
    std::string reason = system_error_text(error);
    const std::string name = installer_file_name(outcome->manifest_version);
    for (std::size_t at = reason.find("%1"); at != std::string::npos;
         at = reason.find("%1", at + name.size()))
        reason.replace(at, 2, name);  // "%1 is not a valid Win32 application."
    notify(*current,
           substitute(tr("설치 프로그램을 시작하지 못했습니다: {0}", "Could not start the installer: {0}"),
                      {reason}));
}

}  // namespace spadrim
