// The form reader on any text, with every class a host form may hold. A
// form that reads is written back, read again and written again: the two
// written texts must be the same bytes.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "host/FormClasses.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/FormReader.h"
#include "platform/rtl/FormWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    static const bool Registered = (plotvane::RegisterFormClasses(), true);
    (void)Registered;
    const std::string_view Text(reinterpret_cast<const char*>(Data), Size);
    pv::TFormReadOptions Options = plotvane::HostReadOptions(false);
    // Relative file names in a form lead nowhere.
    Options.BaseDirectory = "/nonexistent/plotvane-fuzz";
    std::string Written;
    try {
        auto Module = pv::ReadFormFromString(Text, "fuzz.form", Options);
        Written = pv::WriteForm(*Module);
    } catch (const pv::Exception&) {
        return 0;  // refused with a message: what the reader is for
    }
    try {
        auto Again = pv::ReadFormFromString(Written, "written.form", Options);
        if (pv::WriteForm(*Again) != Written) std::abort();  // a form that does not read back as written
    } catch (const pv::Exception&) {
        std::abort();  // the writer wrote what the reader refuses
    }
    try {
        pv::ParseFormValue(Text);
    } catch (const pv::Exception&) {
    }
    return 0;
}
