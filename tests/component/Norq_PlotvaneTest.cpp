// The component's life: construction defaults, the refresh and its load
// gate, the preview image, rendering, and destruction in every order.

#include "component/Norq_Plotvane.h"

#include <gtest/gtest.h>

#include "tests/component/Fixture.h"
#include "tests/support/ThrowMessage.h"
#include "tests/support/LiveComponents.h"

namespace Norq_Plotvane::testing {
namespace {

TEST_F(PlotvaneTest, NewComponentHasItsInitialValues) {
    EXPECT_TRUE(Chart->GetBMPPicture() != nullptr);  // renders once; check the rest on a fresh one
    TNorq_DBPlotvane Fresh(nullptr);
    EXPECT_EQ(Fresh.GetPreviewImage(), nullptr);
    EXPECT_EQ(Fresh.GetDataSource(), nullptr);
    EXPECT_EQ(Fresh.GetTitleText()->GetCount(), 1);
    EXPECT_EQ(Fresh.GetTitleText()->Get(0), "Norq_DBPlotvane");
    EXPECT_EQ(Fresh.GetTitleColor(), 0x20000000u);
    EXPECT_EQ(Fresh.GetColor(), 0x80000005u);
    EXPECT_TRUE(Fresh.GetLegendVisible());
    EXPECT_EQ(static_cast<int>(Fresh.GetLegendStyle()), 2);
    EXPECT_EQ(Fresh.GetSeriesColor(), 0xFF0000u);
    EXPECT_EQ(Fresh.GetSeriesColorNegative(), 0x0000FFu);
    EXPECT_EQ(Fresh.GetSeriesColorMode(), TSeriesColorMode::scColorEachPoint);
    EXPECT_EQ(Fresh.GetSeriesStyle(), TSeriesStyle::ssLineSeries);
    EXPECT_NE(dynamic_cast<TBarSeries*>(Fresh.GetChartSeries()), nullptr);
    EXPECT_TRUE(Fresh.GetChartSeries()->GetColorEachPoint());
    EXPECT_EQ(Fresh.GetChartSeries()->GetParentChart(), Fresh.GetInternalChart());
    EXPECT_EQ(Fresh.GetJPEGQuality(), 80);
    EXPECT_EQ(Fresh.GetPreviewFormat(), TPreviewFormat::pfBMP);
    EXPECT_EQ(Fresh.GetInternalChart()->GetBevelOuter(), TBevelCut::bvNone);
    EXPECT_EQ(Fresh.GetInternalChart()->GetBevelInner(), TBevelCut::bvNone);
    EXPECT_FALSE(Fresh.GetPointerVisible());
    EXPECT_FALSE(Fresh.GetPointerDraw3D());
    EXPECT_EQ(static_cast<int>(Fresh.GetPointerStyle()), 0);
    EXPECT_EQ(Fresh.GetPointerHorizSize(), 4);
    EXPECT_EQ(Fresh.GetPointerVertSize(), 4);
    // Nothing was rendered by construction.
    EXPECT_TRUE(Fresh.GetResponseStream()->GetSize() == 0);
    EXPECT_EQ(Fresh.GetChartDataLink()->OwnerComponent, &Fresh);
    EXPECT_FALSE(Fresh.GetChartDataLink()->GetVisualControl());
    EXPECT_EQ(Fresh.GetChartDataLink()->GetDataSource(), nullptr);
    // The chart is owned by the component, the series by the chart.
    EXPECT_EQ(Fresh.GetInternalChart()->GetOwner(), &Fresh);
    EXPECT_EQ(Fresh.GetChartSeries()->GetOwner(), Fresh.GetInternalChart());
}

TEST_F(PlotvaneTest, RefreshWithoutPreviewImageRendersNothing) {
    Chart->DrawPreviewImage();
    EXPECT_EQ(AfterDrawCalls, 0);
    Chart->SetTitleColor(pv::clRed);
    EXPECT_EQ(AfterDrawCalls, 0);
    EXPECT_EQ(Chart->GetTitleColor(), pv::clRed);
}

TEST_F(PlotvaneTest, AttachingAnImageEmptiesAndFillsIt) {
    Image->GetPicture()->GetBitmap()->SetSize(3, 3, pv::clRed);
    Chart->SetPreviewImage(Image);
    EXPECT_EQ(Chart->GetPreviewImage(), Image);
    EXPECT_EQ(AfterDrawCalls, 1);
    EXPECT_EQ(LastSender, Chart);
    EXPECT_EQ(Image->GetPicture()->GetWidth(), Chart->GetWidth());
    EXPECT_EQ(Image->GetPicture()->GetHeight(), Chart->GetHeight());

    // The same image again: nothing is cleared or drawn.
    Image->GetPicture()->GetBitmap()->SetSize(2, 2, pv::clRed);
    Chart->SetPreviewImage(Image);
    EXPECT_EQ(AfterDrawCalls, 1);
    EXPECT_EQ(Image->GetPicture()->GetWidth(), 2);

    // nil only drops the reference; the old image keeps what it shows.
    Chart->SetPreviewImage(nullptr);
    EXPECT_EQ(Chart->GetPreviewImage(), nullptr);
    EXPECT_EQ(Image->GetPicture()->GetWidth(), 2);
}

TEST_F(PlotvaneTest, PreviewIsAnIndependentCopyOfTheSnapshot) {
    Attach();
    pv::TBitmap* Preview = Image->GetPicture()->GetBitmap();
    pv::TBitmap* Snapshot = Chart->GetBMPPicture();
    EXPECT_NE(Preview, Snapshot);
    ASSERT_EQ(Preview->GetWidth(), Snapshot->GetWidth());
    Preview->SetPixel(0, 0, pv::clLime);
    EXPECT_NE(Snapshot->GetPixel(0, 0), pv::clLime);
}

TEST_F(PlotvaneTest, LoadGateHoldsRefreshesUntilLoaded) {
    Chart->SetLoading(true);
    Chart->SetPreviewImage(Image);
    EXPECT_TRUE(Image->GetPicture()->GetEmpty());
    Chart->SetTitleColor(pv::clRed);
    Chart->SetWidth(300);
    Chart->SetPointerHorizSize(10);
    EXPECT_EQ(AfterDrawCalls, 0);
    // Pictures keep what they hold while the gate is closed.
    EXPECT_TRUE(Chart->GetGIFPicture()->GetEmpty());
    EXPECT_TRUE(Chart->GetBMPPicture()->GetEmpty());

    Chart->Loaded();
    EXPECT_FALSE(Chart->HasState(pv::csLoading));
    EXPECT_EQ(AfterDrawCalls, 1);
    EXPECT_EQ(Image->GetPicture()->GetWidth(), 300);
}

TEST_F(PlotvaneTest, DesignerRendersWhileLoadingButNeverCallsOnAfterDraw) {
    Chart->SetDesigning(true);
    Chart->SetLoading(true);
    Chart->SetPreviewImage(Image);
    EXPECT_EQ(Image->GetPicture()->GetWidth(), Chart->GetWidth());
    Chart->SetWidth(320);
    EXPECT_EQ(Image->GetPicture()->GetWidth(), 320);
    Chart->Loaded();
    Chart->SetHeight(200);
    EXPECT_EQ(Image->GetPicture()->GetHeight(), 200);
    EXPECT_EQ(AfterDrawCalls, 0);
}

TEST_F(PlotvaneTest, PreviewFormatUnchangedDoesNothing) {
    Attach();
    Chart->SetPreviewFormat(TPreviewFormat::pfBMP);
    EXPECT_EQ(AfterDrawCalls, 0);
}

TEST_F(PlotvaneTest, SnapshotHasTheChartSizeAndOneAliveAtATime) {
    Chart->SetWidth(123);
    Chart->SetHeight(45);
    pv::TBitmap* First = Chart->GetBMPPicture();
    EXPECT_EQ(First->GetWidth(), 123);
    EXPECT_EQ(First->GetHeight(), 45);
    EXPECT_EQ(Chart->GetGIFPicture()->GetWidth(), 123);
    EXPECT_EQ(Chart->GetJPEGPicture()->GetHeight(), 45);
    // Accessors render but never call OnAfterDraw or touch the preview.
    EXPECT_EQ(AfterDrawCalls, 0);
    EXPECT_TRUE(Image->GetPicture()->GetEmpty());
}

TEST_F(PlotvaneTest, ColourPassFollowsTheMode) {
    TChartSeries* S = Chart->GetChartSeries();
    S->Add(5, "a");
    S->Add(-3, "b");
    S->Add(0.0, "c");
    Chart->SetSeriesColorMode(TSeriesColorMode::scPositiveNegative);
    EXPECT_FALSE(S->GetColorEachPoint());
    Chart->DrawInternalImages();
    EXPECT_EQ(S->GetValueColor(0), pv::clBlue);
    EXPECT_EQ(S->GetValueColor(1), pv::clRed);
    EXPECT_EQ(S->GetValueColor(2), pv::clBlue);  // exactly 0.0 counts as positive

    // A new series colour recolours the non-negative points at the next render.
    Chart->SetSeriesColor(pv::clGreen);
    Chart->DrawInternalImages();
    EXPECT_EQ(S->GetValueColor(0), pv::clGreen);

    // Single colour keeps what the last pass set.
    Chart->SetSeriesColorMode(TSeriesColorMode::scSingleColor);
    Chart->SetSeriesColor(pv::clYellow);
    Chart->DrawInternalImages();
    EXPECT_EQ(S->GetValueColor(0), pv::clGreen);
    EXPECT_EQ(S->GetValueColor(1), pv::clRed);

    Chart->SetSeriesColorMode(TSeriesColorMode::scColorEachPoint);
    EXPECT_TRUE(S->GetColorEachPoint());
    Chart->DrawInternalImages();
    for (int I = 0; I < S->Count(); ++I) EXPECT_EQ(S->GetValueColor(I), pv::clDefault);
}

TEST_F(PlotvaneTest, EmptySeriesStillRenders) {
    Chart->SetSeriesColorMode(TSeriesColorMode::scPositiveNegative);
    EXPECT_FALSE(Chart->GetBMPPicture()->GetEmpty());
    EXPECT_FALSE(Chart->GetGIFPicture()->GetEmpty());
    EXPECT_FALSE(Chart->GetJPEGPicture()->GetEmpty());
}

TEST_F(PlotvaneTest, JPEGQualityIsKeptAndRangeChecked) {
    Attach();
    Chart->SetJPEGQuality(80);
    EXPECT_EQ(AfterDrawCalls, 0);
    Chart->SetJPEGQuality(55);
    EXPECT_EQ(Chart->GetJPEGQuality(), 55);
    EXPECT_EQ(AfterDrawCalls, 1);
    EXPECT_EQ(Chart->GetJPEGPicture()->GetCompressionQuality(), 55);
    for (int Bad : {0, 101, -5}) {
        EXPECT_THROW_MSG(Chart->SetJPEGQuality(Bad), pv::ERangeError,
                         "JPEGQuality " + std::to_string(Bad) + " of 'Chart1' is out of range 1..100");
    }
    EXPECT_EQ(Chart->GetJPEGQuality(), 55);
    EXPECT_EQ(AfterDrawCalls, 1);
}

TEST_F(PlotvaneTest, RefusedSizeKeepsTheOldValueAndDoesNotRefresh) {
    Attach();
    EXPECT_THROW_MSG(Chart->SetWidth(0), pv::EInvalidGraphic, "Chart Width 0 of 'Chart1' is out of range 1..16384");
    EXPECT_THROW(Chart->SetHeight(16385), pv::EInvalidGraphic);
    EXPECT_EQ(Chart->GetWidth(), pv::TControl::DefaultWidth);
    EXPECT_EQ(Chart->GetHeight(), pv::TControl::DefaultHeight);
    EXPECT_EQ(AfterDrawCalls, 0);
}

// Destruction in every order a host can cause.

TEST(PlotvaneLifetime, ImageDestroyedBeforeTheComponent) {
    pv::test::TLiveComponentsCheck LiveComponents;
    pv::TComponent Module(nullptr);
    auto* Chart = new TNorq_DBPlotvane(&Module);
    auto* Image = new pv::TImage(&Module);
    Chart->SetPreviewImage(Image);
    delete Image;
    EXPECT_EQ(Chart->GetPreviewImage(), nullptr);
    Chart->SetTitleColor(pv::clRed);  // refresh with no image: nothing touched
    Chart->DrawPreviewImage();
}

TEST(PlotvaneLifetime, ImageOwnedElsewhereDiesFirst) {
    pv::test::TLiveComponentsCheck LiveComponents;
    auto FormA = std::make_unique<pv::TComponent>(nullptr);
    auto FormB = std::make_unique<pv::TComponent>(nullptr);
    auto* Chart = new TNorq_DBPlotvane(FormA.get());
    auto* Image = new pv::TImage(FormB.get());
    Chart->SetPreviewImage(Image);
    FormB.reset();
    EXPECT_EQ(Chart->GetPreviewImage(), nullptr);
    Chart->SetWidth(200);
}

TEST(PlotvaneLifetime, ComponentDestroyedBeforeItsImage) {
    pv::test::TLiveComponentsCheck LiveComponents;
    pv::TComponent Module(nullptr);
    auto* Image = new pv::TImage(&Module);
    {
        TNorq_DBPlotvane Chart(nullptr);
        Chart.SetPreviewImage(Image);
    }
    delete Image;  // no free-notification link may be left dangling
}

TEST(PlotvaneLifetime, OwnerDestroysEverythingInEitherCreationOrder) {
    pv::test::TLiveComponentsCheck LiveComponents;
    for (bool ImageFirst : {false, true}) {
        auto Module = std::make_unique<pv::TComponent>(nullptr);
        pv::TImage* Image = nullptr;
        if (ImageFirst) Image = new pv::TImage(Module.get());
        auto* Chart = new TNorq_DBPlotvane(Module.get());
        if (!ImageFirst) Image = new pv::TImage(Module.get());
        Chart->SetPreviewImage(Image);
        Module.reset();
    }
}

TEST(PlotvaneLifetime, NameClashIsAClearError) {
    pv::test::TLiveComponentsCheck LiveComponents;
    pv::TComponent Module(nullptr);
    Module.SetName("Module1");
    auto* A = new TNorq_DBPlotvane(&Module);
    A->SetName("Chart");
    auto* B = new TNorq_DBPlotvane(&Module);
    EXPECT_THROW_MSG(B->SetName("chart"), pv::EComponentError, "A component named chart already exists in Module1");
    EXPECT_EQ(B->GetName(), "");
}

}  // namespace
}  // namespace Norq_Plotvane::testing
