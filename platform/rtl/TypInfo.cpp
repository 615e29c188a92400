#include "platform/rtl/TypInfo.h"

#include <charconv>
#include <cmath>

#include "platform/rtl/Exception.h"

namespace pv {

std::string FloatToFormText(double Value) {
    if (!std::isfinite(Value))
        throw EConvertError(std::string(std::isnan(Value) ? "NaN" : Value > 0 ? "+inf" : "-inf") +
                            " is not a finite number and cannot be stored");
    char Buffer[64];
    auto [End, Ec] = std::to_chars(Buffer, Buffer + sizeof Buffer, Value);
    std::string Text(Buffer, Ec == std::errc() ? End : Buffer);
    // Digits only: the reader takes them as an integer, which must fit in 64
    // bits; a longer run goes in exponent form, still the shortest digits.
    if (Text.find_first_of(".e") == std::string::npos && Text.size() > 18) {
        auto [SciEnd, SciEc] = std::to_chars(Buffer, Buffer + sizeof Buffer, Value, std::chars_format::scientific);
        Text.assign(Buffer, SciEc == std::errc() ? SciEnd : Buffer);
    }
    return Text;
}

std::optional<double> FormTextToFloat(std::string_view Text) {
    bool Negative = false;
    if (!Text.empty() && (Text.front() == '-' || Text.front() == '+')) {
        Negative = Text.front() == '-';
        Text.remove_prefix(1);
    }
    if (Text.empty() || Text.front() == '-' || Text.front() == '+') return std::nullopt;
    double Value = 0;
    if (Text.front() == '$') {
        std::uint64_t Bits = 0;
        auto [End, Ec] = std::from_chars(Text.data() + 1, Text.data() + Text.size(), Bits, 16);
        if (Ec != std::errc() || End != Text.data() + Text.size() || Text.size() == 1) return std::nullopt;
        Value = static_cast<double>(Bits);
    } else {
        auto [End, Ec] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
        if (Ec != std::errc() || End != Text.data() + Text.size()) return std::nullopt;
    }
    if (!std::isfinite(Value)) return std::nullopt;
    return Negative ? -Value : Value;
}

int TEnumTypeInfo::IndexOf(std::string_view Name) const {
    for (std::size_t I = 0; I < Names.size(); ++I)
        if (Names[I] == Name) return static_cast<int>(I);
    return -1;
}

bool TClassInfo::InheritsFrom(std::string_view Name) const {
    for (const TClassInfo* C = this; C; C = C->Parent)
        if (C->ClassName == Name) return true;
    return false;
}

std::vector<const TPropInfo*> GetPropList(const TClassInfo& Info) {
    std::vector<const TClassInfo*> Chain;
    for (const TClassInfo* C = &Info; C; C = C->Parent) Chain.push_back(C);
    std::vector<const TPropInfo*> Result;
    for (auto It = Chain.rbegin(); It != Chain.rend(); ++It)
        for (const TPropInfo& P : (*It)->Props) Result.push_back(&P);
    return Result;
}

const TPropInfo* GetPropInfo(const TClassInfo& Info, std::string_view Name) {
    for (const TClassInfo* C = &Info; C; C = C->Parent)
        for (const TPropInfo& P : C->Props)
            if (P.Name == Name) return &P;
    return nullptr;
}

}  // namespace pv
