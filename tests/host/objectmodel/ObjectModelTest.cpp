#include "objectmodel/CPMUnknown.h"
#include "objectmodel/InterfacePtr.h"
#include "objectmodel/ObjectModel.h"
#include "subjects/CSubject.h"
#include "subjects/IObserver.h"
#include "subjects/ISubject.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

enum : PMIID {
    IID_ITESTNAME = 0x7F001,
    IID_ITESTCOUNTER = 0x7F002,
    IID_ITESTEXTRA = 0x7F003,
    IID_ITESTMISSING = 0x7F004,
};

enum : ImplementationID {
    kTestNameImpl = 0x7F101,
    kTestCounterImpl = 0x7F102,
    kTestExtraImpl = 0x7F103,
    kTestPeekingImpl = 0x7F104,
    kTestSubjectImpl = 0x7F105,
    kTestUnregisteredImpl = 0x7F1FF,
};

enum : ClassID {
    kTestWidgetBoss = 0x7F201,
    kTestPeekingBoss = 0x7F202,
    kTestSubjectBoss = 0x7F203,
    kTestHalfBoss = 0x7F204,
    kTestUnknownBoss = 0x7F2FF,
};

// What happened to implementations, in order: "+Name", "-Counter", ...
std::vector<std::string>& Events() {
    static std::vector<std::string> events;
    return events;
}

class ITestName : public IPMUnknown {
public:
    enum { kDefaultIID = IID_ITESTNAME };
    virtual std::string Name() const = 0;
};

class ITestCounter : public IPMUnknown {
public:
    enum { kDefaultIID = IID_ITESTCOUNTER };
    virtual int Next() = 0;
};

class TestName : public CPMUnknown<ITestName> {
public:
    explicit TestName(Boss* boss) : CPMUnknown<ITestName>(boss) { Events().push_back("+Name"); }
    ~TestName() override { Events().push_back("-Name"); }
    std::string Name() const override { return "widget"; }
};

class TestCounter : public CPMUnknown<ITestCounter> {
public:
    explicit TestCounter(Boss* boss) : CPMUnknown<ITestCounter>(boss) { Events().push_back("+Counter"); }
    ~TestCounter() override { Events().push_back("-Counter"); }
    int Next() override { return ++fValue; }

private:
    int fValue = 0;
};

class TestExtra : public CPMUnknown<ITestCounter> {
public:
    explicit TestExtra(Boss* boss) : CPMUnknown<ITestCounter>(boss) { Events().push_back("+Extra"); }
    ~TestExtra() override { Events().push_back("-Extra"); }
    int Next() override { return 100; }
};

// Reaches a sibling made before it while the boss is still being put together.
class TestPeeking : public CPMUnknown<ITestCounter> {
public:
    explicit TestPeeking(Boss* boss) : CPMUnknown<ITestCounter>(boss) {
        InterfacePtr<ITestName> name(this, UseDefaultIID());
        fSeen = name ? name->Name() : "nothing";
        Events().push_back("+Peeking saw " + fSeen);
    }
    ~TestPeeking() override { Events().push_back("-Peeking"); }
    int Next() override { return static_cast<int>(fSeen.size()); }

private:
    std::string fSeen;
};

class ObjectModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ObjectModel::Reset();
        Events().clear();
        ObjectModel::RegisterImplementation(kTestNameImpl, MakeFactory<TestName>());
        ObjectModel::RegisterImplementation(kTestCounterImpl, MakeFactory<TestCounter>());
        ObjectModel::RegisterImplementation(kTestExtraImpl, MakeFactory<TestExtra>());
        ObjectModel::RegisterImplementation(kTestPeekingImpl, MakeFactory<TestPeeking>());
        ObjectModel::RegisterClass(kTestWidgetBoss,
                                   {{IID_ITESTNAME, kTestNameImpl}, {IID_ITESTCOUNTER, kTestCounterImpl}});
        ObjectModel::RegisterClass(kTestPeekingBoss,
                                   {{IID_ITESTNAME, kTestNameImpl}, {IID_ITESTCOUNTER, kTestPeekingImpl}});
        ObjectModel::RegisterClass(kTestHalfBoss,
                                   {{IID_ITESTEXTRA, kTestUnregisteredImpl}, {IID_ITESTNAME, kTestNameImpl}});
    }
    void TearDown() override {
        ObjectModel::Reset();
        Events().clear();
    }
};

