#pragma once
// TLiveComponentsCheck: put one at the top of a lifetime test; when it goes
// out of scope it checks that as many components exist as when it was made,
// so a test finds components left behind, not only memory errors.

#include <gtest/gtest.h>

#include "platform/rtl/Component.h"

namespace pv::test {

class TLiveComponentsCheck {
public:
    TLiveComponentsCheck() : FStart(TComponent::InstanceCount()) {}
    TLiveComponentsCheck(const TLiveComponentsCheck&) = delete;
    TLiveComponentsCheck& operator=(const TLiveComponentsCheck&) = delete;
    ~TLiveComponentsCheck() { EXPECT_EQ(TComponent::InstanceCount(), FStart) << "components were left behind"; }

private:
    int FStart;
};

}  // namespace pv::test
