#include "platform/rtl/Strings.h"

#include "platform/rtl/Exception.h"

namespace pv {

bool SameText(std::string_view A, std::string_view B) {
    if (A.size() != B.size()) return false;
    auto Lower = [](char C) { return (C >= 'A' && C <= 'Z') ? char(C - 'A' + 'a') : C; };
    for (std::size_t I = 0; I < A.size(); ++I)
        if (Lower(A[I]) != Lower(B[I])) return false;
    return true;
}

int TStrings::IndexOf(std::string_view S) const {
    for (int I = 0; I < GetCount(); ++I)
        if (Get(I) == S) return I;
    return -1;
}

std::string TStrings::GetText() const {
    std::string R;
    for (int I = 0; I < GetCount(); ++I) {
        R += Get(I);
        R += '\n';
    }
    return R;
}

void TStrings::SetText(std::string_view Text) {
    BeginUpdate();
    Clear();
    std::size_t Start = 0;
    while (Start < Text.size()) {
        std::size_t End = Text.find('\n', Start);
        if (End == std::string_view::npos) End = Text.size();
        std::string_view Line = Text.substr(Start, End - Start);
        if (!Line.empty() && Line.back() == '\r') Line.remove_suffix(1);
        Add(std::string(Line));
        Start = End + 1;
    }
    EndUpdate();
}

std::vector<std::string> TStrings::ToVector() const {
    std::vector<std::string> R;
    R.reserve(static_cast<std::size_t>(GetCount()));
    for (int I = 0; I < GetCount(); ++I) R.push_back(Get(I));
    return R;
}

bool TStrings::Equals(const TStrings& Other) const {
    if (GetCount() != Other.GetCount()) return false;
    for (int I = 0; I < GetCount(); ++I)
        if (Get(I) != Other.Get(I)) return false;
    return true;
}

void TStrings::Assign(const TPersistent& Source) {
    if (auto* S = dynamic_cast<const TStrings*>(&Source)) {
        if (S == this) return;
        // Copy first: Source may be affected by our own change handlers.
        std::vector<std::string> Lines = S->ToVector();
        BeginUpdate();
        Clear();
        for (auto& L : Lines) Add(L);
        EndUpdate();
        return;
    }
    TPersistent::Assign(Source);
}

void TStrings::BeginUpdate() {
    if (FUpdateCount++ == 0) SetUpdateState(true);
}

void TStrings::EndUpdate() {
    if (FUpdateCount == 0) return;
    if (--FUpdateCount == 0) SetUpdateState(false);
}

void TStringList::CheckIndex(int Index, bool AllowEnd) const {
    int Limit = GetCount() + (AllowEnd ? 1 : 0);
    if (Index < 0 || Index >= Limit)
        throw EListError("List index out of bounds (" + std::to_string(Index) + "), the list has " +
                         std::to_string(GetCount()) + " lines");
}

const std::string& TStringList::Get(int Index) const {
    CheckIndex(Index, false);
    return FItems[static_cast<std::size_t>(Index)];
}

void TStringList::Put(int Index, const std::string& S) {
    CheckIndex(Index, false);
    FItems[static_cast<std::size_t>(Index)] = S;
    Changed();
}

void TStringList::Insert(int Index, const std::string& S) {
    CheckIndex(Index, true);
    FItems.insert(FItems.begin() + Index, S);
    Changed();
}

void TStringList::Delete(int Index) {
    CheckIndex(Index, false);
    FItems.erase(FItems.begin() + Index);
    Changed();
}

void TStringList::Clear() {
    if (FItems.empty()) return;
    FItems.clear();
    Changed();
}

void TStringList::Changed() {
    if (UpdateCount() > 0) {
        FChangedWhileUpdating = true;
        return;
    }
    if (OnChange.Assigned()) OnChange(this);
}

void TStringList::SetUpdateState(bool Updating) {
    if (!Updating && FChangedWhileUpdating) {
        FChangedWhileUpdating = false;
        if (OnChange.Assigned()) OnChange(this);
    }
}

void TStrings::AssignLines(const TStrings* Source) {
    if (Source == this) return;
    if (Source)
        Assign(*Source);
    else
        Clear();
}

}  // namespace pv