TEST_F(ObjectModelTest, CreateObjectOfRegisteredClass) {
    EXPECT_TRUE(ObjectModel::IsRegistered(kTestWidgetBoss));
    InterfacePtr<ITestName> name(CreateObject2<ITestName>(kTestWidgetBoss));
    ASSERT_TRUE(name);
    EXPECT_EQ(name->Name(), "widget");
    EXPECT_EQ(name->GetClassOfObject(), kTestWidgetBoss);
    EXPECT_EQ(GetClass(name), kTestWidgetBoss);
    EXPECT_EQ(GetClass(nullptr), kInvalidClass);
    EXPECT_EQ(Events(), (std::vector<std::string>{"+Name", "+Counter"}));
}

TEST_F(ObjectModelTest, UnknownClassGivesNull) {
    EXPECT_FALSE(ObjectModel::IsRegistered(kTestUnknownBoss));
    EXPECT_EQ(ObjectModel::CreateObject(kTestUnknownBoss, IID_ITESTNAME), nullptr);
    EXPECT_EQ(CreateObject(kTestUnknownBoss, IID_IUNKNOWN), nullptr);
    EXPECT_TRUE(Events().empty());
}

TEST_F(ObjectModelTest, MissingInterfaceGivesNullAndFreesTheBoss) {
    EXPECT_EQ(ObjectModel::CreateObject(kTestWidgetBoss, IID_ITESTMISSING), nullptr);
    EXPECT_EQ(Events(), (std::vector<std::string>{"+Name", "+Counter", "-Counter", "-Name"}));
}

TEST_F(ObjectModelTest, UnregisteredImplementationIsSkipped) {
    InterfacePtr<ITestName> name(CreateObject2<ITestName>(kTestHalfBoss));
    ASSERT_TRUE(name);
    InterfacePtr<IPMUnknown> extra(name, IID_ITESTEXTRA);
    EXPECT_FALSE(extra);
}

TEST_F(ObjectModelTest, QueryInterfaceBetweenSiblings) {
    InterfacePtr<ITestName> name(CreateObject2<ITestName>(kTestWidgetBoss));
    ASSERT_TRUE(name);
    InterfacePtr<ITestCounter> counter(name, UseDefaultIID());
    ASSERT_TRUE(counter);
    EXPECT_EQ(counter->Next(), 1);
    InterfacePtr<ITestName> back(counter, IID_ITESTNAME);
    EXPECT_EQ(back.get(), name.get());
    InterfacePtr<ITestCounter> counterAgain(back, UseDefaultIID());
    EXPECT_EQ(counterAgain->Next(), 2) << "the same implementation, not a new one";
    InterfacePtr<IPMUnknown> unknown(counter, IID_IUNKNOWN);
    EXPECT_TRUE(unknown);
    InterfacePtr<IPMUnknown> missing(counter, IID_ITESTMISSING);
    EXPECT_FALSE(missing);
    InterfacePtr<ITestName> fromNull(nullptr, IID_ITESTNAME);
    EXPECT_FALSE(fromNull);
    EXPECT_EQ(Events(), (std::vector<std::string>{"+Name", "+Counter"})) << "one boss only";
}

TEST_F(ObjectModelTest, ImplementationsGoExactlyWhenTheLastReferenceGoes) {
    InterfacePtr<ITestName> name(CreateObject2<ITestName>(kTestWidgetBoss));
    InterfacePtr<ITestCounter> counter(name, UseDefaultIID());
    ITestCounter* raw = counter.get();
    raw->AddRef();

    name.reset();
    EXPECT_EQ(Events().size(), 2u);
    counter.reset();
    EXPECT_EQ(Events().size(), 2u) << "a raw reference still holds the boss";

    InterfacePtr<ITestCounter> moved;
    {
        InterfacePtr<ITestCounter> adopted(raw);
        moved = std::move(adopted);
    }
    EXPECT_EQ(Events().size(), 2u) << "moving a pointer moves its reference";
    moved.reset();
    // All implementations at once, later ones first.
    EXPECT_EQ(Events(), (std::vector<std::string>{"+Name", "+Counter", "-Counter", "-Name"}));
}

