// The stand-in answers as the real registry does (as measured under Wine).
#include "registry_standin.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct deletion_case {
    char const* path;
    std::int32_t status;
    std::vector<std::string> left;
};

class StandinDeletion : public testing::TestWithParam<deletion_case> {};

// Seeded with A\B\C, where C holds a value, and A\D.
TEST_P(StandinDeletion, AnswersAsTheRegistryDoes)
{
    standin::reset();
    standin::set_value(HKEY_LOCAL_MACHINE, "A\\B\\C", "name", "data");
    standin::add_key(HKEY_LOCAL_MACHINE, "A\\D");

    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, GetParam().path), GetParam().status);
    EXPECT_EQ(standin::snapshot(HKEY_LOCAL_MACHINE), GetParam().left);
}

std::vector<std::string> const untouched = {"A", "A\\B", "A\\B\\C", "A\\B\\C\tname=data", "A\\D"};

INSTANTIATE_TEST_SUITE_P(
    Paths, StandinDeletion,
    testing::Values(deletion_case{"A\\B\\C", 0, {"A", "A\\B", "A\\D"}},
                    deletion_case{"a\\b\\c", 0, {"A", "A\\B", "A\\D"}},
                    deletion_case{"A\\B\\C\\", 0, {"A", "A\\B", "A\\D"}},
                    deletion_case{"A\\B\\C\\\\", 0, {"A", "A\\B", "A\\D"}},
                    deletion_case{"A\\D", 0, {"A", "A\\B", "A\\B\\C", "A\\B\\C\tname=data"}},
                    deletion_case{"A\\B", 5, untouched},
                    deletion_case{"A", 5, untouched},
                    deletion_case{"", 5, untouched},
                    deletion_case{"A\\X", 2, untouched},
                    deletion_case{"A\\X\\C", 2, untouched},
                    deletion_case{"A\\B\\C\\E", 2, untouched},
                    deletion_case{"A\\\\B\\C", 2, untouched},
                    deletion_case{"\\A\\B\\C", 161, untouched},
                    deletion_case{nullptr, 87, untouched}));

TEST(Standin, RootsAreSeparateAndUnknownRootsAreRefused)
{
    standin::reset();
    standin::add_key(HKEY_CURRENT_USER, "A");
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "A"), 2);
    EXPECT_TRUE(standin::key_exists(HKEY_CURRENT_USER, "a"));
    EXPECT_EQ(RegDeleteKeyA(static_cast<HKEY>(99), "A"), 6);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "A"), 0);
    EXPECT_FALSE(standin::key_exists(HKEY_CURRENT_USER, "A"));
}

TEST(Standin, KeepsTheFirstSpellingOfAName)
{
    standin::reset();
    standin::add_key(HKEY_LOCAL_MACHINE, "Games\\Kestry");
    standin::set_value(HKEY_LOCAL_MACHINE, "GAMES\\kestry", "Dir", "C:\\");
    EXPECT_EQ(standin::snapshot(HKEY_LOCAL_MACHINE),
              (std::vector<std::string>{"Games", "Games\\Kestry", "Games\\Kestry\tDir=C:\\"}));
}

TEST(Standin, FileBackedRegistrySurvivesARoundTrip)
{
    standin::reset();
    standin::set_value(HKEY_LOCAL_MACHINE, "A\\B", "Dir", "C:\\Games\\With Blank");
    standin::add_key(HKEY_CURRENT_USER, "U\\V");
    std::vector<std::string> const machine = standin::snapshot(HKEY_LOCAL_MACHINE);
    std::vector<std::string> const user = standin::snapshot(HKEY_CURRENT_USER);
    std::string const file = testing::TempDir() + "standin_round_trip.reg";

    standin::save(file);
    standin::reset();
    standin::load(file);
    std::remove(file.c_str());

    EXPECT_EQ(standin::snapshot(HKEY_LOCAL_MACHINE), machine);
    EXPECT_EQ(standin::snapshot(HKEY_CURRENT_USER), user);
}

}  // namespace
