#include "registry_harness.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <set>

std::wstring const software = L"SOFTWARE";
std::wstring const vendor = software + L"\\Quorvane";
std::wstring const vastrel = vendor + L"\\Pallisor\\Installed Games\\vastrel";
std::wstring const game_key = vastrel + L"\\Kestry-2007";
std::wstring const online_content_key = game_key + L"\\online_content";
std::wstring const content_key = online_content_key + L"\\Kestry_velloc_eu";
std::vector<std::wstring> const whole_record = {content_key, online_content_key, game_key};

REGSAM const view32 = KEY_WOW64_32KEY;
REGSAM const view64 = KEY_WOW64_64KEY;

namespace {

// Failures are collected per case and printed by run_suite.
std::vector<std::string>& failures()
{
    static std::vector<std::string> list;
    return list;
}

}  // namespace

std::string narrow(std::wstring const& text)
{
    int const size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

void fail(std::string const& what)
{
    failures().push_back(what);
}

void require_success(LONG status, std::string const& what)
{
    if (status != ERROR_SUCCESS) {
        fail(what + ": status " + std::to_string(status));
    }
}

// --- registry set-up and inspection, through the platform's own API

void set_value(REGSAM view, std::wstring const& path, std::wstring const& name, std::wstring const& data)
{
    HKEY key = nullptr;
    require_success(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                                    &key, nullptr),
                    "create " + narrow(path));
    if (key == nullptr) {
        return;
    }
    if (!name.empty()) {
        auto const* bytes = reinterpret_cast<BYTE const*>(data.c_str());
        require_success(RegSetValueExW(key, name.c_str(), 0, REG_SZ, bytes,
                                       static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))),
                        "set value in " + narrow(path));
    }
    RegCloseKey(key);
}

void add_key(REGSAM view, std::wstring const& path)
{
    set_value(view, path, L"", L"");
}

void delete_tree(REGSAM view, std::wstring const& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) {
        return;
    }
    RegDeleteTreeW(key, nullptr);
    RegCloseKey(key);
    require_success(RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), view, 0), "clear " + narrow(path));
}

bool key_exists(REGSAM view, std::wstring const& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

namespace {

std::wstring hex(BYTE const* bytes, DWORD size)
{
    static wchar_t const digits[] = L"0123456789abcdef";
    std::wstring out;
    for (DWORD i = 0; i < size; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0xF];
    }
    return out;
}

// Every key of the subtree as a "path" line and every value as
// "path<TAB>name<TAB>type<TAB>hex data". Subkeys are opened relative to
// their parent, which keeps a walk of the whole tree quick.
void collect(HKEY key, REGSAM view, std::wstring const& path, std::vector<std::wstring>& lines)
{
    DWORD subkey_count = 0;
    DWORD longest_subkey = 0;
    DWORD value_count = 0;
    DWORD longest_name = 0;
    DWORD longest_data = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkey_count, &longest_subkey, nullptr, &value_count,
                     &longest_name, &longest_data, nullptr, nullptr);

    std::vector<wchar_t> name(std::max(longest_name, longest_subkey) + 2);
    std::vector<BYTE> data(longest_data + 2);
    for (DWORD index = 0; index < value_count; ++index) {
        DWORD name_size = static_cast<DWORD>(name.size());
        DWORD data_size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueW(key, index, name.data(), &name_size, nullptr, &type, data.data(), &data_size) ==
            ERROR_SUCCESS) {
            lines.push_back(path + L"\t" + std::wstring(name.data(), name_size) + L"\t" + std::to_wstring(type) +
                            L"\t" + hex(data.data(), data_size));
        }
    }
    for (DWORD index = 0; index < subkey_count; ++index) {
        DWORD name_size = static_cast<DWORD>(name.size());
        if (RegEnumKeyExW(key, index, name.data(), &name_size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            continue;
        }
        std::wstring const subkey_name(name.data(), name_size);
        std::wstring const subkey_path = path.empty() ? subkey_name : path + L"\\" + subkey_name;
        lines.push_back(subkey_path);
        HKEY subkey = nullptr;
        LONG const opened = RegOpenKeyExW(key, subkey_name.c_str(), 0, KEY_READ | view, &subkey);
        if (opened != ERROR_SUCCESS) {
            lines.push_back(subkey_path + L"\t<unreadable " + std::to_wstring(opened) + L">");
            continue;
        }
        collect(subkey, view, subkey_path, lines);
        RegCloseKey(subkey);
    }
}

