// The required-field pass: which fields count as missing, the message and the dialog, the
// Decimal tidy-up, date and template faults, history stamps and the write-back.
#include "base/HostConfig.h"
#include "documents/DocumentHost.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "logic/BRNPackageUtils.h"
#include "objectmodel/CPMUnknown.h"
#include "session/IPanelMgr.h"
#include "TestSupport.h"
#include "ui/HostDialogs.h"

#include <gtest/gtest.h>

#include <optional>

using testsupport::HostFixture;
using testsupport::LocalTicks;

using testsupport::Untranslated;

namespace {

using BRNPackageUtils::BRNRequiredFieldsReport;

BRNField Field(const char* name, int32 type, const char* value, bool required = false) {
    BRNField f{Untranslated(name)};
    f.SetShortName(Untranslated(name));
    f.SetType(type);
    f.SetValue(Untranslated(value));
    f.SetRequired(required);
    return f;
}

BRNPackage Package(const char* name, const BRNFieldList& fields, bool enabled = true) {
    BRNPackage p(fields, Untranslated(name), PMString(), 0);
    p.SetVersion(1);
    p.SetEnabled(enabled);
    return p;
}

BRNHistory Entry(const char* value) {
    GlobalTime when;
    when.SetTime(2020, 1, 2, 3, 4, 5);
    return BRNHistory(Untranslated("ann"), Untranslated("A."), when, Untranslated(value));
}

// Stands in for the metadata panel, so that showing it can be seen.
class FakePanel final : public CStandaloneUnknown<IPMUnknown> {};

constexpr WidgetID kPanel = 0xA8260;

// --- StampHistory ------------------------------------------------------------------------

struct StampCase {
    const char* what;
    int32 type;
    const char* value;
    bool boolValue;
    std::optional<const char*> last; // the last history entry's value
    std::optional<std::string> stamped;
};

TEST(StampHistoryTest, ByType) {
    const std::vector<StampCase> cases = {
        {"String without history and value", kBRNTypeString, "", false, std::nullopt, std::nullopt},
        {"String without history", kBRNTypeString, "Blue", false, std::nullopt, "Blue"},
        {"String unchanged", kBRNTypeString, "Blue", false, "Blue", std::nullopt},
        {"String changed", kBRNTypeString, "Blue", false, "Red", "Blue"},
        {"String emptied", kBRNTypeString, "", false, "Red", ""},
        {"String compares exactly", kBRNTypeString, "blue ", false, "blue", "blue "},
        {"Integer", kBRNTypeInteger, "12", false, "012", "12"},
        {"Date", kBRNTypeDate, "2014/06/30", false, "2014/06/29", "2014/06/30"},
        {"Text unchanged", kBRNTypeText, "a\nb", false, "a\nb", std::nullopt},
        {"CalculatedString", kBRNTypeCalculatedString, "ED-1", false, "ED-0", "ED-1"},
        {"Deadline", kBRNTypeDeadline, "2014/06/30,,", false, std::nullopt, "2014/06/30,,"},
        {"Boolean without history, false", kBRNTypeBoolean, "", false, std::nullopt, "False"},
        {"Boolean without history, true", kBRNTypeBoolean, "", true, std::nullopt, "True"},
        {"Boolean unchanged, any case", kBRNTypeBoolean, "", true, "TRUE", std::nullopt},
        {"Boolean unchanged false", kBRNTypeBoolean, "", false, "False", std::nullopt},
        {"Boolean false after something not true", kBRNTypeBoolean, "", false, "yes", std::nullopt},
        {"Boolean changed", kBRNTypeBoolean, "", true, "False", "True"},
        {"MultiChoice without history", kBRNTypeMultiChoice, "a, b", false, std::nullopt, "a, b"},
        {"MultiChoice empty without history", kBRNTypeMultiChoice, "", false, std::nullopt, std::nullopt},
        {"MultiChoice parts are trimmed", kBRNTypeMultiChoice, "a,b", false, "a, b", std::nullopt},
        {"MultiChoice blanks at both ends", kBRNTypeMultiChoice, " a ,b", false, "a,  b  ", std::nullopt},
        {"MultiChoice order counts", kBRNTypeMultiChoice, "b, a", false, "a, b", "b, a"},
        {"MultiChoice count counts", kBRNTypeMultiChoice, "a, b", false, "a, b, c", "a, b"},
        {"MultiChoice blanks inside a part count", kBRNTypeMultiChoice, "a b", false, "ab", "a b"},
        {"Directory never", kBRNTypeDirectory, "/srv", false, std::nullopt, std::nullopt},
        {"Directory never, changed", kBRNTypeDirectory, "/srv", false, "/old", std::nullopt},
    };
    for (const StampCase& c : cases) {
        SCOPED_TRACE(c.what);
        BRNField f = Field("F", c.type, c.value);
        f.SetBoolValue(c.boolValue);
        if (c.last) f.GetHistory() = {Entry("older"), Entry(*c.last)};
        const size_t before = f.GetHistory().size();
        EXPECT_EQ(BRNPackageUtils::StampHistory(f), c.stamped ? 1 : 0);
        ASSERT_EQ(f.GetHistory().size(), before + (c.stamped ? 1 : 0));
        if (c.stamped) {
            EXPECT_EQ(f.GetHistory().back().GetValue().GetUTF8String(), *c.stamped);
        }
    }
}

// --- CheckRequiredFields -----------------------------------------------------------------

class RequiredFieldsTest : public HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        HostConfig::Get().alias = "T.";
        GlobalTime::SetClock([] { return LocalTicks(2014, 6, 29, 18, 0, 0); });
        HostDialogs::SetMessageAnswer(HostDialogs::MessageAnswer::kOK);
        fDialogsBefore = HostDialogs::MessageDialogCount();
    }
    void TearDown() override {
        HostDialogs::SetMessageAnswer(HostDialogs::MessageAnswer::kAsk);
        HostFixture::TearDown();
    }
    UIDRef NewDocument(const BRNPackageList& packages) {
        IDocument* doc = Host::NewDocument();
        EXPECT_NE(doc, nullptr);
        IDataBase* db = doc->GetDocumentDataBase();
        UIDRef ref(db, db->GetRootUID());
        EXPECT_EQ(BRNPackageUtils::StorePackages(UIDList(ref), packages, kFalse, kFalse), kSuccess);
        return ref;
    }
    void RegisterPanel() {
        InterfacePtr<IPMUnknown> panel(new FakePanel());
        GetPanelManager()->RegisterPanel(kPanel, panel.get());
    }
    static bool PanelShown() { return GetPanelManager()->IsPanelWithWidgetIDShown(kPanel) != 0; }
    int32 Dialogs() const { return HostDialogs::MessageDialogCount() - fDialogsBefore; }
    std::vector<std::string> AlertTexts() const {
        std::vector<std::string> texts;
        for (const AlertRequest& a : fAlerts->Alerts())
            texts.push_back(a.message);
        return texts;
    }

    int32 fDialogsBefore = 0;
};

