// The selection suites over the host's selection: layout selections of text frames, a text
// focus, and the abstract suite that forwards to the concrete suite of the active kind.
#include "TestSupport.h"

#include "CVLog.h"
#include "base/HostConfig.h"
#include "documents/DocumentHost.h"
#include "documents/HostSelection.h"
#include "documents/HostStoryData.h"
#include "documents/IAssignmentMgr.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "objectmodel/InterfacePtr.h"
#include "service/BRNSuiteASB.h"
#include "service/IBRNSuite.h"
#include "session/Utils.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using testsupport::HostFixture;
using testsupport::ReadFile;
using testsupport::Untranslated;

namespace {

class SelectionSuiteTest : public HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        fDoc = Host::NewDocument();
        ASSERT_NE(fDoc, nullptr);
        fDB = fDoc->GetDocumentDataBase();
        fA = Story("a", true);
        fB = Story("b", true);
        fFrameA1 = Host::NewStoryReference(fDoc, kTextFrameBoss, fA);
        fFrameA2 = Host::NewStoryReference(fDoc, kTextFrameBoss, fA);
        fFrameB = Host::NewStoryReference(fDoc, kTextFrameBoss, fB);
    }
    void TearDown() override {
        Host::ClearSelection();
        HostFixture::TearDown();
    }
    UID Story(const char* name, bool exported) {
        UID uid = Host::NewStory(fDoc, Untranslated(name));
        InterfacePtr<IStoryData> story(Instantiate<IStoryData>(fDB, uid));
        story->SetExportedForTextEditing(exported);
        return uid;
    }
    UIDList Items(std::initializer_list<UID> uids) {
        UIDList list(fDB);
        for (UID u : uids)
            list.Append(u);
        return list;
    }

    IDocument* fDoc = nullptr;
    IDataBase* fDB = nullptr;
    UID fA = kInvalidUID, fB = kInvalidUID, fFrameA1 = kInvalidUID, fFrameA2 = kInvalidUID,
        fFrameB = kInvalidUID;
};

TEST_F(SelectionSuiteTest, LayoutSelectionsGiveEachStoryOnce) {
    Utils<IBRNSuite> suite;
    ASSERT_TRUE(suite);
    struct Case {
        const char* what;
        std::initializer_list<UID> frames;
        size_t stories;
        bool single;
    };
    const Case cases[] = {{"two frames of one story", {fFrameA1, fFrameA2}, 1, true},
                          {"frames of two stories", {fFrameA1, fFrameB, fFrameA2}, 2, false},
                          {"one frame", {fFrameB}, 1, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(Host::SelectPageItems(Items(c.frames)));
        EXPECT_EQ(BRNSuiteASB::SelectionStories().Length(), static_cast<int32>(c.stories));
        EXPECT_TRUE(suite->IsStorySelected());
        EXPECT_EQ(suite->IsSingleStorySelected() != 0, c.single);
        UIDRef story;
        bool16 locked = kTrue, exported = kFalse;
        EXPECT_EQ(suite->GetSelectedStory(story, locked, exported), 0);
        EXPECT_EQ(story.GetUID(), ResolveStoryUID(fDB, *c.frames.begin()));
        EXPECT_FALSE(locked);
        EXPECT_TRUE(exported);
    }
}

TEST_F(SelectionSuiteTest, NoTextFocusAnswersFalseWithAnErrorLine) {
    StopHost();
    const fs::path log = fHome->path() / "suite.log";
    HostConfig::Get().logFile = log;
    HostConfig::Get().logLevel = 30;
    StartHost();
    // The restart closed the documents: a new one.
    fDoc = Host::NewDocument();
    ASSERT_NE(fDoc, nullptr);
    fDB = fDoc->GetDocumentDataBase();
    fB = Story("b", true);
    // A text focus on something that is no story, and no focus at all.
    ASSERT_TRUE(Host::SetTextFocus(UIDRef(fDB, fDB->GetRootUID())));
    Utils<IBRNSuite> suite;
    ASSERT_TRUE(suite);
    EXPECT_FALSE(suite->IsStorySelected());
    EXPECT_FALSE(suite->IsSingleStorySelected());
    EXPECT_NE(ReadFile(log).find("the text focus gives no story"), std::string::npos);
    // The galley's focus on a story is answered by the galley suite.
    ASSERT_TRUE(Host::SetTextFocus(UIDRef(fDB, fB), true));
    EXPECT_EQ(Host::GetSelectionKind(), Host::SelectionKind::kGalley);
    EXPECT_TRUE(suite->IsStorySelected());
    EXPECT_TRUE(suite->IsSingleStorySelected());
    Host::ClearSelection();
    EXPECT_FALSE(suite->IsStorySelected());
    HostConfig::Get().logLevel = 0;
    HostConfig::Get().logFile.clear();
}

TEST_F(SelectionSuiteTest, AStoryWithoutALockStateFailsTheStatusTest) {
    InterfacePtr<IStoryData> data(Instantiate<IStoryData>(fDB, fB));
    dynamic_cast<HostStoryData*>(data.get())->SetLockKnown(kFalse);
    Utils<IBRNSuite> suite;
    ASSERT_TRUE(Host::SetTextFocus(UIDRef(fDB, fB)));
    UIDRef story;
    bool16 locked = kFalse, exported = kFalse;
    EXPECT_EQ(suite->GetSelectedStory(story, locked, exported), 1);
    EXPECT_EQ(suite->GetSelectionStatus(), 0);
    EXPECT_FALSE(suite->IsSingleStorySelected());
    // Frames of a known and an unknown story do not agree either.
    ASSERT_TRUE(Host::SelectPageItems(Items({fFrameA1, fFrameB})));
    EXPECT_EQ(suite->GetSelectionStatus(), 0);
}

TEST_F(SelectionSuiteTest, AssignmentOfTheSelectedStory) {
    InterfacePtr<IAssignmentMgr> assignments(Instantiate<IAssignmentMgr>(UIDRef(fDB, fDB->GetRootUID())));
    ASSERT_TRUE(assignments);
    assignments->AddAssignment({Untranslated("Other"), Untranslated("eva"), IDFile(), {}});
    assignments->AddAssignment({Untranslated("Front"), Untranslated("eva"), IDFile(), {fB}});
    Utils<IBRNSuite> suite;
    UIDRef document;
    int32 index = -1;
    bool16 unassigned = kTrue;
    ASSERT_TRUE(Host::SelectPageItems(Items({fFrameB})));
    EXPECT_TRUE(suite->IsStoryAssigned());
    EXPECT_EQ(suite->GetSelectedAssignment(document, index, unassigned), 0);
    EXPECT_EQ(index, 1);
    EXPECT_FALSE(unassigned);
    ASSERT_TRUE(Host::SelectPageItems(Items({fFrameA1})));
    EXPECT_FALSE(suite->IsStoryAssigned());
    EXPECT_EQ(suite->GetSelectedAssignment(document, index, unassigned), 1);
    EXPECT_TRUE(unassigned);
}

} // namespace