// Every key of HKEY_LOCAL_MACHINE in one view as a "path" line and every
// value as "path<TAB>name<TAB>type<TAB>hex data", sorted.
std::vector<std::wstring> snapshot(REGSAM view)
{
    std::vector<std::wstring> lines;
    HKEY root = nullptr;
    require_success(RegOpenKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_READ | view, &root), "open HKLM");
    if (root != nullptr) {
        collect(root, view, L"", lines);
        RegCloseKey(root);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

bool same_ignoring_case(std::wstring const& a, std::wstring const& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

}  // namespace

// A snapshot with the given keys, and their values, taken out.
std::vector<std::wstring> without_keys(std::vector<std::wstring> lines, std::vector<std::wstring> const& keys)
{
    auto const removed = [&keys](std::wstring const& line) {
        std::wstring const key_path = line.substr(0, line.find(L'\t'));
        return std::any_of(keys.begin(), keys.end(),
                           [&](std::wstring const& key) { return same_ignoring_case(key_path, key); });
    };
    lines.erase(std::remove_if(lines.begin(), lines.end(), removed), lines.end());
    return lines;
}

void expect_same_tree(std::vector<std::wstring> const& actual, std::vector<std::wstring> const& expected,
                      std::string const& view_name)
{
    std::vector<std::wstring> missing;
    std::vector<std::wstring> extra;
    std::set_difference(expected.begin(), expected.end(), actual.begin(), actual.end(), std::back_inserter(missing));
    std::set_difference(actual.begin(), actual.end(), expected.begin(), expected.end(), std::back_inserter(extra));
    for (std::wstring const& line : missing) {
        fail(view_name + " view lost: " + narrow(line));
    }
    for (std::wstring const& line : extra) {
        fail(view_name + " view kept or gained: " + narrow(line));
    }
}

// --- running the tool

namespace {

// Quotes one argument so the C runtime splits it back unchanged.
std::string quote_argument(std::string const& arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) {
        return arg;
    }
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char const c : arg) {
        if (c == '"') {
            // Backslashes before a quote are doubled, and the quote escaped.
            quoted.append(backslashes + 1, '\\');
            backslashes = 0;
        } else if (c == '\\') {
            ++backslashes;
        } else {
            backslashes = 0;
        }
        quoted += c;
    }
    quoted.append(backslashes, '\\');
    return quoted + "\"";
}

}  // namespace

run_result run_tool(std::string const& exe, std::vector<std::string> const& args, output_mode mode)
{
    std::string command_line = quote_argument(exe);
    for (std::string const& arg : args) {
        command_line += " " + quote_argument(arg);
    }
    return run_process(exe, command_line, mode);
}

run_result run_process(std::string const& exe, std::string const& command_line, output_mode mode)
{
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    if (mode != output_mode::closed) {
        CreatePipe(&read_end, &write_end, &inheritable, mode == output_mode::reader_leaves_early ? 512 : 0);
        SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    }

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write_end;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    std::vector<char> mutable_command(command_line.begin(), command_line.end());
    mutable_command.push_back('\0');
    BOOL const started = CreateProcessA(exe.c_str(), mutable_command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
    DWORD const start_error = GetLastError();
    if (write_end != nullptr) {
        CloseHandle(write_end);
    }

    run_result result{0xFFFFFFFF, std::string()};
    if (!started) {
        fail("CreateProcess failed: " + std::to_string(start_error));
        if (read_end != nullptr) {
            CloseHandle(read_end);
        }
        return result;
    }
    if (read_end != nullptr) {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0) {
            result.out.append(buffer, got);
            if (mode == output_mode::reader_leaves_early) {
                break;
            }
        }
        CloseHandle(read_end);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &result.exit_code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}

std::string expected_echo(std::string const& exe, std::vector<std::string> const& args)
{
    std::string out = exe + "\r\n";
    for (std::string const& arg : args) {
        out += arg + "\r\n";
    }
    return out;
}

bool running_under_wow64()
{
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    return wow64 != FALSE;
}

// Where a 32-bit view path shows in the 64-bit view's own tree under WOW64.
std::wstring in_64bit_tree(std::wstring const& path)
{
    return software + L"\\Wow6432Node" + path.substr(software.size());
}

std::string windows_path(std::string path)
{
    if (!path.empty() && path.front() == '/') {
        std::replace(path.begin(), path.end(), '/', '\\');
        path = "Z:" + path;
    }
    return path;
}


std::string temp_file(char const* name)
{
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    std::string const path = std::string(folder) + name;
    DeleteFileA(path.c_str());
    return path;
}

std::string read_file(std::string const& path)
{
    std::string text;
    if (std::FILE* const file = std::fopen(path.c_str(), "rb")) {
        char buffer[65536];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
            text.append(buffer, got);
        }
        std::fclose(file);
    }
    return text;
}