// The message's first line, as the string table has it.
std::string Intro() {
    PMString intro("0xA8260kBRNReqfieldError");
    intro.Translate();
    return intro.GetUTF8String() + "\n";
}

std::string DateAlert(const char* name) {
    PMString text("0xA8260kBRNErrorInDateStringKey");
    text.Translate();
    std::string t = text.GetUTF8String();
    return t.replace(t.find('#'), 1, name);
}

struct MissingCase {
    const char* what;
    BRNFieldList fields;
    bool enabled;
    std::vector<std::string> missing;
};

TEST_F(RequiredFieldsTest, WhichFieldsCountAsMissing) {
    BRNField boolean = Field("Legal", kBRNTypeBoolean, "", true);
    const std::vector<MissingCase> cases = {
        {"every type that can be empty",
         {Field("S", kBRNTypeString, "", true), Field("I", kBRNTypeInteger, "", true),
          Field("C", kBRNTypeChoice, "", true), Field("CS", kBRNTypeChoiceString, "", true),
          Field("Dec", kBRNTypeDecimal, "", true), Field("Date", kBRNTypeDate, "", true),
          Field("T", kBRNTypeText, "", true)},
         true,
         {"S", "I", "C", "CS", "Dec", "Date", "T"}},
        {"types never reported",
         {boolean, Field("Dir", kBRNTypeDirectory, "", true), Field("MC", kBRNTypeMultiChoice, "", true),
          Field("Due", kBRNTypeDeadline, "", true)},
         true,
         {}},
        {"a single blank is a value", {Field("S", kBRNTypeString, " ", true)}, true, {}},
        {"not required", {Field("S", kBRNTypeString, "")}, true, {}},
        {"a disabled package is ignored", {Field("S", kBRNTypeString, "", true)}, false, {}},
        {"the same name twice in a package",
         {Field("S", kBRNTypeString, "", true), Field("S", kBRNTypeText, "", true)},
         true,
         {"S"}},
    };
    for (const MissingCase& c : cases) {
        SCOPED_TRACE(c.what);
        BRNRequiredFieldsReport report;
        const UIDRef doc = NewDocument({Package("P", c.fields, c.enabled)});
        BRNPackageUtils::CheckRequiredFields(std::vector<UIDRef>{doc}, kFalse, kFalse, &report);
        std::vector<std::string> missing;
        for (const PMString& n : report.missing)
            missing.push_back(n.GetUTF8String());
        EXPECT_EQ(missing, c.missing);
        ASSERT_EQ(report.documents.size(), 1u);
        EXPECT_EQ(report.documents[0].missing.size(), c.missing.size());
    }
    EXPECT_TRUE(fAlerts->Alerts().empty()) << "the report flag is off";
    EXPECT_EQ(Dialogs(), 0);
}

