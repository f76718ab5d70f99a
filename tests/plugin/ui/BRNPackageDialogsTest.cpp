#include "ui/BRNDialogController.h"
#include "ui/BRNUtilsDialogs.h"
#include "TestSupport.h"
#include "ui/DialogDriver.h"
#include "ui/ScriptDialogFace.h"

namespace {

using testsupport::Field;
using testsupport::Untranslated;

class BRNPackageDialogsTest : public testsupport::HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        fFace = std::make_shared<ScriptDialogFace>();
        DialogDriver::SetFace(fFace);
        BRNPackage p({Field("Title", "title", kBRNTypeString)}, Untranslated("Nyheder"), PMString(), 0);
        p.SetPassword(Untranslated("secret"));
        Prefs()->SetPackages({p});
    }
    void TearDown() override {
        DialogDriver::SetFace(nullptr);
        HostFixture::TearDown();
    }
    std::vector<std::string> AlertTexts() const {
        std::vector<std::string> t;
        for (const auto& a : fAlerts->Alerts())
            t.push_back(a.message);
        return t;
    }
    std::shared_ptr<ScriptDialogFace> fFace;
};

TEST_F(BRNPackageDialogsTest, PackageNameDialog) {
    const struct {
        std::vector<std::string> names; // one attempt each
        const char* result;
        size_t alerts;
    } cases[] = {
        {{"Sport"}, "Sport", 0},
        {{"nyheder"}, "nyheder", 0}, // the lookup is exact: another case is another name
        {{"", "Sport"}, "Sport", 1},
        {{"Nyheder", "Sport"}, "Sport", 1}, // an existing name keeps the dialog open
        {{"Nyheder"}, "", 1},
        {{}, "", 0},
    };
    for (const auto& c : cases) {
        fAlerts->Clear();
        fFace->Clear();
        for (const auto& n : c.names)
            fFace->Queue({"package", {{"name", n}}, "OK"});
        EXPECT_EQ(BRNUtils::InvokePackageDialog().GetUTF8String(), c.result);
        EXPECT_EQ(fAlerts->Alerts().size(), c.alerts);
    }
}

TEST_F(BRNPackageDialogsTest, SetPasswordDialog) {
    const struct {
        std::vector<std::pair<std::string, std::string>> attempts;
        bool16 ok;
        const char* password;
        std::vector<std::string> alerts;
    } cases[] = {
        {{{"secret", "secret"}}, kTrue, "secret", {}}, // the old password again is fine
        {{{"", ""}, {"a", "b"}, {"x", "x"}},
         kTrue,
         "x",
         {"Please enter a password.", "The two passwords differ."}},
        {{{"a", "A"}}, kFalse, "", {"The two passwords differ."}},
    };
    for (const auto& c : cases) {
        fAlerts->Clear();
        for (const auto& [p, q] : c.attempts)
            fFace->Queue({"password", {{"password", p}, {"confirm", q}}, "OK"});
        PMString password;
        EXPECT_EQ(BRNUtils::InvokeSetPasswordDialog(Untranslated("Nyheder"), &password), c.ok);
        EXPECT_EQ(password.GetUTF8String(), c.password);
        if (c.ok) {
            EXPECT_FALSE(password.GetTranslatable());
        }
        EXPECT_EQ(AlertTexts(), c.alerts);
    }
}

TEST_F(BRNPackageDialogsTest, EnterPasswordUnlocksOnlyWithTheRightPassword) {
    BRNPackage unlocked;
    fFace->Queue({"enter-password", {{"password", "Secret"}}, "OK"});
    EXPECT_FALSE(BRNUtils::InvokeEnterPasswordDialog(Untranslated("Nyheder"), &unlocked));
    EXPECT_TRUE(unlocked.GetLocked());
    EXPECT_EQ(AlertTexts(), std::vector<std::string>{"The password is not correct."});
    fFace->Queue({"enter-password", {{"password", "wrong"}}, "OK"});
    fFace->Queue({"enter-password", {{"password", "secret"}}, "OK"});
    EXPECT_TRUE(BRNUtils::InvokeEnterPasswordDialog(Untranslated("Nyheder"), &unlocked));
    EXPECT_FALSE(unlocked.GetLocked());
    EXPECT_EQ(unlocked.GetName(), PMString("Nyheder"));
    fFace->Queue({"enter-password", {{"password", ""}}, "OK"});
    EXPECT_FALSE(BRNUtils::InvokeEnterPasswordDialog(Untranslated("Absent"), &unlocked));
}