TEST_F(ObjectModelTest, ForgetGivesUpTheReferenceWithoutReleasing) {
    ITestName* raw = nullptr;
    {
        InterfacePtr<ITestName> name(CreateObject2<ITestName>(kTestWidgetBoss));
        raw = name.forget();
        EXPECT_FALSE(name);
    }
    EXPECT_EQ(Events().size(), 2u);
    raw->Release();
    EXPECT_EQ(Events().size(), 4u);
}

TEST_F(ObjectModelTest, EachObjectIsItsOwnBoss) {
    InterfacePtr<ITestCounter> a(CreateObject2<ITestCounter>(kTestWidgetBoss));
    InterfacePtr<ITestCounter> b(CreateObject2<ITestCounter>(kTestWidgetBoss));
    ASSERT_TRUE(a && b);
    EXPECT_NE(a.get(), b.get());
    a->Next();
    a->Next();
    EXPECT_EQ(b->Next(), 1);
    a.reset();
    EXPECT_EQ(Events(),
              (std::vector<std::string>{"+Name", "+Counter", "+Name", "+Counter", "-Counter", "-Name"}));
}

TEST_F(ObjectModelTest, AddInsAppearOnTheClass) {
    ObjectModel::AddIn(kTestWidgetBoss, {IID_ITESTEXTRA, kTestExtraImpl});
    InterfacePtr<ITestName> name(CreateObject2<ITestName>(kTestWidgetBoss));
    InterfacePtr<ITestCounter> extra(name, IID_ITESTEXTRA);
    ASSERT_TRUE(extra);
    EXPECT_EQ(extra->Next(), 100);
    InterfacePtr<ITestCounter> own(name, UseDefaultIID());
    EXPECT_EQ(own->Next(), 1) << "the add-in does not hide the class's own interface";
    // Other classes do not get it.
    InterfacePtr<ITestName> other(CreateObject2<ITestName>(kTestPeekingBoss));
    InterfacePtr<IPMUnknown> none(other, IID_ITESTEXTRA);
    EXPECT_FALSE(none);
    // The add-in comes after the class's own implementations.
    EXPECT_EQ(std::vector<std::string>(Events().begin(), Events().begin() + 3),
              (std::vector<std::string>{"+Name", "+Counter", "+Extra"}));
}

TEST_F(ObjectModelTest, CreationStepRunsBeforeImplementations) {
    Boss* seen = nullptr;
    size_t eventsAtStep = 99;
    InterfacePtr<ITestCounter> counter(static_cast<ITestCounter*>(
        ObjectModel::CreateObject(kTestWidgetBoss, IID_ITESTCOUNTER, [&](Boss* boss) {
            seen = boss;
            eventsAtStep = Events().size();
        })));
    ASSERT_TRUE(counter);
    EXPECT_EQ(eventsAtStep, 0u);
    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(static_cast<TestCounter*>(counter.get())->GetBoss(), seen);
    EXPECT_EQ(seen->GetClass(), kTestWidgetBoss);
}

TEST_F(ObjectModelTest, ImplementationMayQuerySiblingsWhileBeingMade) {
    InterfacePtr<ITestCounter> peeking(CreateObject2<ITestCounter>(kTestPeekingBoss));
    ASSERT_TRUE(peeking);
    EXPECT_EQ(peeking->Next(), 6);
    EXPECT_EQ(Events(), (std::vector<std::string>{"+Name", "+Peeking saw widget"}))
        << "the boss must survive the query and release during construction";
    peeking.reset();
    EXPECT_EQ(Events().back(), "-Name");
}

