// The entry point called in-process with argument counts no Linux kernel
// hands a process: zero and below.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "record.h"
#include "registry_standin.h"

int tool_main(int argc, char* argv[], char* envp[]);

namespace {

// Runs the entry point with standard output sent to a temporary file.
std::string echo_of(int argc, char* argv[], int& result)
{
    std::FILE* const capture = std::tmpfile();
    EXPECT_NE(capture, nullptr);
    std::fflush(stdout);
    int const saved_stdout = dup(STDOUT_FILENO);
    dup2(fileno(capture), STDOUT_FILENO);

    char* envp[] = {nullptr};
    result = tool_main(argc, argv, envp);

    std::fflush(stdout);
    dup2(saved_stdout, STDOUT_FILENO);
    close(saved_stdout);
    std::string written;
    std::rewind(capture);
    for (int c = std::fgetc(capture); c != EOF; c = std::fgetc(capture)) {
        written += static_cast<char>(c);
    }
    std::fclose(capture);
    return written;
}

class EntryWithoutArguments : public testing::TestWithParam<int> {};

TEST_P(EntryWithoutArguments, WritesNothingAndStillRemovesTheRecord)
{
    standin::reset();
    record::install();
    char program[] = "never echoed";
    char* argv[] = {program, nullptr};

    int result = -1;
    EXPECT_EQ(echo_of(GetParam(), GetParam() == 0 ? argv + 1 : argv, result), "");

    EXPECT_EQ(standin::calls().size(), 3U);
    EXPECT_FALSE(standin::key_exists(HKEY_LOCAL_MACHINE, record::game_key));
    EXPECT_EQ(result, 0);
}

INSTANTIATE_TEST_SUITE_P(ArgumentCounts, EntryWithoutArguments, testing::Values(0, -1, -2147483647 - 1));

TEST(Entry, ReturnsTheGameKeyStatusUnchanged)
{
    standin::reset();
    record::install();
    standin::add_key(HKEY_LOCAL_MACHINE, record::game_key + "\\patches");
    char program[] = "remove_install_keys";
    char* argv[] = {program, nullptr};

    int result = -1;
    EXPECT_EQ(echo_of(1, argv, result), "remove_install_keys\n");
    EXPECT_EQ(result, 5);
    EXPECT_EQ(result, standin::calls().back().status);
}

}  // namespace
