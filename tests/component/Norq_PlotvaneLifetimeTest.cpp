// Teardown: the component releases its members in a fixed order while it is
// whole, and every order in which a host can destroy the component, its
// owner, the preview image, the data source and the data set is clean and
// leaves no component behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "platform/db/MemDataSet.h"
#include "tests/component/Fixture.h"

namespace Norq_Plotvane::testing {
namespace {

// Records, at each removal notice it receives, what the chart component
// still holds.
class TReleaseSpy : public pv::TComponent {
public:
    explicit TReleaseSpy(TNorq_DBPlotvane& AChart) : TComponent(nullptr), Chart(AChart) {}
    void Notification(TComponent* AComponent, TOperation Operation) override {
        TComponent::Notification(AComponent, Operation);
        if (Operation != TOperation::opRemove) return;
        std::string What = AComponent == Series ? "series" : AComponent == InternalChart ? "chart" : "other";
        What += Chart.GetResponseStream() ? " stream" : "";
        What += Chart.GetChartDataLink() ? " link" : "";
        Seen.push_back(What);
    }
    TNorq_DBPlotvane& Chart;
    const TComponent* Series = nullptr;
    const TComponent* InternalChart = nullptr;
    std::vector<std::string> Seen;
};

TEST(PlotvaneTeardown, MembersAreReleasedInOrderWhileTheComponentIsWhole) {
    const int Start = pv::TComponent::InstanceCount();
    {
        auto Chart = pv::MakeUniqueComponent<TNorq_DBPlotvane>(nullptr);
        TReleaseSpy Spy(*Chart);
        Spy.Series = Chart->GetChartSeries();
        Spy.InternalChart = Chart->GetInternalChart();
        Spy.FreeNotification(Chart->GetChartSeries());
        Spy.FreeNotification(Chart->GetInternalChart());
        Chart.reset();
        // The stream (and the pictures before it) are gone when the series
        // goes, the series before the chart, the data link last.
        EXPECT_EQ(Spy.Seen, (std::vector<std::string>{"series link", "chart link"}));
    }
    EXPECT_EQ(pv::TComponent::InstanceCount(), Start);
}

TEST(PlotvaneTeardown, TheChartFreesItsOwnSeries) {
    const int Start = pv::TComponent::InstanceCount();
    auto Chart = pv::MakeUniqueComponent<TNorq_DBPlotvane>(nullptr);
    TChartSeries* Series = Chart->GetChartSeries();
    EXPECT_EQ(Series->GetOwner(), Chart->GetInternalChart());
    EXPECT_EQ(Chart->GetInternalChart()->GetOwner(), Chart.get());
    Chart.reset();
    EXPECT_EQ(pv::TComponent::InstanceCount(), Start);
}

// The five objects a host holds, made in one of two orders; each can be
// destroyed by Free(), by a plain delete, or by its owner.
struct THost {
    pv::TUniqueComponent<pv::TComponent> DataModule;
    pv::TUniqueComponent<pv::TComponent> Form;
    pv::TMemDataSet* Data = nullptr;
    pv::TDataSource* Source = nullptr;
    TNorq_DBPlotvane* Chart = nullptr;
    pv::TImage* Image = nullptr;

