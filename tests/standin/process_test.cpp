// The host executable run as a real process over a file-backed stand-in.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "record.h"
#include "registry_standin.h"

extern char** environ;

namespace {

struct run_result {
    std::string out;
    int exit_status;
};

// Starts the tool with exactly these argv strings (argv[0] included) and
// the registry file in its environment.
run_result run_tool(std::vector<std::string> args, std::string const& registry_file)
{
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    std::string registry_variable = "REGISTRY_STANDIN_FILE=" + registry_file;
    std::vector<char*> envp = {registry_variable.data(), nullptr};

    int pipe_ends[2];
    EXPECT_EQ(pipe(pipe_ends), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipe_ends[0]);
    pid_t pid = 0;
    int const spawned = posix_spawn(&pid, TOOL_EXE, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_ends[1]);
    EXPECT_EQ(spawned, 0);

    run_result result{std::string(), -1};
    char buffer[4096];
    for (ssize_t n = read(pipe_ends[0], buffer, sizeof buffer); n > 0; n = read(pipe_ends[0], buffer, sizeof buffer)) {
        result.out.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipe_ends[0]);
    int wait_status = 0;
    EXPECT_EQ(waitpid(pid, &wait_status, 0), pid);
    EXPECT_TRUE(WIFEXITED(wait_status)) << "wait status " << wait_status;
    result.exit_status = WEXITSTATUS(wait_status);
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

    run_result run(std::vector<std::string> args)
    {
        standin::save(registry_file_);
        run_result result = run_tool(std::move(args), registry_file_);
        standin::load(registry_file_);
        return result;
    }

    std::string registry_file_;
};

struct echo_case {
    char const* name;
    std::vector<std::string> args;
    std::string out;
};

void PrintTo(echo_case const& c, std::ostream* os)
{
    *os << c.name;
}

class ToolEcho : public ToolProcess, public testing::WithParamInterface<echo_case> {};

TEST_P(ToolEcho, WritesEachArgumentOnItsOwnLineThenRemoves)
{
    record::install();
    run_result const result = run(GetParam().args);
    EXPECT_EQ(result.out, GetParam().out);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(standin::snapshot(HKEY_LOCAL_MACHINE), std::vector<std::string>(
        {"SOFTWARE", "SOFTWARE\\Quorvane", "SOFTWARE\\Quorvane\\Pallisor",
         "SOFTWARE\\Quorvane\\Pallisor\\Installed Games", record::vastrel}));
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ToolEcho,
    testing::Values(
        echo_case{"ProgramNameOnly", {"remove_install_keys"}, "remove_install_keys\n"},
        echo_case{"ProgramNameAsInvoked", {"C:\\Uninstall\\rik.exe"}, "C:\\Uninstall\\rik.exe\n"},
        echo_case{"LetterBlankAndEmpty", {"prog", "a", "two words", ""}, "prog\na\ntwo words\n\n"},
        echo_case{"EmptyProgramName", {""}, "\n"},
        echo_case{"PercentConversionsStayLiteral", {"prog", "%s", "%d%n", "100%", "%%"}, "prog\n%s\n%d%n\n100%\n%%\n"},
        echo_case{"RegistryLookingArguments", {"prog", record::game_key, "HKLM\\SOFTWARE"},
                  "prog\n" + record::game_key + "\nHKLM\\SOFTWARE\n"}),
    [](testing::TestParamInfo<echo_case> const& case_info) { return std::string(case_info.param.name); });

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