BRNField Choice(const char* name, const char* shortName, int32 type, std::vector<const char*> options) {
    BRNField f = Field(name, shortName, type);
    PMStringList o;
    for (const char* s : options)
        o.push_back(Untranslated(s));
    f.SetOptions(o);
    return f;
}

TEST_F(BRNPackageDialogsTest, EditorChecksInOrderAndSelectsTheOffendingEntry) {
    BRNField badDate = Field("When", "when", kBRNTypeDate);
    badDate.SetDefaultValue(Untranslated("2014/6/30"));
    BRNField badDeadline = Field("Due", "due", kBRNTypeDeadline);
    badDeadline.SetDeadline(BRNDeadline(Untranslated("2026/01/01"), Untranslated("x"), PMString()));
    BRNField calc = Field("Calc", "calc", kBRNTypeCalculatedString);
    calc.SetDefaultValue(Untranslated("<cvbrindle:nosuch/>"));
    const struct {
        const char* what;
        BRNFieldList fields;
        bool16 ok;
        BRNDialogController::Fault fault;
    } cases[] = {
        {"Title and title differ", {Field("Title", "t", 0), Field("title", "T", 0)}, kTrue, {}},
        {"empty short names are no duplicates", {Field("A", "", 0), Field("B", "", 0)}, kTrue, {}},
        {"empty name", {Field("A", "a", 0), Field("", "b", 0)}, kFalse, {1, -1}},
        {"same name", {Field("A", "a", 0), Field("B", "b", 0), Field("A", "c", 0)}, kFalse, {2, -1}},
        {"same short name", {Field("A", "x", 0), Field("B", "x", 0)}, kFalse, {1, -1}},
        {"Choice A/A", {Choice("C", "c", kBRNTypeChoice, {"A", "B", "A"})}, kFalse, {0, 2}},
        {"Choice / String A/A", {Choice("C", "c", kBRNTypeChoiceString, {"A", "A"})}, kFalse, {0, 1}},
        {"MultiChoice A/A passes", {Choice("C", "c", kBRNTypeMultiChoice, {"A", "A"})}, kTrue, {}},
        {"date default", {badDate}, kFalse, {0, -1}},
        {"deadline date", {badDeadline}, kFalse, {0, -1}},
        {"calculated template", {calc}, kFalse, {0, -1}},
        {"first fault wins", {Field("", "a", 0), Field("B", "a", 0)}, kFalse, {0, -1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fAlerts->Clear();
        BRNDialogController::Fault fault;
        EXPECT_EQ(
            BRNDialogController::CheckFields(*Prefs()->FindPackage(PMString("Nyheder")), c.fields, &fault),
            c.ok);
        EXPECT_EQ(fault.field, c.fault.field);
        EXPECT_EQ(fault.value, c.fault.value);
        EXPECT_EQ(fAlerts->Alerts().size(), c.ok ? 0u : 1u);
    }
}

TEST_F(BRNPackageDialogsTest, ConfirmedFieldsAreStoredWithARaisedVersionAndRefusedOnesNot) {
    const uint32 before = Prefs()->FindPackage(PMString("Nyheder"))->GetVersion();
    BRNDialogController::Fault fault;
    EXPECT_FALSE(BRNDialogController::StoreFields(PMString("Nyheder"), {Field("", "", 0)}, &fault));
    EXPECT_EQ(Prefs()->FindPackage(PMString("Nyheder"))->GetFields().size(), 1u);
    EXPECT_EQ(Prefs()->FindPackage(PMString("Nyheder"))->GetVersion(), before);
    EXPECT_TRUE(BRNDialogController::StoreFields(PMString("Nyheder"),
                                                 {Field("A", "a", 0), Field("B", "b", 1)}, &fault));
    const BRNPackage* p = Prefs()->FindPackage(PMString("Nyheder"));
    ASSERT_EQ(p->GetFields().size(), 2u);
    EXPECT_EQ(p->GetVersion(), before + 1);
    StartHost(); // the library file holds it too
    EXPECT_EQ(Prefs()->FindPackage(PMString("Nyheder"))->GetFields().size(), 2u);
}

} // namespace
