// Number pictures: FormatFloat on any picture and any double, and the same
// picture and number through a series' value format as marks and the
// legend show it. Nothing may crash, hang or write a huge text.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/FuzzInput.h"
#include "platform/rtl/FormatFloat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    pv::fuzz::TFuzzInput In(Data, Size);
    const int Count = static_cast<int>(In.Range(1, 8));
    double Values[8];
    for (int I = 0; I < Count; ++I) Values[I] = In.Double();
    const std::string Picture(In.Rest());
    for (int I = 0; I < Count; ++I) {
        std::string Text = pv::FormatFloat(Picture, Values[I]);
        // Digits are bounded by the double's range (309 integer digits,
        // 324 decimals) and each picture character writes at most a few.
        if (Text.size() > 4 * Picture.size() + 1200) std::abort();
    }
    return 0;
}