TEST_F(ObjectModelTest, ResetForgetsEverything) {
    ObjectModel::Reset();
    EXPECT_FALSE(ObjectModel::IsRegistered(kTestWidgetBoss));
    EXPECT_EQ(ObjectModel::CreateObject(kTestWidgetBoss, IID_ITESTNAME), nullptr);
    // A class whose implementations are unknown makes nothing.
    ObjectModel::RegisterClass(kTestWidgetBoss, {{IID_ITESTNAME, kTestNameImpl}});
    EXPECT_EQ(ObjectModel::CreateObject(kTestWidgetBoss, IID_ITESTNAME), nullptr);
    EXPECT_TRUE(Events().empty());
}

// -- subjects and observers
// -------------------------------------------------------------------------------------

enum : PMIID {
    IID_ITESTPROTOCOL_A = 0x7F301,
    IID_ITESTPROTOCOL_B = 0x7F302,
    IID_ITESTOBSERVER2 = 0x7F303,
};
constexpr ClassID kTestChangeOne = 0x7F401;

struct Notice {
    std::string who;
    ClassID change;
    ISubject* subject;
    PMIID protocol;
    void* changedBy;
};

// A plain observer; its lifetime is the test's.
class TestObserver : public IObserver {
public:
    TestObserver(std::string name, std::vector<Notice>* log) : fName(std::move(name)), fLog(log) {}
    IPMUnknown* QueryInterface(PMIID) const override { return nullptr; }
    void AddRef() const override {}
    void Release() const override {}
    void Update(const ClassID& theChange, ISubject* theSubject, const PMIID& protocol,
                void* changedBy) override {
        fLog->push_back({fName, theChange, theSubject, protocol, changedBy});
        if (fOnUpdate) fOnUpdate(theSubject);
    }
    std::function<void(ISubject*)> fOnUpdate;

private:
    std::string fName;
    std::vector<Notice>* fLog;
};

class SubjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        ObjectModel::Reset();
        ObjectModel::RegisterImplementation(kTestSubjectImpl, MakeFactory<CSubject>());
        ObjectModel::RegisterClass(kTestSubjectBoss, {{IID_ISUBJECT, kTestSubjectImpl}});
        fSubject.reset(CreateObject2<ISubject>(kTestSubjectBoss));
        ASSERT_TRUE(fSubject);
    }
    void TearDown() override {
        fSubject.reset();
        ObjectModel::Reset();
    }
    std::vector<std::string> Who() const {
        std::vector<std::string> out;
        for (const auto& n : fLog)
            out.push_back(n.who);
        return out;
    }
    InterfacePtr<ISubject> fSubject;
    std::vector<Notice> fLog;
};

TEST_F(SubjectTest, OnlyObserversOfTheProtocolAreTold) {
    TestObserver a("a", &fLog), b("b", &fLog), a2("a2", &fLog);
    fSubject->AttachObserver(&a, IID_ITESTPROTOCOL_A);
    fSubject->AttachObserver(&b, IID_ITESTPROTOCOL_B);
    fSubject->AttachObserver(&a2, IID_ITESTPROTOCOL_A);
    int by = 0;
    fSubject->Change(kTestChangeOne, IID_ITESTPROTOCOL_A, &by);
    ASSERT_EQ(Who(), (std::vector<std::string>{"a", "a2"})) << "in the order they attached";
    for (const auto& n : fLog) {
        EXPECT_EQ(n.change, kTestChangeOne);
        EXPECT_EQ(n.subject, fSubject.get());
        EXPECT_EQ(n.protocol, IID_ITESTPROTOCOL_A);
        EXPECT_EQ(n.changedBy, &by);
    }
    fLog.clear();
    fSubject->Change(kTestChangeOne, IID_ITESTPROTOCOL_B);
    EXPECT_EQ(Who(), (std::vector<std::string>{"b"}));
    EXPECT_EQ(fLog[0].changedBy, nullptr);
}

