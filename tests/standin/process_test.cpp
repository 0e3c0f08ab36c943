// The host executable run as a real process over a file-backed stand-in.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "record.h"
#include "registry_standin.h"

namespace {

enum class output_mode {
    read_all,             // a pipe read to the end
    closed,               // no standard output at all
    full,                 // /dev/full: every write fails with ENOSPC
    reader_leaves_early,  // a pipe whose reader takes one chunk and goes
};

struct run_result {
    std::string out;
    int exit_status;
};

// Starts the tool with exactly these argv strings (argv[0] included) and
// the registry file in its environment.
run_result run_tool(std::vector<std::string> args, std::string const& registry_file, output_mode mode)
{
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    std::string registry_variable = "REGISTRY_STANDIN_FILE=" + registry_file;
    std::vector<char*> envp = {registry_variable.data(), nullptr};

    int pipe_ends[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    switch (mode) {
    case output_mode::read_all:
    case output_mode::reader_leaves_early:
        EXPECT_EQ(pipe2(pipe_ends, O_CLOEXEC), 0);
        posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
        break;
    case output_mode::closed: posix_spawn_file_actions_addclose(&actions, STDOUT_FILENO); break;
    case output_mode::full: posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/full", O_WRONLY, 0); break;
    }
    pid_t pid = 0;
    int const spawned = posix_spawn(&pid, TOOL_EXE, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(spawned, 0);

    run_result result{std::string(), -1};
    if (pipe_ends[0] >= 0) {
        close(pipe_ends[1]);
        char buffer[4096];
        for (ssize_t n = read(pipe_ends[0], buffer, sizeof buffer); n > 0;
             n = read(pipe_ends[0], buffer, sizeof buffer)) {
            result.out.append(buffer, static_cast<std::size_t>(n));
            if (mode == output_mode::reader_leaves_early) {
                break;
            }
        }
        close(pipe_ends[0]);
    }
    int wait_status = 0;
    EXPECT_EQ(waitpid(pid, &wait_status, 0), pid);
    EXPECT_TRUE(WIFEXITED(wait_status)) << "ended by signal " << (WIFSIGNALED(wait_status) ? WTERMSIG(wait_status) : 0);
    result.exit_status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
    return result;
}

class ToolProcess : public testing::Test {
protected:
    void SetUp() override
    {
        standin::reset();
        registry_file_ = testing::TempDir() + "tool_process_" + std::to_string(getpid()) + ".reg";
    }
    void TearDown() override { std::remove(registry_file_.c_str()); }

    run_result run(std::vector<std::string> args, output_mode mode = output_mode::read_all)
    {
        standin::save(registry_file_);
        run_result result = run_tool(std::move(args), registry_file_, mode);
        standin::load(registry_file_);
        return result;
    }

    // Runs the tool over the record and its neighbours and checks that the
    // record, and only the record, went, whatever the command line held.
    run_result run_over_record(std::vector<std::string> args, output_mode mode = output_mode::read_all)
    {
        record::install();
        record::install_neighbours();
        std::vector<std::string> const machine_before = standin::snapshot(HKEY_LOCAL_MACHINE);
        std::vector<std::string> const user_before = standin::snapshot(HKEY_CURRENT_USER);

        run_result result = run(std::move(args), mode);

        EXPECT_EQ(result.exit_status, 0);
        EXPECT_EQ(standin::snapshot(HKEY_LOCAL_MACHINE), record::without_keys(machine_before, record::whole_record));
        EXPECT_EQ(standin::snapshot(HKEY_CURRENT_USER), user_before);
        return result;
    }

    std::string registry_file_;
};

std::string lines_of(std::vector<std::string> const& args)
{
    std::string out;
    for (std::string const& arg : args) {
        out += arg + "\n";
    }
    return out;
}

struct echo_case {
    char const* name;
    std::vector<std::string> args;
};

void PrintTo(echo_case const& c, std::ostream* os)
{
    *os << c.name;
}

std::vector<std::string> many_arguments()
{
    std::vector<std::string> args = {"prog"};
    for (int i = 0; i < 20000; ++i) {
        args.push_back("arg" + std::to_string(i));
    }
    return args;
}

// Ten arguments of 120 KiB each: more than a Linux pipe can ever buffer.
std::vector<std::string> long_arguments()
{
    std::vector<std::string> args = {"prog"};
    for (char c = 'a'; c < 'k'; ++c) {
        args.emplace_back(120 * 1024, c);
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

class ToolEcho : public ToolProcess, public testing::WithParamInterface<echo_case> {};

TEST_P(ToolEcho, WritesEachArgumentLiterallyAndRemovesOnlyTheRecord)
{
    run_result const result = run_over_record(GetParam().args);
    std::string const expected = lines_of(GetParam().args);
    if (expected.size() < 4096) {
        EXPECT_EQ(result.out, expected);
    } else {
        EXPECT_TRUE(result.out == expected) << result.out.size() << " bytes written, " << expected.size() << " expected";
    }
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ToolEcho,
    testing::Values(
        echo_case{"ProgramNameOnly", {"remove_install_keys"}},
        echo_case{"ProgramNameAsInvoked", {"C:\\Uninstall\\rik.exe"}},
        echo_case{"LetterBlankAndEmpty", {"prog", "a", "two words", ""}},
        echo_case{"EmptyProgramName", {""}},
        echo_case{"PercentSequences", {"prog", "%s", "%d%n", "%n", "%s%s%s", "%x%x%x%x", "%99999999d", "%*s", "100%", "%%"}},
        echo_case{"HighBytes", {"prog", high_bytes(), "\xC3\xA9t\xC3\xA9", "\xFF"}},
        echo_case{"RegistryLookingArguments",
                  {"prog", record::game_key, "HKLM\\" + record::content_key, record::vastrel + "\\Kestry-2005",
                   "SOFTWARE", "\\", "online_content", "Kestry_velloc_us"}},
        echo_case{"ManyArguments", many_arguments()},
        echo_case{"LongArguments", long_arguments()}),
    [](testing::TestParamInfo<echo_case> const& case_info) { return std::string(case_info.param.name); });

struct output_fault_case {
    char const* name;
    output_mode mode;
};

void PrintTo(output_fault_case const& c, std::ostream* os)
{
    *os << c.name;
}

class ToolOutputFault : public ToolProcess, public testing::WithParamInterface<output_fault_case> {};

// The echo is large enough that writes fail while it is still going.
TEST_P(ToolOutputFault, RemovalStillRunsAndTheStatusIsUnchanged)
{
    run_over_record(long_arguments(), GetParam().mode);
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, ToolOutputFault,
    testing::Values(output_fault_case{"Closed", output_mode::closed}, output_fault_case{"Full", output_mode::full},
                    output_fault_case{"ReaderLeavesEarly", output_mode::reader_leaves_early}),
    [](testing::TestParamInfo<output_fault_case> const& case_info) { return std::string(case_info.param.name); });

TEST_F(ToolProcess, ExitStatusIsTheGameKeyDeletionStatus)
{
    EXPECT_EQ(run({"prog"}).exit_status, 2) << "empty registry";

    record::install();
    standin::add_key(HKEY_LOCAL_MACHINE, record::online_content_key + "\\Kestry_velloc_us");
    EXPECT_EQ(run({"prog"}).exit_status, 5) << "sibling content key";
    EXPECT_FALSE(standin::key_exists(HKEY_LOCAL_MACHINE, record::content_key));
    EXPECT_TRUE(standin::key_exists(HKEY_LOCAL_MACHINE, record::online_content_key + "\\Kestry_velloc_us"));
    EXPECT_TRUE(standin::key_exists(HKEY_LOCAL_MACHINE, record::game_key));
}

}  // namespace