TEST_F(RequiredFieldsTest, OneLinePerNameOverDocumentsInTheAlert) {
    RegisterPanel();
    const UIDRef a = NewDocument({Package(
        "One", {Field("Title", kBRNTypeString, "", true), Field("Author", kBRNTypeString, "", true)})});
    const UIDRef b = NewDocument({Package("Two", {Field("Title", kBRNTypeString, "", true)}),
                                  Package("Three", {Field("Date", kBRNTypeDate, "", true)})});
    EXPECT_EQ(BRNPackageUtils::CheckRequiredFields(std::vector<UIDRef>{a, b}, kTrue, kFalse), 1);
    ASSERT_EQ(AlertTexts(), (std::vector<std::string>{Intro() + "\n- Title\n- Author\n- Date"}));
    EXPECT_EQ(fAlerts->Alerts()[0].buttons, (std::vector<std::string>{"OK"}));
    EXPECT_TRUE(PanelShown());
    EXPECT_EQ(Dialogs(), 0);
}

TEST_F(RequiredFieldsTest, TheDialogAnswersTheResult) {
    const UIDRef doc = NewDocument({Package("P", {Field("Title", kBRNTypeString, "", true)})});
    struct Case {
        HostDialogs::MessageAnswer answer;
        int16 result;
    };
    for (const Case& c :
         {Case{HostDialogs::MessageAnswer::kOK, 1}, Case{HostDialogs::MessageAnswer::kDismiss, 0}}) {
        HostDialogs::SetMessageAnswer(c.answer);
        const int32 before = Dialogs();
        EXPECT_EQ(BRNPackageUtils::CheckRequiredFields(UIDList(doc), kTrue, kTrue), c.result);
        EXPECT_EQ(Dialogs(), before + 1);
        EXPECT_EQ(HostDialogs::LastMessage().GetUTF8String(), Intro() + "\n- Title");
    }
    EXPECT_TRUE(fAlerts->Alerts().empty()) << "the dialog, not an alert";
    // Nothing missing: no dialog, result 0.
    const UIDRef full = NewDocument({Package("P", {Field("Title", kBRNTypeString, "x", true)})});
    const int32 before = Dialogs();
    EXPECT_EQ(BRNPackageUtils::CheckRequiredFields(UIDList(full), kTrue, kTrue), 0);
    EXPECT_EQ(Dialogs(), before);
    EXPECT_EQ(BRNPackageUtils::CheckRequiredFields(std::vector<UIDRef>{}, kTrue, kTrue), 0);
}

