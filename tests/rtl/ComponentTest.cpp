// TComponent: ownership, names, the teardown step, removal notices, guarded
// pointers, the Loading and Designing flags, and the always-on checks.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/rtl/Component.h"
#include "platform/rtl/Exception.h"
#include "tests/support/ThrowMessage.h"

namespace pv {
namespace {

// Logs every notice it gets and what it could still see of itself while its
// teardown step ran.
class TProbe : public TComponent {
public:
    TProbe(TComponent* AOwner, std::string AName, std::vector<std::string>& ALog)
        : TComponent(AOwner), Log(ALog), Payload(std::make_unique<std::string>(AName)) {
        SetName(AName);
    }
    ~TProbe() override { Destroying(); }

    void Notification(TComponent* AComponent, TOperation Operation) override {
        TComponent::Notification(AComponent, Operation);
        Log.push_back(GetName() + (Operation == TOperation::opRemove ? " heard remove " : " heard insert ") +
                      AComponent->GetName());
        if (Operation == TOperation::opRemove && OnRemove) OnRemove(AComponent);
    }

    std::vector<std::string>& Log;
    std::function<void(TComponent*)> OnRemove;

protected:
    void BeforeDestruction() noexcept override {
        // The derived part is whole here: its members can still be used.
        Log.push_back(*Payload + " tears down");
        TComponent::BeforeDestruction();
    }

private:
    std::unique_ptr<std::string> Payload;
};

class ComponentTest : public ::testing::Test {
protected:
    void SetUp() override { Start = TComponent::InstanceCount(); }
    void TearDown() override { EXPECT_EQ(TComponent::InstanceCount(), Start); }
    int Start = 0;
    std::vector<std::string> Log;
};

TEST_F(ComponentTest, OwnerHoldsItsComponentsInCreationOrderAndFindsThemByName) {
    TComponent Owner(nullptr);
    Owner.SetName("Form1");
    auto* A = new TProbe(&Owner, "Alpha", Log);
    auto* B = new TProbe(&Owner, "Beta", Log);
    ASSERT_EQ(Owner.GetComponentCount(), 2);
    EXPECT_EQ(Owner.GetComponent(0), A);
    EXPECT_EQ(Owner.GetComponent(1), B);
    EXPECT_EQ(A->GetOwner(), &Owner);
    EXPECT_EQ(Owner.FindComponent("BETA"), B);  // ASCII case ignored
    EXPECT_EQ(Owner.FindComponent("Gamma"), nullptr);
    EXPECT_EQ(Owner.FindComponent(""), nullptr);
    EXPECT_THROW_MSG(Owner.GetComponent(2), EListError, "List index out of bounds (2) in the components of 'Form1'");
    EXPECT_THROW_MSG(B->SetName("alpha"), EComponentError, "A component named alpha already exists in Form1");
    EXPECT_THROW_MSG(B->SetName("1st"), EComponentError, "'1st' is not a valid component name");
    EXPECT_EQ(B->GetName(), "Beta");
}

TEST_F(ComponentTest, OwnerFreesLastCreatedFirstAndEachTearsDownWhileWhole) {
    {
        TComponent Owner(nullptr);
        new TProbe(&Owner, "Alpha", Log);
        new TProbe(&Owner, "Beta", Log);
        Log.clear();
    }
    // Releasing everything, the owner tells no sibling of the others...
    EXPECT_EQ(Log, (std::vector<std::string>{"Beta tears down", "Alpha tears down"}));
    // ...but a free-notification link is always told.
    Log.clear();
    {
        TComponent Owner(nullptr);
        auto* Alpha = new TProbe(&Owner, "Alpha", Log);
        Alpha->FreeNotification(new TProbe(&Owner, "Beta", Log));
        Log.clear();
    }
    EXPECT_EQ(Log, (std::vector<std::string>{"Beta tears down", "Alpha heard remove Beta", "Alpha tears down"}));
}

TEST_F(ComponentTest, FreeAndPlainDeleteOfAnOwnedComponentBothTearDown) {
    TComponent Owner(nullptr);
    auto* Watcher = new TProbe(&Owner, "Watcher", Log);
    auto* A = new TProbe(&Owner, "A", Log);
    auto* B = new TProbe(&Owner, "B", Log);
    Log.clear();
    A->Free();
    delete B;  // a plain delete still runs the step while B is whole
    EXPECT_EQ(Log, (std::vector<std::string>{"A tears down", "Watcher heard remove A", "B heard remove A",
                                             "B tears down", "Watcher heard remove B"}));
    EXPECT_EQ(Owner.GetComponentCount(), 1);
    EXPECT_EQ(Owner.GetComponent(0), Watcher);
}

TEST_F(ComponentTest, FreeNotificationReachesAcrossOwnersInBothDirections) {
    auto FormA = MakeUniqueComponent<TComponent>(nullptr);
    auto FormB = MakeUniqueComponent<TComponent>(nullptr);
    auto* A = new TProbe(FormA.get(), "A", Log);
    auto* B = new TProbe(FormB.get(), "B", Log);
    A->FreeNotification(B);
    B->Free();
    EXPECT_EQ(Log, (std::vector<std::string>{"B tears down", "A heard remove B"}));
    // The link was dropped on both sides: A's end finds nothing to tell.
    Log.clear();
    A->Free();
    EXPECT_EQ(Log, (std::vector<std::string>{"A tears down"}));
}

// The guard turns null before the removal notices go out, and still tells
// the notice of its component from the notices of others.
TEST_F(ComponentTest, GuardedPointerTurnsNullWhenTheTeardownReachesTheBase) {
    std::vector<std::string> Heard;
    TComponentPtr<TProbe> Guard;
    auto Form = MakeUniqueComponent<TComponent>(nullptr);
    auto* A = new TProbe(Form.get(), "A", Log);
    auto* B = new TProbe(Form.get(), "B", Log);
    auto* Watcher = new TProbe(Form.get(), "Watcher", Log);
    Guard = A;
    EXPECT_EQ(Guard.get(), A);
    EXPECT_TRUE(Guard);
    EXPECT_TRUE(Guard.Refers(A));
    EXPECT_FALSE(Guard.Refers(B));
    Watcher->OnRemove = [&](TComponent* C) {
        Heard.push_back(C->GetName() + (Guard ? " guard set" : " guard null") + (Guard.Refers(C) ? ", its own" : ""));
    };
    B->Free();
    A->Free();
    EXPECT_EQ(Heard, (std::vector<std::string>{"B guard set", "A guard null, its own"}));
    EXPECT_EQ(Guard.get(), nullptr);
    EXPECT_FALSE(Guard);
    Guard = nullptr;
    EXPECT_EQ(Guard.get(), nullptr);
    EXPECT_TRUE(Guard.Refers(nullptr));
}

TEST_F(ComponentTest, InsertAndRemoveMoveAComponentBetweenOwners) {
    TComponent FormA(nullptr);
    auto* Watcher = new TProbe(&FormA, "Watcher", Log);
    auto Orphan = MakeUniqueComponent<TProbe>(nullptr, "Orphan", Log);
    FormA.InsertComponent(Orphan.get());
    TProbe* Moved = Orphan.release();  // FormA owns it now
    EXPECT_EQ(Moved->GetOwner(), &FormA);
    auto Other = MakeUniqueComponent<TProbe>(nullptr, "watcher", Log);
    EXPECT_THROW_MSG(FormA.InsertComponent(Other.get()), EComponentError, "A component named watcher already exists");
    EXPECT_THROW(FormA.InsertComponent(Moved), EComponentError);  // already has an owner
    FormA.RemoveComponent(Moved);
    EXPECT_EQ(Moved->GetOwner(), nullptr);
    EXPECT_EQ(FormA.GetComponentCount(), 1);
    EXPECT_EQ(Log.back(), "Watcher heard remove Orphan");
    Moved->Free();
    (void)Watcher;
}

TEST_F(ComponentTest, LoadingAndDesigningFlags) {
    TComponent Owner(nullptr);
    auto* Child = new TComponent(&Owner);
    auto* Grandchild = new TComponent(Child);
    Owner.SetLoading(true);
    EXPECT_TRUE(Owner.HasState(csLoading));
    EXPECT_FALSE(Child->HasState(csLoading));  // Loading is set per component
    Owner.Loaded();
    EXPECT_FALSE(Owner.HasState(csLoading));
    Owner.SetDesigning(true);
    EXPECT_TRUE(Grandchild->HasState(csDesigning));  // Designing reaches everything owned
    Owner.SetDesigning(false, false);
    EXPECT_FALSE(Owner.HasState(csDesigning));
    EXPECT_TRUE(Child->HasState(csDesigning));
}

TEST(ComponentDeathTest, RemovingAComponentOneDoesNotOwnStops) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            TComponent FormA(nullptr);
            FormA.SetName("FormA");
            TComponent FormB(nullptr);
            auto* C = new TComponent(&FormB);
            C->SetName("Button1");
            FormA.RemoveComponent(C);
        },
        "Plotvane internal error at .*: 'FormA' \\(TComponent\\) was asked to remove 'Button1' \\(TComponent\\), "
        "which it does not own \\(owner: an unnamed TComponent\\)");
}

}  // namespace
}  // namespace pv