    explicit THost(bool ChartFirst) {
        DataModule = pv::MakeUniqueComponent<pv::TComponent>(nullptr);
        Form = pv::MakeUniqueComponent<pv::TComponent>(nullptr);
        auto MakeData = [&] {
            Data = new pv::TMemDataSet(DataModule.get());
            Data->AddField("v", pv::TFieldType::ftFloat);
            Data->AppendRecord({3.0});
            Source = new pv::TDataSource(DataModule.get());
            Source->SetDataSet(Data);
        };
        auto MakeChart = [&] {
            Chart = new TNorq_DBPlotvane(Form.get());
            Image = new pv::TImage(Form.get());
        };
        if (ChartFirst) {
            MakeChart();
            MakeData();
        } else {
            MakeData();
            MakeChart();
        }
        Chart->SetPreviewImage(Image);
        Chart->SetYValueSource("v");
        Chart->SetDataSource(Source);
        Data->Open();
    }
};

TEST(PlotvaneTeardown, EveryDestructionOrderIsClean) {
    // 0 data set, 1 source, 2 chart, 3 image, each destroyed by Free or by
    // delete: every order of the four destroyed by hand, then the form and
    // the data module, which own nothing any more. Also, for every first two
    // of an order, those two by hand and the other two left to their owners,
    // the form first or the data module first, so each object also dies
    // with its owner.
    const int Start = pv::TComponent::InstanceCount();
    std::array<int, 4> Order{0, 1, 2, 3};
    int Runs = 0;
    do {
        for (int Owners : {0, 1, 2}) {  // 0: none left to them; 1: the form first; 2: the data module first
            const std::size_t ByHand = Owners == 0 ? 4 : 2;
            // Which of the two the owners take first is theirs to choose.
            if (Owners != 0 && Order[2] > Order[3]) continue;
            for (bool ChartFirst : {false, true})
                for (bool UseFree : {false, true}) {
                    THost H(ChartFirst);
                    auto Destroy = [&](pv::TComponent* C) {
                        if (UseFree)
                            C->Free();
                        else
                            delete C;
                    };
                    for (std::size_t I = 0; I < ByHand; ++I) {
                        switch (Order[I]) {
                            case 0: Destroy(H.Data); H.Data = nullptr; break;
                            case 1: Destroy(H.Source); H.Source = nullptr; break;
                            case 2: Destroy(H.Chart); H.Chart = nullptr; break;
                            case 3: Destroy(H.Image); H.Image = nullptr; break;
                        }
                        if (H.Chart) {
                            // Whatever is left still works.
                            H.Chart->SetTitleColor(H.Chart->GetTitleColor() == pv::clRed ? pv::clBlue : pv::clRed);
                            EXPECT_FALSE(H.Chart->GetBMPPicture()->GetEmpty());
                        }
                        if (H.Data) H.Data->AppendRecord({4.0});
                    }
                    if (Owners == 1) H.Form.reset();
                    H.DataModule.reset();
                    H.Form.reset();
                    ++Runs;
                    ASSERT_EQ(pv::TComponent::InstanceCount(), Start)
                        << "order " << Order[0] << Order[1] << Order[2] << Order[3] << ", " << ByHand
                        << " by hand, owners " << Owners << ", chart first " << ChartFirst << ", free " << UseFree;
                }
        }
    } while (std::next_permutation(Order.begin(), Order.end()));
    EXPECT_EQ(Runs, 24 * 4 + 12 * 2 * 4);
}

TEST(PlotvaneTeardown, ComponentOnTheStackTearsDownWhileWhole) {
    const int Start = pv::TComponent::InstanceCount();
    {
        pv::TComponent Module(nullptr);
        auto* Data = new pv::TMemDataSet(&Module);
        Data->AddField("v", pv::TFieldType::ftFloat);
        auto* Source = new pv::TDataSource(&Module);
        Source->SetDataSet(Data);
        auto* Image = new pv::TImage(&Module);
        {
            TNorq_DBPlotvane Chart(nullptr);
            Chart.SetPreviewImage(Image);
            Chart.SetDataSource(Source);
            Data->Open();
            EXPECT_EQ(Source->GetLinkCount(), 1);
        }
        EXPECT_EQ(Source->GetLinkCount(), 0);
        Data->Close();
        delete Image;  // no free-notification link may be left dangling
    }
    EXPECT_EQ(pv::TComponent::InstanceCount(), Start);
}

TEST(PlotvaneTeardown, FailedConstructionLeavesNothing) {
    // A name clash on the owner is raised by the framework after the
    // component is built; taking it apart again must leave nothing behind.
    const int Start = pv::TComponent::InstanceCount();
    {
        pv::TComponent Module(nullptr);
        auto* Chart = new TNorq_DBPlotvane(&Module);
        Chart->SetName("Chart1");
        auto* Other = new TNorq_DBPlotvane(&Module);
        EXPECT_THROW(Other->SetName("CHART1"), pv::EComponentError);
        Other->Free();
        EXPECT_EQ(Module.GetComponentCount(), 1);
    }
    EXPECT_EQ(pv::TComponent::InstanceCount(), Start);
}

}  // namespace
}  // namespace Norq_Plotvane::testing
