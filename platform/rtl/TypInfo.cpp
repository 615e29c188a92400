#include "platform/rtl/TypInfo.h"

namespace pv {

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
