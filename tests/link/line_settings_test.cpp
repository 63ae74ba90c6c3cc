#include <optional>

#include "link_fixture.h"

namespace vq::test {
namespace {

using LineSettingsTest = LinkTest;

TEST_F(LineSettingsTest, AssignsTheSelectedOptionOnlyWhenItIsLookedAt) {
    struct Case {
        int selected;
        int lastOption;
        std::optional<std::string> assigned;
    };
    const std::vector<Case> cases = {
        {0, 1, "9600,n,8,1"}, {1, 1, "38400,n,8,1"}, {2, 1, std::nullopt},
        {0, 2, "9600,n,8,1"}, {1, 2, "38400,n,8,1"}, {2, 2, "57600,n,8,1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "option " << c.selected << ", last " << c.lastOption);
        port.setSettings("1200,e,7,2");
        port.settingsAssigned.clear();
        window.baudOption = c.selected;

        link.ApplyLineSettings(c.lastOption);

        if (c.assigned) {
            EXPECT_EQ(port.settingsAssigned, std::vector<std::string>{*c.assigned});
        } else {
            EXPECT_TRUE(port.settingsAssigned.empty());
            EXPECT_EQ(port.settings(), "1200,e,7,2");
        }
    }
}

// Options looked at per operation: 0..1 for the text-mode connects and the line test, 0..2
// for the flash-mode connect and identification; the port opens with what was assigned.
TEST_F(LineSettingsTest, EachOperationOpensThePortWithTheSettingsItLooksAt) {
    struct Case {
        const char* name;
        std::int16_t (*run)(Link&);
        int lastOption;
    };
    const std::vector<Case> operations = {
        {"connect 0", [](Link& l) { return l.ConnectTarget(0); }, 1},
        {"connect 1", [](Link& l) { return l.ConnectTarget(1); }, 1},
        {"connect 2", [](Link& l) { return l.ConnectTarget(2); }, 2},
        {"identify", [](Link& l) { return l.IdentifyTarget(); }, 2},
        {"line test", [](Link& l) { return l.TestPortLine(); }, 1},
    };
    window.pinNumber = "12";
    for (const auto& op : operations) {
        for (int selected = 0; selected <= 2; ++selected) {
            SCOPED_TRACE(testing::Message() << op.name << ", option " << selected);
            port.setSettings("38400,n,8,1");  // as left by an earlier operation
            port.openedWith.clear();
            window.baudOption = selected;

            op.run(link);

            ASSERT_EQ(port.openedWith.size(), 1u);
            const std::string expected =
                selected <= op.lastOption ? LineSettingsString(selected) : "38400,n,8,1";
            EXPECT_EQ(port.openedWith[0].settings, expected);
        }
    }
}

}  // namespace
}  // namespace vq::test
