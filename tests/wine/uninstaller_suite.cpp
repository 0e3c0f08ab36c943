// The tool where it lives: the example NSIS installer writes the game's
// record and ships the tool, and its uninstaller runs the tool and acts on
// its exit status. Each case installs silently, shapes the record, runs the
// uninstaller silently and waiting, then checks the uninstaller's exit
// status, the tool's status as the uninstaller read it (from its /LOG file),
// and the whole of HKEY_LOCAL_MACHINE in both views, before and after.
//
// Usage: uninstaller_suite.exe SETUP_EXE VERSION [CASE...]
#include <cstdio>
#include <string>
#include <vector>

#include "registry_harness.h"

namespace {

std::wstring const uninstall_entry = software + L"\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kestry-2007";

std::string read_value(REGSAM view, std::wstring const& path, wchar_t const* name)
{
    wchar_t data[1024] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), name, RRF_RT_REG_SZ | view, nullptr, data, &size) !=
        ERROR_SUCCESS) {
        return std::string();
    }
    return narrow(data);
}

bool file_exists(std::string const& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Whatever an earlier case left: the record, the uninstall entry, the folder.
void clean_slate()
{
    for (REGSAM const view : {view32, view64}) {
        delete_tree(view, vendor);
        delete_tree(view, uninstall_entry);
    }
    std::string const folder = read_value(view32, uninstall_entry, L"InstallLocation");
    if (!folder.empty()) {
        for (char const* name : {"remove_install_keys.exe", "kestry.txt", "uninstall.exe"}) {
            DeleteFileA((folder + "\\" + name).c_str());
        }
        RemoveDirectoryA(folder.c_str());
    }
}

// What a case does between the installer and the uninstaller.
enum class before_uninstall {
    nothing,
    add_saved_games,    // one more subkey under the game key
    remove_record_by_hand,
};

struct uninstall_case {
    char const* name;
    before_uninstall change;
    DWORD tool_status;                   // as the uninstaller read it
    DWORD uninstaller_status;
    std::vector<std::wstring> removed;  // by the uninstall, 32-bit view paths
};

std::vector<uninstall_case> uninstall_cases()
{
    std::vector<std::wstring> const record_and_entry = {content_key, online_content_key, game_key, uninstall_entry};
    return {
        {"whole_record_removed", before_uninstall::nothing, 0, 0, record_and_entry},
        {"saved_games_under_game_key", before_uninstall::add_saved_games, ERROR_ACCESS_DENIED, 2,
         {content_key, online_content_key}},
        {"record_already_gone", before_uninstall::remove_record_by_hand, ERROR_FILE_NOT_FOUND, 0, {uninstall_entry}},
    };
}

void install(std::string const& setup, std::string const& version)
{
    std::string const log = temp_file("kestry_install.log");
    run_result const installed = run_process(setup, "\"" + setup + "\" /S /LOG=" + log);
    if (installed.exit_code != 0) {
        fail("installer exit status " + std::to_string(installed.exit_code));
    }
    for (std::wstring const& key : whole_record) {
        if (!key_exists(view32, key)) {
            fail("installer did not write " + narrow(key));
        }
    }
    // The version resource, as GetDLLVersion read it.
    std::string const version_line = "Installed remove_install_keys.exe version " + version + "\r\n";
    std::string const said = read_file(log);
    if (said.find(version_line) == std::string::npos) {
        fail("installer log lacks [" + version_line + "]: [" + said + "]");
    }
}

void run_uninstall_case(std::string const& setup, std::string const& version, uninstall_case const& c, bool wow64)
{
    clean_slate();
    install(setup, version);
    std::string const folder = read_value(view32, uninstall_entry, L"InstallLocation");
    if (folder.find(' ') == std::string::npos) {
        fail("install folder [" + folder + "] holds no blank");
    }
    if (c.change == before_uninstall::add_saved_games) {
        set_value(view32, game_key + L"\\saved_games", L"Slot1", L"Chapter 3");
    } else if (c.change == before_uninstall::remove_record_by_hand) {
        delete_tree(view32, game_key);
    }
    hklm_state const before = take_hklm_state(wow64);

    // As an uninstall launcher runs it, but waiting for it (_?= must come last).
    std::string const uninstaller = folder + "\\uninstall.exe";
    std::string const log = temp_file("kestry_uninstall.log");
    run_result const result =
        run_process(uninstaller, "\"" + uninstaller + "\" /S /LOG=" + log + " _?=" + folder);

    if (result.exit_code != c.uninstaller_status) {
        fail("uninstaller exit status " + std::to_string(result.exit_code) + ", expected " +
             std::to_string(c.uninstaller_status));
    }
    std::string const said = read_file(log);
    std::string const status_line = "remove_install_keys exit status " + std::to_string(c.tool_status) + ":";
    if (said.find(status_line) == std::string::npos) {
        fail("uninstaller log lacks [" + status_line + "]: [" + said + "]");
    }
    bool const tool_kept = file_exists(folder + "\\remove_install_keys.exe");
    if (tool_kept != (c.uninstaller_status != 0)) {
        fail(tool_kept ? "the tool was left behind" : "the tool was removed although the record stays");
    }
    expect_only_removed(before, c.removed);
    clean_slate();
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: uninstaller_suite SETUP_EXE VERSION [CASE...]\n");
        return 2;
    }
    std::string const setup = windows_path(argv[1]);
    std::string const version = argv[2];
    bool const wow64 = running_under_wow64();
    std::printf("uninstaller suite on %s, installer %s\n", wow64 ? "64-bit Windows (WOW64)" : "32-bit Windows",
                setup.c_str());

    std::vector<uninstall_case> const uninstalls = uninstall_cases();
    std::vector<suite_case> cases;
    for (uninstall_case const& c : uninstalls) {
        cases.push_back({c.name, [&, wow64] { run_uninstall_case(setup, version, c, wow64); }});
    }
    return run_suite(cases, std::vector<std::string>(argv + 3, argv + argc), wow64);
}