TEST_F(SubjectTest, AttachIsOncePerObserverProtocolAndIID) {
    TestObserver a("a", &fLog);
    EXPECT_EQ(fSubject->IsAttached(&a, IID_ITESTPROTOCOL_A), kFalse);
    fSubject->AttachObserver(&a, IID_ITESTPROTOCOL_A);
    fSubject->AttachObserver(&a, IID_ITESTPROTOCOL_A);
    fSubject->AttachObserver(&a, IID_ITESTPROTOCOL_A, IID_ITESTOBSERVER2);
    fSubject->AttachObserver(nullptr, IID_ITESTPROTOCOL_A);
    EXPECT_EQ(fSubject->IsAttached(&a, IID_ITESTPROTOCOL_A), kTrue);
    EXPECT_EQ(fSubject->IsAttached(&a, IID_ITESTPROTOCOL_B), kFalse);
    fSubject->Change(kTestChangeOne, IID_ITESTPROTOCOL_A);
    EXPECT_EQ(Who(), (std::vector<std::string>{"a", "a"})) << "once per observer interface";

    fLog.clear();
    fSubject->DetachObserver(&a, IID_ITESTPROTOCOL_A, IID_ITESTOBSERVER2);
    fSubject->DetachObserver(&a, IID_ITESTPROTOCOL_B); // not attached: nothing happens
    fSubject->Change(kTestChangeOne, IID_ITESTPROTOCOL_A);
    EXPECT_EQ(Who(), (std::vector<std::string>{"a"}));
    fLog.clear();
    fSubject->DetachObserver(&a, IID_ITESTPROTOCOL_A);
    EXPECT_EQ(fSubject->IsAttached(&a, IID_ITESTPROTOCOL_A), kFalse);
    fSubject->Change(kTestChangeOne, IID_ITESTPROTOCOL_A);
    EXPECT_TRUE(fLog.empty());
}

TEST_F(SubjectTest, DetachingDuringChangeIsSafe) {
    struct Case {
        const char* name;
        int detacher;                       // index of the observer that detaches while told
        std::vector<int> detached;          // whom it detaches
        std::vector<std::string> toldFirst; // during the change
        std::vector<std::string> toldNext;  // during a second change
    };
    const std::vector<Case> cases = {
        {"itself", 0, {0}, {"o0", "o1", "o2"}, {"o1", "o2"}},
        {"a later one", 0, {2}, {"o0", "o1"}, {"o0", "o1"}},
        {"an earlier one", 2, {0}, {"o0", "o1", "o2"}, {"o1", "o2"}},
        {"everyone", 1, {0, 1, 2}, {"o0", "o1"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fLog.clear();
        std::vector<std::unique_ptr<TestObserver>> obs;
        for (int i = 0; i < 3; ++i)
            obs.push_back(std::make_unique<TestObserver>("o" + std::to_string(i), &fLog));
        for (auto& o : obs)
            fSubject->AttachObserver(o.get(), IID_ITESTPROTOCOL_A);
        obs[static_cast<size_t>(c.detacher)]->fOnUpdate = [&, c](ISubject* s) {
            for (int d : c.detached)
                s->DetachObserver(obs[static_cast<size_t>(d)].get(), IID_ITESTPROTOCOL_A);
        };
        fSubject->Change(kTestChangeOne, IID_ITESTPROTOCOL_A);
        EXPECT_EQ(Who(), c.toldFirst);
        fLog.clear();
        for (auto& o : obs)
            o->fOnUpdate = nullptr;
        fSubject->Change(kTestChangeOne, IID_ITESTPROTOCOL_A);
        EXPECT_EQ(Who(), c.toldNext);
        for (auto& o : obs)
            fSubject->DetachObserver(o.get(), IID_ITESTPROTOCOL_A);
    }
}

TEST_F(SubjectTest, ObserverAttachedDuringChangeWaitsForTheNextOne) {
    TestObserver a("a", &fLog), late("late", &fLog);
    a.fOnUpdate = [&](ISubject* s) { s->AttachObserver(&late, IID_ITESTPROTOCOL_A); };
    fSubject->AttachObserver(&a, IID_ITESTPROTOCOL_A);
    fSubject->Change(kTestChangeOne, IID_ITESTPROTOCOL_A);
    EXPECT_EQ(Who(), (std::vector<std::string>{"a"}));
    fLog.clear();
    a.fOnUpdate = nullptr;
    fSubject->Change(kTestChangeOne, IID_ITESTPROTOCOL_A);
    EXPECT_EQ(Who(), (std::vector<std::string>{"a", "late"}));
}

} // namespace
