#include "HousekeepingTestSupport.h"

#include "shell/GroupMembers.h"

#include <gtest/gtest.h>

using namespace halcyra;

namespace {

using Names = std::vector<std::string>;

class GroupMembersTest : public test::HousekeepingTest {
protected:
    // Value name = text pairs of a key whose names begin with "Name" or "name".
    std::vector<std::pair<std::string, std::string>> memberValues(const TSettings& settings) {
        Names names;
        settings.GetValueNames({}, names);
        std::vector<std::pair<std::string, std::string>> values;
        for (const std::string& name : names)
            if (name.size() >= 4 && (name.substr(0, 4) == "Name" || name.substr(0, 4) == "name"))
                values.emplace_back(name, settings.ReadStringDef(name, "?"));
        return values;
    }
};

TEST_F(GroupMembersTest, NewGroupOffersOrdinaryProfilesButNeverGroupsOrUntypedKeys) {
    addProfile("B", 1);
    addProfile("a", 1);
    addProfile("G", 2);
    addProfile("X", 5);
    addProfile("Wrapped", 258); // low eight bits: 2
    addProfile("Zero", 0);
    TSettings(key("Untyped")).WriteString("Source", "/srv");
    EXPECT_EQ(availableGroupMembers(root, {}), (Names{"a", "B", "X"}));
    EXPECT_EQ(availableGroupMembers(root, {"A", "x"}), (Names{"B"}));
}

TEST_F(GroupMembersTest, SavingRenumbersMembersInNameOrderAndKeepsOtherValues) {
    TSettings group(key("G"));
    group.WriteString("Name0", "B");
    group.WriteString("Name3", "A");
    group.WriteString("Names", "Z");
    group.WriteString("name1", "lower case is no member");
    group.WriteString("Name7", ""); // an empty member is no member
    group.WriteString("LastResult", "Changes");

    const Names members = loadGroupMembers(group);
    EXPECT_EQ(members, (Names{"A", "B", "Z"}));
    EXPECT_TRUE(saveGroupMembers(root, group, members));
    EXPECT_EQ(memberValues(group),
              (std::vector<std::pair<std::string, std::string>>{
                  {"name1", "lower case is no member"}, {"Name0", "A"}, {"Name2", "B"}, {"Name3", "Z"}}));
    EXPECT_EQ(group.ReadStringDef("ProfileType", ""), "2");
    EXPECT_EQ(group.ReadStringDef("LastResult", ""), "Changes");
}

TEST_F(GroupMembersTest, GroupSavedWithoutMembersLosesItsKeyAndNothingElse) {
    addProfile("A", 1);
    TSettings group(key("G"));
    group.WriteString("Name0", "A");
    EXPECT_FALSE(saveGroupMembers(root, group, {}));
    EXPECT_FALSE(exists("G"));
    EXPECT_TRUE(exists("A"));
}

TEST_F(GroupMembersTest, EmptyGroupNeverDeletesTheRootOrAnotherProfile) {
    addProfile("B", 1);
    TSettings unnamed(root.Key() + "\\");
    EXPECT_FALSE(saveGroupMembers(root, unnamed, {}));
    TSettings rootItself(root.Key());
    EXPECT_FALSE(saveGroupMembers(root, rootItself, {}));
    TSettings colon(key("x:B")); // the key name's last part after ':' must not be taken for "B"
    colon.WriteInteger("ProfileType", 2);
    EXPECT_FALSE(saveGroupMembers(root, colon, {}));
    EXPECT_FALSE(exists("x:B"));
    EXPECT_TRUE(exists("B"));
    EXPECT_TRUE(TSettings(SettingsRootKey).SubKeyExists("B"));
}

} // namespace
