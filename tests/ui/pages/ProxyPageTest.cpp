#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>

#include <gtest/gtest.h>

#include "PageRig.h"
#include "ui/pages/ProxyPage.h"

namespace orvex::test {
namespace {

class ProxyPageTest : public ::testing::Test {
protected:
    PageRig rig;
    CProxyPage page{rig.context};
    QLineEdit* Field(const char* name) { return Child<QLineEdit>(&page, name); }
    QRadioButton* Logon(int type) {
        return Child<QRadioButton>(&page, ("LogonType" + std::to_string(type)).c_str());
    }
    QCheckBox* UseProxy() { return Child<QCheckBox>(&page, "UseProxy"); }
    QLabel* Label(const char* text) {
        for (QLabel* label : page.findChildren<QLabel*>()) {
            if (label->text() == text) {
                return label;
            }
        }
        ADD_FAILURE() << "no label " << text;
        return nullptr;
    }
};

TEST_F(ProxyPageTest, AnsweringNoToTheWarningLeavesTheProxyOffAndThePageUnmodified) {
    page.OnSetActive();
    rig.host.QueueAnswer(MsgAnswer::No);

    UseProxy()->click();

    ASSERT_EQ(rig.host.Events().size(), 1u);
    const MessageBoxRequest box = rig.host.Events()[0].box;
    EXPECT_EQ(box.caption, "Important");
    EXPECT_EQ(box.buttons, MsgButtons::YesNo);
    EXPECT_EQ(box.icon, MsgIcon::Warning);
    EXPECT_EQ(box.defaultButton, 2);
    EXPECT_EQ(box.text,
              "WARNING: If you are not familiar with Proxy Servers or Firewalls please leave this "
              "box unchecked. Incorrect settings may cause Orvex to not function properly. Are "
              "you sure you want to enable this feature?");
    EXPECT_EQ(rig.state.Settings().UseProxy, 0);
    EXPECT_FALSE(UseProxy()->isChecked());
    EXPECT_FALSE(page.IsModified());
    EXPECT_FALSE(Field("ProxyAddress")->isEnabled());
}

TEST_F(ProxyPageTest, LogonTypesStoreTheirIndexAndNoneDisablesTheFirewallLogon) {
    page.OnSetActive();
    rig.host.QueueAnswer(MsgAnswer::Yes);
    UseProxy()->click();
    EXPECT_EQ(rig.state.Settings().UseProxy, 1);
    EXPECT_TRUE(page.IsModified());
    EXPECT_TRUE(Field("ProxyAddress")->isEnabled());
    EXPECT_TRUE(Logon(0)->isChecked());
    for (const char* name : {"ProxyUser", "ProxyAccount", "ProxyPass"}) {
        EXPECT_FALSE(Field(name)->isEnabled()) << name;
    }
    // Their labels follow the proxy box alone.
    EXPECT_TRUE(Label("User ID:")->isEnabled());

    Logon(6)->click();
    EXPECT_EQ(rig.state.Settings().LogonType, 6);
    EXPECT_EQ(Logon(6)->text(), "USER FireID@Remotehost");
    for (const char* name : {"ProxyUser", "ProxyAccount", "ProxyPass"}) {
        EXPECT_TRUE(Field(name)->isEnabled()) << name;
    }

    Logon(0)->click();
    EXPECT_EQ(rig.state.Settings().LogonType, 0);
    for (const char* name : {"ProxyUser", "ProxyAccount", "ProxyPass"}) {
        EXPECT_FALSE(Field(name)->isEnabled()) << name;
    }

    // Clearing the box asks nothing and disables all but the port labels.
    UseProxy()->click();
    EXPECT_EQ(rig.state.Settings().UseProxy, 0);
    EXPECT_EQ(rig.host.Events().size(), 1u);
    EXPECT_FALSE(Logon(3)->isEnabled());
    EXPECT_FALSE(Child<QCheckBox>(&page, "ProxyPassive")->isEnabled());
    EXPECT_FALSE(Label("Proxy/Firewall Host:")->isEnabled());
    EXPECT_TRUE(Label("HTTP proxy port:")->isEnabled());
    EXPECT_TRUE(Label("FTP    proxy port:")->isEnabled());
}

TEST_F(ProxyPageTest, PortsAreStoredAsTheyAreTyped) {
    rig.state.EditSettings([](AppSettings& s) { s.UseProxy = 1; });
    page.OnSetActive();

    Retype(Field("FTPProxyPort"), "2121x");
    EXPECT_EQ(rig.state.Settings().FTPProxyPort, 2121);
    Retype(Field("FTPProxyPort"), "abc");
    EXPECT_EQ(rig.state.Settings().FTPProxyPort, 0);
    Retype(Field("HTTPProxyPort"), " 8080 ");
    EXPECT_EQ(rig.state.Settings().HTTPProxyPort, " 8080 ");
    EXPECT_TRUE(page.IsModified());
}

TEST_F(ProxyPageTest, TextFieldsAreTrimmedAndStoredOnFocusLoss) {
    rig.state.EditSettings([](AppSettings& s) {
        s.UseProxy = 1;
        s.LogonType = 2;
    });
    page.OnSetActive();
    Retype(Field("ProxyAddress"), "  fw.local  ");
    Retype(Field("ProxyPass"), " pw ");
    EXPECT_EQ(rig.state.Settings().ProxyAddress, "");
    LeaveField(Field("ProxyAddress"));
    LeaveField(Field("ProxyPass"));
    EXPECT_EQ(rig.state.Settings().ProxyAddress, "fw.local");
    EXPECT_EQ(Text(Field("ProxyAddress")), "fw.local");
    EXPECT_EQ(rig.state.Settings().ProxyPass, "pw");

    // Activation reloads from the settings, which may have changed elsewhere.
    rig.state.EditSettings([](AppSettings& s) {
        s.ProxyAddress = "other";
        s.ProxyPassive = 0;
        s.LogonType = 12;
    });
    page.OnSetActive();
    EXPECT_EQ(Text(Field("ProxyAddress")), "other");
    EXPECT_FALSE(Child<QCheckBox>(&page, "ProxyPassive")->isChecked());
    for (int type = 0; type < 9; ++type) {
        EXPECT_FALSE(Logon(type)->isChecked()) << type;
    }
}

}  // namespace
}  // namespace orvex::test
