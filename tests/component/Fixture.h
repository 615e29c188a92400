#pragma once
// Shared set-up for the component tests: a module that owns a component
// and an image, and a counter of OnAfterDraw calls.

#include <gtest/gtest.h>

#include <memory>

#include "component/Norq_Plotvane.h"

namespace Norq_Plotvane::testing {

class PlotvaneTest : public ::testing::Test {
protected:
    void SetUp() override {
        Module = pv::MakeUniqueComponent<pv::TComponent>(nullptr);
        Chart = new TNorq_DBPlotvane(Module.get());
        Chart->SetName("Chart1");
        Image = new pv::TImage(Module.get());
        Image->SetName("Image1");
        Chart->SetOnAfterDraw(TNotifyEvent([this](pv::TObject* Sender) {
            ++AfterDrawCalls;
            LastSender = Sender;
        }));
    }

    // Attaches the image and forgets the render that caused.
    void Attach() {
        Chart->SetPreviewImage(Image);
        AfterDrawCalls = 0;
    }

    std::uint64_t ChartChanges() const { return Chart->GetInternalChart()->GetChangeCount(); }

    pv::TUniqueComponent<pv::TComponent> Module;
    TNorq_DBPlotvane* Chart = nullptr;
    pv::TImage* Image = nullptr;
    int AfterDrawCalls = 0;
    pv::TObject* LastSender = nullptr;
};

}  // namespace Norq_Plotvane::testing
