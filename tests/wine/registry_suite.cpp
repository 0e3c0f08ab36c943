// Drives the real remove_install_keys.exe on a real registry: each case
// seeds HKEY_LOCAL_MACHINE, runs the exe once, and checks its exit code, its
// standard output, and the whole of HKEY_LOCAL_MACHINE in both views.
//
// A Windows program, so the same suite runs under Wine or on Windows.
// Usage: registry_suite.exe PATH_TO_EXE [CASE...]   (no CASE: all of them)
#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "registry_harness.h"

namespace {

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
    hklm_state const before = take_hklm_state(wow64);

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
    expect_only_removed(before, c.removed);

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

}  // namespace

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: registry_suite PATH_TO_EXE [CASE...]\n");
        return 2;
    }
    std::string const exe = windows_path(argv[1]);
    bool const wow64 = running_under_wow64();
    std::printf("registry suite on %s, tool %s\n", wow64 ? "64-bit Windows (WOW64)" : "32-bit Windows", exe.c_str());

    std::vector<suite_case> cases;
    std::vector<removal_case> removals = removal_cases();
    for (removal_case& c : command_line_cases()) {
        removals.push_back(std::move(c));
    }
    for (removal_case const& c : removals) {
        cases.push_back({c.name, [&exe, &c, wow64] { run_removal_case(exe, c, wow64); }, c.needs_wow64});
    }
    cases.push_back({"echo_at_windows_boundary", [&exe] { run_echo_case(exe); }});
    return run_suite(cases, std::vector<std::string>(argv + 2, argv + argc), wow64);
}