TEST_F(RequiredFieldsTest, DateAndTemplateFaultsAlertAndBringThePanel) {
    RegisterPanel();
    BRNField code = Field("Code", kBRNTypeCalculatedString, "");
    code.SetDefaultValue(Untranslated("X-<cvbrindle:Nope/>"));
    BRNField good = Field("Good", kBRNTypeCalculatedString, "");
    good.SetDefaultValue(Untranslated("<cvbrindle:Due/>"));
    const UIDRef doc = NewDocument({Package(
        "P", {Field("Due", kBRNTypeDate, "2014/6/30"), Field("Fine", kBRNTypeDate, "now"), code, good})});
    BRNRequiredFieldsReport report;
    EXPECT_EQ(BRNPackageUtils::CheckRequiredFields(std::vector<UIDRef>{doc}, kTrue, kTrue, &report), 0);
    const std::vector<std::string> alerts = AlertTexts();
    ASSERT_EQ(alerts.size(), 3u);
    EXPECT_EQ(alerts[0], DateAlert("Due"));
    EXPECT_NE(alerts[1].find("<cvbrindle:Nope/>"), std::string::npos) << "the check's own alert first";
    EXPECT_EQ(alerts[2], "Error in calculated field: Code");
    EXPECT_TRUE(report.showPanel);
    EXPECT_TRUE(PanelShown());
    EXPECT_EQ(Dialogs(), 0) << "nothing missing";
    ASSERT_EQ(report.documents.size(), 1u);
    ASSERT_EQ(report.documents[0].badDates.size(), 1u);
    EXPECT_EQ(report.documents[0].badDates[0].field, Untranslated("Due"));
    ASSERT_EQ(report.documents[0].badTemplates.size(), 1u);
    EXPECT_EQ(report.documents[0].badTemplates[0].package, Untranslated("P"));
}

TEST_F(RequiredFieldsTest, NoFaultNoPanel) {
    RegisterPanel();
    const UIDRef doc = NewDocument({Package("P", {Field("Title", kBRNTypeString, "x", true)})});
    EXPECT_EQ(BRNPackageUtils::CheckRequiredFields(UIDList(doc), kTrue, kFalse), 0);
    EXPECT_FALSE(PanelShown());
    EXPECT_TRUE(fAlerts->Alerts().empty());
}

TEST_F(RequiredFieldsTest, TidiesDecimalsStampsHistoryAndWritesBackEvenWithoutReport) {
    BRNField price = Field("Price", kBRNTypeDecimal, "12.");
    BRNField kept = Field("Kept", kBRNTypeString, "same");
    kept.GetHistory() = {Entry("same")};
    BRNField flag = Field("Flag", kBRNTypeBoolean, "");
    BRNField keys = Field("Keys", kBRNTypeMultiChoice, "");
    keys.SetSelectedValues({Untranslated("a"), Untranslated("b")}, Untranslated(","));
    keys.GetHistory() = {Entry("a, b")};
    BRNField title = Field("Title", kBRNTypeString, "", true);
    BRNPackage p = Package("P", {price, kept, flag, keys, title});
    BRNPackage off = Package("Off", {Field("Price", kBRNTypeDecimal, "3.")}, false);
    const UIDRef doc = NewDocument({p, off});

    BRNRequiredFieldsReport report;
    EXPECT_EQ(BRNPackageUtils::CheckRequiredFields(std::vector<UIDRef>{doc}, kFalse, kTrue, &report), 0);
    EXPECT_TRUE(fAlerts->Alerts().empty());
    EXPECT_EQ(Dialogs(), 0);
    EXPECT_EQ(report.documents.at(0).packagesChanged, 1);

    const BRNPackageList after = BRNPackageUtils::ReadPackages(doc);
    ASSERT_EQ(after.size(), 2u);
    const BRNFieldList& f = after[0].GetFields();
    EXPECT_EQ(f[0].GetValue(), Untranslated("12"));
    ASSERT_EQ(f[0].GetHistory().size(), 1u);
    const BRNHistory& h = f[0].GetHistory()[0];
    EXPECT_EQ(h.GetValue(), Untranslated("12"));
    EXPECT_EQ(h.GetUser(), Untranslated("tester"));
    EXPECT_EQ(h.GetAlias(), Untranslated("T."));
    EXPECT_EQ(h.GetTime().GetTime(), LocalTicks(2014, 6, 29, 18, 0, 0));
    EXPECT_EQ(f[1].GetHistory().size(), 1u) << "unchanged since its last entry";
    ASSERT_EQ(f[2].GetHistory().size(), 1u) << "a Boolean gets one on the first pass";
    EXPECT_EQ(f[2].GetHistory()[0].GetValue(), Untranslated("False"));
    EXPECT_EQ(f[3].GetHistory().size(), 1u) << "a,b after \"a, b\" is unchanged";
    EXPECT_TRUE(f[4].GetHistory().empty());
    EXPECT_EQ(after[1].GetFields()[0].GetValue(), Untranslated("3.")) << "a disabled package is left alone";

    // A second pass finds nothing to stamp and writes nothing.
    BRNPackageUtils::CheckRequiredFields(std::vector<UIDRef>{doc}, kFalse, kFalse, &report);
    EXPECT_EQ(report.documents.at(0).packagesChanged, 0);
    EXPECT_EQ(BRNPackageUtils::ReadPackages(doc)[0].GetFields()[2].GetHistory().size(), 1u);
}

