#include "platform/rtl/Component.h"

#include <algorithm>
#include <array>
#include <atomic>

#include "platform/rtl/Exception.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/TypInfo.h"
#include "platform/rtl/Verify.h"

namespace pv {

namespace {

bool IsValidIdent(std::string_view S) {
    if (S.empty()) return false;
    auto Alpha = [](char C) { return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || C == '_'; };
    if (!Alpha(S[0])) return false;
    return std::all_of(S.begin() + 1, S.end(), [&](char C) { return Alpha(C) || (C >= '0' && C <= '9'); });
}

const std::array<TPropInfo, 2> ComponentProps{{
    {"Name", TTypeKind::tkString, nullptr, {},
     [](const TObject& O) -> TPropValue { return static_cast<const TComponent&>(O).GetName(); },
     [](TObject& O, const TPropValue& V) { static_cast<TComponent&>(O).SetName(std::get<std::string>(V)); }},
    {"Tag", TTypeKind::tkInteger, nullptr, {},
     [](const TObject& O) -> TPropValue { return std::int64_t{static_cast<const TComponent&>(O).GetTag()}; },
     [](TObject& O, const TPropValue& V) {
         static_cast<TComponent&>(O).SetTag(static_cast<std::int32_t>(std::get<std::int64_t>(V)));
     }},
}};

const TClassInfo ComponentClassInfo{"TComponent", nullptr, ComponentProps};

}  // namespace

const TClassInfo& TComponent::StaticClassInfo() { return ComponentClassInfo; }
const TClassInfo* TComponent::ClassInfo() const { return &ComponentClassInfo; }

namespace {
std::atomic<int> LiveComponents{0};
}  // namespace

int TComponent::InstanceCount() { return LiveComponents.load(); }

TComponent::TComponent(TComponent* AOwner) : FAlive(std::make_shared<int>(0)) {
    if (AOwner) AOwner->InsertComponent(this);
    ++LiveComponents;
}

TComponent::~TComponent() {
    // A component on the stack, or deleted directly, has not been through
    // its teardown step yet; only the base part of it is left to run.
    Destroying();
    --LiveComponents;
}

void TComponent::Free() {
    // A component whose step is already under way is deleted by whoever
    // started it.
    if (HasState(csDestroying)) return;
    Destroying();
    delete this;
}

void TComponent::Destroying() noexcept {
    if (HasState(csDestroying)) return;
    FComponentState |= csDestroying;
    BeforeDestruction();
}

void TComponent::BeforeDestruction() noexcept {
    // Guarded pointers turn null before this part of the step tells anyone,
    // so a handler of its notices that looks through one never reaches an
    // object that is going away. (While the derived classes' parts of the
    // step ran, before this one, the object was whole and its guards led to
    // it.)
    FAlive.reset();
    // Tell every component linked by FreeNotification. Each link is dropped
    // on both sides before the call, so a handler may freely add or remove
    // other links.
    while (!FFreeNotifies.empty()) {
        TComponent* Other = FFreeNotifies.back();
        FFreeNotifies.pop_back();
        auto& Theirs = Other->FFreeNotifies;
        Theirs.erase(std::remove(Theirs.begin(), Theirs.end(), this), Theirs.end());
        Other->Notification(this, TOperation::opRemove);
    }
    DestroyComponents();
    if (!FOwner) return;
    if (FOwner->HasState(csDestroying)) {
        // The owner is releasing all it owns: this one only leaves its list;
        // neither the owner nor the siblings released with it are told (the
        // components linked to it by FreeNotification were, above).
        FOwner->Remove(this);
    } else {
        FOwner->RemoveComponent(this);
    }
}

TComponent* TComponent::GetComponent(int Index) const {
    if (Index < 0 || Index >= GetComponentCount())
        throw EListError("List index out of bounds (" + std::to_string(Index) + ") in the components of '" +
                         FName + "'");
    return FComponents[static_cast<std::size_t>(Index)];
}

int TComponent::GetComponentIndex() const {
    if (!FOwner) return -1;
    const auto& List = FOwner->FComponents;
    auto It = std::find(List.begin(), List.end(), this);
    return It == List.end() ? -1 : static_cast<int>(It - List.begin());
}

void TComponent::SetComponentIndex(int Index) {
    const int From = GetComponentIndex();
    if (From < 0) return;
    auto& List = FOwner->FComponents;
    const int To = std::clamp(Index, 0, static_cast<int>(List.size()) - 1);
    if (To == From) return;
    auto At = [&](int I) { return List.begin() + I; };
    if (To < From)
        std::rotate(At(To), At(From), At(From + 1));
    else
        std::rotate(At(From), At(From + 1), At(To + 1));
}

std::size_t TComponent::TNameHash::operator()(std::string_view S) const noexcept {
    // FNV-1a over the bytes with ASCII letters in lower case.
    std::size_t H = 14695981039346656037ull;
    for (char C : S) {
        if (C >= 'A' && C <= 'Z') C = char(C - 'A' + 'a');
        H = (H ^ static_cast<unsigned char>(C)) * 1099511628211ull;
    }
    return H;
}

bool TComponent::TNameEqual::operator()(std::string_view A, std::string_view B) const noexcept {
    return SameText(A, B);
}

TComponent* TComponent::FindComponent(std::string_view AName) const {
    if (AName.empty()) return nullptr;
    auto It = FNameIndex.find(AName);
    return It == FNameIndex.end() ? nullptr : It->second;
}

void TComponent::ValidateRename(const std::string& NewName) const {
    if (!NewName.empty() && !IsValidIdent(NewName))
        throw EComponentError("'" + NewName + "' is not a valid component name");
    if (FOwner && !NewName.empty()) {
        TComponent* Other = FOwner->FindComponent(NewName);
        if (Other && Other != this)
            throw EComponentError("A component named " + NewName + " already exists" +
                                  (FOwner->FName.empty() ? std::string() : " in " + FOwner->FName));
    }
}

void TComponent::SetName(const std::string& NewName) {
    if (NewName == FName) return;
    ValidateRename(NewName);
    if (FOwner) {
        if (!NewName.empty()) FOwner->FNameIndex.reserve(FOwner->FNameIndex.size() + 1);  // may throw; nothing changed yet
        if (!FName.empty()) FOwner->FNameIndex.erase(FName);
    }
    FName = NewName;
    if (FOwner && !FName.empty()) FOwner->FNameIndex.emplace(FName, this);
}

void TComponent::SetLoading(bool Value) {
    if (Value)
        FComponentState |= csLoading;
    else
        FComponentState &= ~TComponentState{csLoading};
}

void TComponent::SetDesigning(bool Value, bool SetChildren) {
    if (Value)
        FComponentState |= csDesigning;
    else
        FComponentState &= ~TComponentState{csDesigning};
    if (SetChildren)
        for (TComponent* C : FComponents) C->SetDesigning(Value, true);
}

void TComponent::Loaded() { SetLoading(false); }

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
    if (Operation != TOperation::opRemove) return;
    if (AComponent) RemoveFreeNotification(AComponent);
    // A handler may destroy or create components, so the list is re-read at
    // every step rather than iterated.
    for (std::size_t I = 0; I < FComponents.size(); ++I) {
        TComponent* C = FComponents[I];
        if (C != AComponent) C->Notification(AComponent, Operation);
        if (I < FComponents.size() && FComponents[I] != C) --I;  // C left the list
    }
}