namespace {

// Wine saves a branch in one server request, as text: "[path] time" lines
// for keys, "#" lines for key metadata, value lines below, long values
// continued after a trailing backslash. Returns the keys and values as
// snapshot() does, with physical paths (WOW64's 32-bit view under
// Wow6432Node), or nothing where the registry is not Wine's (Windows saves
// a binary hive). Wine leaves volatile keys out of a save.
bool saved_tree(std::vector<std::wstring>& lines)
{
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) {
        TOKEN_PRIVILEGES backup{1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
        if (LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &backup.Privileges[0].Luid)) {
            AdjustTokenPrivileges(token, FALSE, &backup, 0, nullptr, nullptr);
        }
        CloseHandle(token);
    }
    std::string const file = temp_file("hklm_snapshot.reg");
    if (RegSaveKeyA(HKEY_LOCAL_MACHINE, file.c_str(), nullptr) != ERROR_SUCCESS) {
        return false;
    }
    std::string const text = read_file(file);
    DeleteFileA(file.c_str());
    if (text.compare(0, 23, "WINE REGISTRY Version 2") != 0) {
        return false;
    }

    std::wstring key;
    std::set<std::wstring> keys;
    std::string value;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!value.empty() || (!line.empty() && (line[0] == '"' || line[0] == '@'))) {
            value += line;
            if (!value.empty() && value.back() == '\\') {
                value.pop_back();
                continue;
            }
            lines.push_back(key + L"\t" + std::wstring(value.begin(), value.end()));
            value.clear();
        } else if (!line.empty() && line[0] == '[') {
            std::string path = line.substr(1, line.rfind(']') - 1);
            // Separators are written doubled.
            std::string single;
            for (std::size_t i = 0; i < path.size(); ++i) {
                single += path[i];
                if (path[i] == '\\' && i + 1 < path.size() && path[i + 1] == '\\') {
                    ++i;
                }
            }
            key.assign(single.begin(), single.end());
            keys.insert(key);
        }
    }
    // A key is written only where it has values or no subkeys: its
    // ancestors are there all the same.
    std::set<std::wstring> all_keys;
    for (std::wstring const& path : keys) {
        for (std::size_t cut = path.size(); cut != std::wstring::npos && cut > 0; cut = path.rfind(L'\\', cut - 1)) {
            if (!all_keys.insert(path.substr(0, cut)).second) {
                break;
            }
        }
    }
    lines.insert(lines.end(), all_keys.begin(), all_keys.end());
    std::sort(lines.begin(), lines.end());
    return true;
}

}  // namespace

hklm_state take_hklm_state(bool wow64)
{
    hklm_state state{{}, {}, wow64, false};
    state.saved = saved_tree(state.view32);
    if (!state.saved) {
        // On 32-bit Windows the two views are one registry: one walk covers it.
        state.view32 = snapshot(view32);
        if (wow64) {
            state.view64 = snapshot(view64);
        }
    }
    return state;
}

void expect_only_removed(hklm_state const& before, std::vector<std::wstring> const& removed)
{
    std::vector<std::wstring> removed64;
    for (std::wstring const& key : removed) {
        removed64.push_back(in_64bit_tree(key));
    }
    hklm_state const after = take_hklm_state(before.wow64);
    // A saved tree holds WOW64's 32-bit view where the 64-bit view sees it.
    bool const physical_paths = before.saved && before.wow64;
    expect_same_tree(after.view32, without_keys(before.view32, physical_paths ? removed64 : removed),
                     before.saved ? "saved HKLM" : "32-bit");
    if (!before.saved && before.wow64) {
        expect_same_tree(after.view64, without_keys(before.view64, removed64), "64-bit");
    }
}

int run_suite(std::vector<suite_case> const& cases, std::vector<std::string> const& chosen, bool wow64)
{
    for (std::string const& name : chosen) {
        if (std::none_of(cases.begin(), cases.end(), [&name](suite_case const& c) { return name == c.name; })) {
            std::fprintf(stderr, "no case named %s\n", name.c_str());
            return 2;
        }
    }
    int passed = 0;
    int failed = 0;
    int skipped = 0;
    for (suite_case const& c : cases) {
        if (!chosen.empty() && std::find(chosen.begin(), chosen.end(), c.name) == chosen.end()) {
            continue;
        }
        if (c.needs_wow64 && !wow64) {
            ++skipped;
            std::printf("[ SKIP ] %s (one registry view on 32-bit Windows)\n", c.name.c_str());
            continue;
        }
        DWORD const start = GetTickCount();
        c.run();
        DWORD const elapsed = GetTickCount() - start;
        if (failures().empty()) {
            ++passed;
            std::printf("[ PASS ] %s (%lu ms)\n", c.name.c_str(), elapsed);
        } else {
            ++failed;
            std::printf("[ FAIL ] %s (%lu ms)\n", c.name.c_str(), elapsed);
            for (std::string const& failure : failures()) {
                std::printf("         %s\n", failure.c_str());
            }
        }
        failures().clear();
        std::fflush(stdout);
    }
    std::printf("%d passed, %d failed, %d skipped\n", passed, failed, skipped);
    // A run in which no case ran proves nothing.
    return failed == 0 && passed > 0 ? 0 : 1;
}
