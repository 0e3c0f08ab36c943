// Drives the real remove_install_keys.exe on a real registry: each case
// seeds HKEY_LOCAL_MACHINE, runs the exe once, and checks its exit code, its
// standard output, and the whole of HKEY_LOCAL_MACHINE in both views.
//
// A Windows program, so the same suite runs under Wine or on Windows.
// Usage: registry_suite.exe PATH_TO_EXE [CASE...]   (no CASE: all of them)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

std::wstring const software = L"SOFTWARE";
std::wstring const vendor = software + L"\\Quorvane";
std::wstring const vastrel = vendor + L"\\Pallisor\\Installed Games\\vastrel";
std::wstring const game_key = vastrel + L"\\Kestry-2007";
std::wstring const online_content_key = game_key + L"\\online_content";
std::wstring const content_key = online_content_key + L"\\Kestry_velloc_eu";

// The two registry views a 32-bit program can name; on 32-bit Windows both
// are the one registry.
REGSAM const view32 = KEY_WOW64_32KEY;
REGSAM const view64 = KEY_WOW64_64KEY;

std::string narrow(std::wstring const& text)
{
    int const size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

// Failures are collected per case and printed by the runner.
std::vector<std::string>& failures()
{
    static std::vector<std::string> list;
    return list;
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

struct run_result {
    DWORD exit_code;
    std::string out;
};

enum class output_mode {
    read_all,             // a pipe read to the end
    closed,               // no standard output handle at all
    reader_leaves_early,  // a small pipe whose reader takes one chunk and goes
};

run_result run_tool(std::string const& exe, std::vector<std::string> const& args,
                    output_mode mode = output_mode::read_all)
{
    std::string command_line = quote_argument(exe);
    for (std::string const& arg : args) {
        command_line += " " + quote_argument(arg);
    }

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

// --- the cases

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

// The record as the 32-bit installer writes it, values in every key.
void install_record(REGSAM view)
{
    set_value(view, game_key, L"InstallDir", L"C:\\Games\\Kestry 2007");
    set_value(view, game_key, L"Version", L"1.0.3");
    set_value(view, online_content_key, L"Count", L"1");
    set_value(view, content_key, L"Name", L"Velloc");
    set_value(view, content_key, L"Region", L"eu");
}

// The record, a sibling game beside it and values in the keys above it.
void install_record_and_neighbours()
{
    install_record(view32);
    set_value(view32, vastrel + L"\\Kestry-2005", L"InstallDir", L"C:\\Games\\Kestry 2005");
    set_value(view32, vastrel + L"\\Kestry-2005\\online_content\\Kestry_velloc_eu", L"Name", L"Velloc");
    set_value(view32, vastrel, L"Publisher", L"Quorvane");
    set_value(view32, vendor + L"\\Pallisor", L"Path", L"C:\\Pallisor");
}

std::vector<std::string> const arguments = {"/uninstall", "two words", "", "%s%n"};

struct removal_case {
    char const* name;
    std::function<void()> seed;
    std::vector<std::wstring> removed;  // 32-bit view paths
    DWORD exit_code;
    bool needs_wow64 = false;
    std::vector<std::string> args = arguments;
    output_mode mode = output_mode::read_all;
};

std::vector<std::wstring> const whole_record = {content_key, online_content_key, game_key};

std::vector<removal_case> removal_cases()
{
    return {
        {"whole_record_with_values", [] { install_record(view32); }, whole_record, 0, false},
        {"content_key_missing",
         [] {
             set_value(view32, game_key, L"InstallDir", L"C:\\Games");
             set_value(view32, online_content_key, L"Count", L"0");
         },
         {online_content_key, game_key}, 0, false},
        {"nothing_present", [] {}, {}, ERROR_FILE_NOT_FOUND, false},
        {"sibling_content_key",
         [] {
             install_record(view32);
             set_value(view32, online_content_key + L"\\Kestry_velloc_us", L"Name", L"Velloc");
         },
         {content_key}, ERROR_ACCESS_DENIED, false},
        {"other_subkey_under_game_key",
         [] {
             install_record(view32);
             set_value(view32, game_key + L"\\patches", L"Level", L"2");
         },
         {content_key, online_content_key}, ERROR_ACCESS_DENIED, false},
        {"sibling_game_and_keys_above_stay", install_record_and_neighbours, whole_record, 0, false},
        {"record_in_other_letter_case",
         [] {
             set_value(view32, L"SOFTWARE\\QUORVANE\\pallisor\\INSTALLED GAMES\\Vastrel\\KESTRY-2007", L"V", L"1");
             add_key(view32, L"software\\quorvane\\Pallisor\\installed games\\VASTREL\\kestry-2007\\ONLINE_CONTENT\\"
                             L"kestry_VELLOC_EU");
         },
         whole_record, 0, false},
        {"same_record_in_64bit_view_stays",
         [] {
             install_record(view32);
             install_record(view64);
         },
         whole_record, 0, true},
    };
}

// Near the 32767-character limit of a Windows command line.
std::vector<std::string> long_arguments()
{
    std::vector<std::string> args;
    for (char c = 'a'; c < 'h'; ++c) {
        args.emplace_back(4500, c);
    }
    return args;
}

std::vector<std::string> many_arguments()
{
    std::vector<std::string> args;
    for (int i = 0; i < 3000; ++i) {
        args.push_back("a" + std::to_string(i));
    }
    return args;
}

std::string high_bytes()
{
    std::string bytes;
    for (int b = 0x80; b <= 0xFF; ++b) {
        bytes += static_cast<char>(b);
    }
    return bytes;
}

// Whatever the command line holds, or wherever the output goes, the record
// and only the record is removed.
std::vector<removal_case> command_line_cases()
{
    auto const input_case = [](char const* name, std::vector<std::string> args,
                               output_mode mode = output_mode::read_all) {
        return removal_case{name, install_record_and_neighbours, whole_record, 0, false, std::move(args), mode};
    };
    return {
        input_case("percent_sequences", {"%n", "%s%s%s", "%x%x%x%x", "%99999999d", "%*s", "100%", "%%"}),
        input_case("high_bytes", {high_bytes()}),
        input_case("registry_looking_arguments",
                   {narrow(L"HKLM\\" + game_key), narrow(content_key), narrow(vastrel + L"\\Kestry-2005"), "SOFTWARE",
                    "\\", "/reg:64"}),
        input_case("many_arguments", many_arguments()),
        input_case("long_arguments", long_arguments()),
        input_case("output_closed", long_arguments(), output_mode::closed),
        input_case("output_reader_leaves_early", long_arguments(), output_mode::reader_leaves_early),
    };
}

void run_removal_case(std::string const& exe, removal_case const& c, bool wow64)
{
    delete_tree(view32, vendor);
    delete_tree(view64, vendor);
    c.seed();
    std::vector<bool> existed;
    for (std::wstring const& key : whole_record) {
        existed.push_back(key_exists(view32, key));
    }
    // On 32-bit Windows the two views are one registry: one walk covers it.
    std::vector<std::wstring> const before32 = snapshot(view32);
    std::vector<std::wstring> const before64 = wow64 ? snapshot(view64) : std::vector<std::wstring>();

    run_result const result = run_tool(exe, c.args, c.mode);

    if (result.exit_code != c.exit_code) {
        fail("exit code " + std::to_string(result.exit_code) + ", expected " + std::to_string(c.exit_code));
    }
    std::string const echo = expected_echo(exe, c.args);
    if (c.mode == output_mode::read_all && result.out != echo) {
        fail(result.out.size() < 2000 ? "standard output was [" + result.out + "]"
                                      : "standard output differs: " + std::to_string(result.out.size()) +
                                            " bytes, " + std::to_string(echo.size()) + " expected");
    }
    if (c.mode == output_mode::reader_leaves_early && echo.compare(0, result.out.size(), result.out) != 0) {
        fail("standard output does not begin with the echo");
    }
    for (std::size_t i = 0; i < whole_record.size(); ++i) {
        std::wstring const& key = whole_record[i];
        bool const expect_gone = std::find(c.removed.begin(), c.removed.end(), key) != c.removed.end();
        bool const there = key_exists(view32, key);
        if (expect_gone && there) {
            fail(narrow(key) + " still there");
        } else if (!expect_gone && existed[i] && !there) {
            fail(narrow(key) + " was removed");
        }
    }
    expect_same_tree(snapshot(view32), without_keys(before32, c.removed), "32-bit");
    if (wow64) {
        std::vector<std::wstring> removed64;
        for (std::wstring const& key : c.removed) {
            removed64.push_back(in_64bit_tree(key));
        }
        expect_same_tree(snapshot(view64), without_keys(before64, removed64), "64-bit");
    }

    delete_tree(view32, vendor);
    delete_tree(view64, vendor);
}

// The echo as bytes at the Windows boundary: each argument and CR LF.
void run_echo_case(std::string const& exe)
{
    std::vector<std::string> const args = {"a", "two words", "", "%s", "100%", "C:\\Program Files\\", "say \"hi\""};
    run_result const result = run_tool(exe, args);
    std::string const expected = expected_echo(exe, args);
    if (result.out != expected) {
        fail("standard output was [" + result.out + "], expected [" + expected + "]");
    }
    if (result.exit_code != ERROR_FILE_NOT_FOUND) {
        fail("exit code " + std::to_string(result.exit_code) + " with no record present");
    }
}

std::string windows_path(std::string path)
{
    if (!path.empty() && path.front() == '/') {
        std::replace(path.begin(), path.end(), '/', '\\');
        path = "Z:" + path;
    }
    return path;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: registry_suite PATH_TO_EXE [CASE...]\n");
        return 2;
    }
    std::string const exe = windows_path(argv[1]);
    std::vector<std::string> const chosen(argv + 2, argv + argc);
    auto const wanted = [&chosen](char const* name) {
        return chosen.empty() || std::find(chosen.begin(), chosen.end(), name) != chosen.end();
    };
    bool const wow64 = running_under_wow64();
    char const* const prefix_name = wow64 ? "64-bit Windows (WOW64)" : "32-bit Windows";
    std::printf("registry suite on %s, tool %s\n", prefix_name, exe.c_str());

    int passed = 0;
    int failed = 0;
    int skipped = 0;
    DWORD case_start = GetTickCount();
    auto const report = [&](char const* name) {
        DWORD const elapsed = GetTickCount() - case_start;
        if (failures().empty()) {
            ++passed;
            std::printf("[ PASS ] %s (%lu ms)\n", name, elapsed);
        } else {
            ++failed;
            std::printf("[ FAIL ] %s (%lu ms)\n", name, elapsed);
            for (std::string const& failure : failures()) {
                std::printf("         %s\n", failure.c_str());
            }
        }
        failures().clear();
        std::fflush(stdout);
        case_start = GetTickCount();
    };

    std::vector<removal_case> cases = removal_cases();
    for (removal_case& c : command_line_cases()) {
        cases.push_back(std::move(c));
    }
    for (std::string const& name : chosen) {
        bool const is_case = name == "echo_at_windows_boundary" ||
                             std::any_of(cases.begin(), cases.end(),
                                         [&name](removal_case const& c) { return name == c.name; });
        if (!is_case) {
            std::fprintf(stderr, "no case named %s\n", name.c_str());
            return 2;
        }
    }
    for (removal_case const& c : cases) {
        if (!wanted(c.name)) {
            continue;
        }
        if (c.needs_wow64 && !wow64) {
            ++skipped;
            std::printf("[ SKIP ] %s (one registry view on 32-bit Windows)\n", c.name);
            case_start = GetTickCount();
            continue;
        }
        run_removal_case(exe, c, wow64);
        report(c.name);
    }
    if (wanted("echo_at_windows_boundary")) {
        run_echo_case(exe);
        report("echo_at_windows_boundary");
    }

    std::printf("%d passed, %d failed, %d skipped\n", passed, failed, skipped);
    // A run in which no case ran proves nothing.
    return failed == 0 && passed > 0 ? 0 : 1;
}