void TComponent::FreeNotification(TComponent* AComponent) {
    if (!AComponent || AComponent == this) return;
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end())
        FFreeNotifies.push_back(AComponent);
    auto& Theirs = AComponent->FFreeNotifies;
    if (std::find(Theirs.begin(), Theirs.end(), this) == Theirs.end()) Theirs.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
    if (!AComponent) return;
    FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent), FFreeNotifies.end());
    auto& Theirs = AComponent->FFreeNotifies;
    Theirs.erase(std::remove(Theirs.begin(), Theirs.end(), this), Theirs.end());
}

void TComponent::InsertComponent(TComponent* AComponent) {
    if (!AComponent) return;
    if (AComponent->FOwner)
        throw EComponentError("Component '" + AComponent->FName + "' already has an owner");
    // Validate the name against the new siblings before anything changes.
    if (!AComponent->FName.empty() && FindComponent(AComponent->FName))
        throw EComponentError("A component named " + AComponent->FName + " already exists" +
                              (FName.empty() ? std::string() : " in " + FName));
    Insert(AComponent);
    Notification(AComponent, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
    if (!AComponent) return;
    PV_VERIFY(AComponent->FOwner == this, DescribeComponent(this) + " was asked to remove " +
                                              DescribeComponent(AComponent) + ", which it does not own (owner: " +
                                              DescribeComponent(AComponent->FOwner) + ")");
    Remove(AComponent);
    Notification(AComponent, TOperation::opRemove);
}

void TComponent::Insert(TComponent* AComponent) {
    if (!AComponent->FName.empty()) FNameIndex.emplace(AComponent->FName, AComponent);
    try {
        FComponents.push_back(AComponent);
    } catch (...) {
        if (!AComponent->FName.empty()) FNameIndex.erase(AComponent->FName);
        throw;
    }
    AComponent->FOwner = this;
}

void TComponent::Remove(TComponent* AComponent) {
    // A component is in the list once; the search starts at the end, where
    // DestroyComponents takes them from.
    auto It = std::find(FComponents.rbegin(), FComponents.rend(), AComponent);
    if (It != FComponents.rend()) FComponents.erase(std::next(It).base());
    if (!AComponent->FName.empty()) {
        auto Named = FNameIndex.find(AComponent->FName);
        if (Named != FNameIndex.end() && Named->second == AComponent) FNameIndex.erase(Named);
    }
    AComponent->FOwner = nullptr;
}

void TComponent::DestroyComponents() {
    while (!FComponents.empty()) {
        TComponent* C = FComponents.back();
        if (C->HasState(csDestroying)) {
            // Its step is running further up the stack, which also deletes
            // it; it only leaves the list here.
            Remove(C);
            Notification(C, TOperation::opRemove);
            continue;
        }
        // Its step ends by leaving this list, with the owner's notice sent
        // while it is still whole.
        C->Free();
        PV_VERIFY(FComponents.empty() || FComponents.back() != C,
                  DescribeComponent(C) + " was freed but is still owned by " + DescribeComponent(this));
    }
}

}  // namespace pv
