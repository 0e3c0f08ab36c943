#include "install_keys.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "record.h"
#include "registry_standin.h"

namespace {

TEST(ContentKeyPath, IsTheOnlineContentKeyOneSeparatorAndTheIdentifier)
{
    EXPECT_EQ(content_key_path(), record::content_key);
    EXPECT_EQ(content_key_path(), std::string(online_content_key_path) + "\\" + content_identifier);
    EXPECT_EQ(std::string(online_content_key_path), record::online_content_key);
    EXPECT_EQ(std::string(game_key_path), record::game_key);
    EXPECT_EQ(std::string(content_identifier), "Kestry_velloc_eu");
}

struct removal_case {
    char const* name;
    std::function<void()> seed;
    std::vector<std::string> removed;
    removal_status status;
};

void PrintTo(removal_case const& c, std::ostream* os)
{
    *os << c.name;
}

class RemoveInstallKeys : public testing::TestWithParam<removal_case> {
protected:
    void SetUp() override { standin::reset(); }
};

TEST_P(RemoveInstallKeys, DeletesInnermostFirstAndReturnsTheGameKeyStatus)
{
    removal_case const& c = GetParam();
    c.seed();
    std::vector<std::string> const local_machine_before = standin::snapshot(HKEY_LOCAL_MACHINE);
    std::vector<std::string> const current_user_before = standin::snapshot(HKEY_CURRENT_USER);

    removal_status const status = remove_install_keys();

    std::vector<standin::registry_call> const& calls = standin::calls();
    ASSERT_EQ(calls.size(), 3U);
    EXPECT_EQ(calls[0].path, record::content_key);
    EXPECT_EQ(calls[1].path, record::online_content_key);
    EXPECT_EQ(calls[2].path, record::game_key);
    for (standin::registry_call const& call : calls) {
        EXPECT_EQ(call.root, HKEY_LOCAL_MACHINE) << call.path;
    }
    EXPECT_EQ(status, calls[2].status);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(standin::snapshot(HKEY_LOCAL_MACHINE), record::without_keys(local_machine_before, c.removed));
    EXPECT_EQ(standin::snapshot(HKEY_CURRENT_USER), current_user_before);
}

INSTANTIATE_TEST_SUITE_P(
    RegistryStates, RemoveInstallKeys,
    testing::Values(
        removal_case{"WholeRecordWithValues", [] { record::install(); }, record::whole_record, 0},
        removal_case{"ContentKeyMissing",
                     [] {
                         standin::set_value(HKEY_LOCAL_MACHINE, record::game_key, "InstallDir", "C:\\Games");
                         standin::add_key(HKEY_LOCAL_MACHINE, record::online_content_key);
                     },
                     {record::online_content_key, record::game_key}, 0},
        removal_case{"NothingThere", [] {}, {}, 2},
        removal_case{"OnlyTheBranchAbove", [] { standin::add_key(HKEY_LOCAL_MACHINE, record::vastrel); }, {}, 2},
        removal_case{"SiblingContentKey",
                     [] {
                         record::install();
                         standin::set_value(HKEY_LOCAL_MACHINE, record::online_content_key + "\\Kestry_velloc_us",
                                            "Name", "Velloc");
                     },
                     {record::content_key}, 5},
        removal_case{"OtherSubkeyUnderTheGameKey",
                     [] {
                         record::install();
                         standin::add_key(HKEY_LOCAL_MACHINE, record::game_key + "\\patches");
                     },
                     {record::content_key, record::online_content_key}, 5},
        removal_case{"ContentKeyHoldsASubkey",
                     [] {
                         record::install();
                         standin::add_key(HKEY_LOCAL_MACHINE, record::content_key + "\\cache");
                     },
                     {}, 5},
        removal_case{"NeighboursStay",
                     [] {
                         record::install();
                         record::install_neighbours();
                     },
                     record::whole_record, 0},
        removal_case{"OtherLetterCase",
                     [] {
                         standin::add_key(HKEY_LOCAL_MACHINE,
                                          record::join({"software", "QUORVANE", "pallisor", "installed games",
                                                        "Vastrel", "KESTRY-2007", "Online_Content",
                                                        "kestry_VELLOC_EU"}));
                     },
                     record::whole_record, 0},
        removal_case{"RecordOnlyUnderAnotherRoot",
                     [] { standin::add_key(HKEY_CURRENT_USER, record::content_key); }, {}, 2}),
    [](testing::TestParamInfo<removal_case> const& case_info) { return std::string(case_info.param.name); });

}  // namespace