TEST_F(RequiredFieldsTest, WithoutWriteBackTheDocumentStaysAsItWas) {
    const UIDRef doc = NewDocument(
        {Package("P", {Field("Price", kBRNTypeDecimal, "12."), Field("Title", kBRNTypeString, "", true)})});
    InterfacePtr<IDocument> document(Instantiate<IDocument>(doc));
    ASSERT_TRUE(document);
    const BRNPackageList before = BRNPackageUtils::ReadPackages(doc);
    BRNRequiredFieldsReport report;
    EXPECT_EQ(BRNPackageUtils::CheckRequiredFields(std::vector<UIDRef>{doc}, kTrue, kFalse, &report, kFalse),
              1);
    EXPECT_EQ(report.documents.at(0).packagesChanged, 1);
    EXPECT_EQ(report.missing, (PMStringList{Untranslated("Title")}));
    const BRNPackageList after = BRNPackageUtils::ReadPackages(doc);
    EXPECT_EQ(after[0].GetFields()[0].GetValue(), Untranslated("12."));
    EXPECT_TRUE(after[0].GetFields()[0].GetHistory().empty());
}

TEST_F(RequiredFieldsTest, APackageWhoseTemplateFailsIsNotWrittenBack) {
    BRNField code = Field("Code", kBRNTypeCalculatedString, "");
    code.SetDefaultValue(Untranslated("<cvbrindle:Nope/>"));
    const UIDRef doc = NewDocument({Package("Bad", {Field("A", kBRNTypeString, "new"), code}),
                                    Package("Good", {Field("B", kBRNTypeString, "new")})});
    BRNRequiredFieldsReport report;
    BRNPackageUtils::CheckRequiredFields(std::vector<UIDRef>{doc}, kTrue, kFalse, &report);
    EXPECT_EQ(report.documents.at(0).packagesChanged, 1);
    const BRNPackageList after = BRNPackageUtils::ReadPackages(doc);
    EXPECT_TRUE(after[0].GetFields()[0].GetHistory().empty());
    EXPECT_EQ(after[1].GetFields()[0].GetHistory().size(), 1u);
}

TEST_F(RequiredFieldsTest, StampsUseTheSessionsUser) {
    HostConfig::Get().userName = "eva";
    HostConfig::Get().alias = "";
    BRNField f = Field("F", kBRNTypeString, "x");
    ASSERT_EQ(BRNPackageUtils::StampHistory(f), 1);
    EXPECT_EQ(f.GetHistory()[0].GetUser(), Untranslated("eva"));
    EXPECT_EQ(f.GetHistory()[0].GetAlias(), Untranslated(""));
}

} // namespace
