// TComponent's name index: finding an owned component by name stays right
// through renames, removals, moves between owners and destruction.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/rtl/Component.h"
#include "platform/rtl/Exception.h"

namespace pv {

TEST(ComponentNames, FindComponentFollowsRenamesRemovalsAndMoves) {
    TComponent Owner(nullptr);
    auto* A = new TComponent(&Owner);
    auto* B = new TComponent(&Owner);
    A->SetName("Alpha");
    B->SetName("Beta");
    EXPECT_EQ(Owner.FindComponent("ALPHA"), A);  // ASCII letter case ignored
    EXPECT_EQ(Owner.FindComponent("beta"), B);
    EXPECT_EQ(Owner.FindComponent(""), nullptr);

    A->SetName("Gamma");
    EXPECT_EQ(Owner.FindComponent("Alpha"), nullptr);
    EXPECT_EQ(Owner.FindComponent("gamma"), A);
    // A clash leaves both names as they were.
    EXPECT_THROW(B->SetName("GAMMA"), EComponentError);
    EXPECT_EQ(Owner.FindComponent("Beta"), B);
    EXPECT_EQ(Owner.FindComponent("Gamma"), A);
    // Only the letter case changes: still the same component.
    A->SetName("GAMMA");
    EXPECT_EQ(Owner.FindComponent("gamma"), A);
    A->SetName("");
    EXPECT_EQ(Owner.FindComponent("Gamma"), nullptr);
    B->SetName("Gamma");  // the name is free again
    EXPECT_EQ(Owner.FindComponent("gamma"), B);

    // Moving a component to another owner moves its name with it.
    TComponent Other(nullptr);
    Owner.RemoveComponent(B);
    EXPECT_EQ(Owner.FindComponent("Gamma"), nullptr);
    Other.InsertComponent(B);
    EXPECT_EQ(Other.FindComponent("gamma"), B);
    auto* C = new TComponent(&Owner);
    C->SetName("Gamma");  // no clash: B lives elsewhere now
    EXPECT_EQ(Owner.FindComponent("Gamma"), C);
}

TEST(ComponentNames, ADestroyedComponentLeavesTheIndex) {
    TComponent Owner(nullptr);
    auto* A = new TComponent(&Owner);
    A->SetName("Alpha");
    delete A;
    EXPECT_EQ(Owner.FindComponent("Alpha"), nullptr);
    auto* Again = new TComponent(&Owner);
    Again->SetName("alpha");
    EXPECT_EQ(Owner.FindComponent("ALPHA"), Again);
    EXPECT_EQ(Owner.GetComponentCount(), 1);
}

TEST(ComponentNames, ManySiblingsAreNamedAndFoundThroughTheIndex) {
    constexpr int N = 3000;
    TComponent Owner(nullptr);
    for (int I = 0; I < N; ++I) (new TComponent(&Owner))->SetName("C" + std::to_string(I));
    for (int I = 0; I < N; I += 997)
        ASSERT_EQ(Owner.FindComponent("c" + std::to_string(I)), Owner.GetComponent(I));
    EXPECT_THROW(Owner.GetComponent(5)->SetName("C77"), EComponentError);
    Owner.DestroyComponents();
    EXPECT_EQ(Owner.FindComponent("C1"), nullptr);
}

}  // namespace pv
