// What the Windows suites share: the record's paths, registry set-up and
// inspection through the platform's own API, starting programs, and a
// small case runner. Windows programs, so they run under Wine or on Windows.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// The game's record, 32-bit view paths relative to HKEY_LOCAL_MACHINE.
extern std::wstring const software;
extern std::wstring const vendor;
extern std::wstring const vastrel;
extern std::wstring const game_key;
extern std::wstring const online_content_key;
extern std::wstring const content_key;
extern std::vector<std::wstring> const whole_record;  // innermost first

// The two registry views a 32-bit program can name; on 32-bit Windows both
// are the one registry.
extern REGSAM const view32;
extern REGSAM const view64;

std::string narrow(std::wstring const& text);

// Records a failure of the running case.
void fail(std::string const& what);
void require_success(LONG status, std::string const& what);

void set_value(REGSAM view, std::wstring const& path, std::wstring const& name, std::wstring const& data);
void add_key(REGSAM view, std::wstring const& path);
void delete_tree(REGSAM view, std::wstring const& path);
bool key_exists(REGSAM view, std::wstring const& path);

// A snapshot (sorted "path" lines for keys, "path<TAB>..." for values) with the given keys, and their values, taken out.
std::vector<std::wstring> without_keys(std::vector<std::wstring> lines, std::vector<std::wstring> const& keys);
void expect_same_tree(std::vector<std::wstring> const& actual, std::vector<std::wstring> const& expected,
                      std::string const& view_name);

// The whole of HKEY_LOCAL_MACHINE, in both views under WOW64: on Wine as
// one save of the whole tree, which holds both views (quick: one request),
// elsewhere as a walk of each view.
struct hklm_state {
    std::vector<std::wstring> view32;  // or the whole saved tree
    std::vector<std::wstring> view64;
    bool wow64;
    bool saved;
};
hklm_state take_hklm_state(bool wow64);
// Fails unless HKEY_LOCAL_MACHINE is what it was, less exactly these keys
// (32-bit view paths) and their values, in either view.
void expect_only_removed(hklm_state const& before, std::vector<std::wstring> const& removed);

struct run_result {
    DWORD exit_code;
    std::string out;
};

enum class output_mode {
    read_all,             // a pipe read to the end
    closed,               // no standard output handle at all
    reader_leaves_early,  // a small pipe whose reader takes one chunk and goes
};

// Starts exe with each argument quoted so the C runtime splits it back
// unchanged, and waits for it.
run_result run_tool(std::string const& exe, std::vector<std::string> const& args,
                    output_mode mode = output_mode::read_all);
// The same with a command line as it stands.
run_result run_process(std::string const& exe, std::string const& command_line,
                       output_mode mode = output_mode::read_all);
std::string expected_echo(std::string const& exe, std::vector<std::string> const& args);

// A path in the temporary folder, with no file there yet.
std::string temp_file(char const* name);
// The file's bytes; empty where it cannot be read.
std::string read_file(std::string const& path);

bool running_under_wow64();
// Where a 32-bit view path shows in the 64-bit view's own tree under WOW64.
std::wstring in_64bit_tree(std::wstring const& path);
// A Unix path as Wine shows it (Z:), anything else unchanged.
std::string windows_path(std::string path);

struct suite_case {
    std::string name;
    std::function<void()> run;
    bool needs_wow64 = false;
};
// Runs the chosen cases (all where none is chosen) and prints a line for
// each; 0 when all passed and at least one ran.
int run_suite(std::vector<suite_case> const& cases, std::vector<std::string> const& chosen, bool wow64);
