#pragma once
// TComponent: named objects in an ownership tree, with removal notices.
//
// Ownership: a component created with an owner is owned by it and released
// when the owner is released; one created without an owner belongs to its
// creator (hold it in a TUniqueComponent, or on the stack). Freeing an owned
// component directly is allowed: it leaves its owner's list on the way.
//
// Teardown: destruction starts with one step, BeforeDestruction, that runs
// while the whole object is still alive. In it a component sends its
// removal notices and lets go of what it references; its destructors then
// only release memory. The owner runs the step when it releases what it
// owns, Free() and TUniqueComponent run it for the others, and a destructor
// runs it as a last resort (a component on the stack, or a plain delete).
//
// Removal notices: when a component is destroyed, its owner, the owner's
// other components and every component that asked with FreeNotification
// receive Notification(it, opRemove). When the owner itself is being
// destroyed, its components leave it one by one and only the components
// linked to each by FreeNotification are told (telling every sibling of
// every component would make releasing a form of n components cost n * n
// calls). A reference kept to a component that is not owned is a
// TComponentPtr, which turns null by itself; one that must be dropped when
// its component goes asks for FreeNotification.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/rtl/Object.h"

namespace pv {

enum class TOperation : std::uint8_t { opInsert, opRemove };

// Component state flags.
enum TComponentStateFlag : std::uint32_t {
    csLoading = 1u << 0,     // stored properties are being read
    csReading = 1u << 1,     // the form reader is applying properties
    csDesigning = 1u << 2,   // the component lives in a form designer
    csDestroying = 1u << 3,  // the teardown step has started
};
using TComponentState = std::uint32_t;

class TComponent : public TPersistent {
public:
    explicit TComponent(TComponent* AOwner);
    // Runs the teardown step if nothing ran it before (see Destroying).
    ~TComponent() override;

    // Runs the teardown step, then deletes the component. The way to destroy
    // a component that its owner does not release, or that has no owner.
    void Free();
    // Runs the teardown step once: marks the component csDestroying, then
    // calls BeforeDestruction. Does
    // nothing when the step has already run or is running. A class that
    // overrides BeforeDestruction calls this first in its destructor, so a
    // component deleted directly, or living on the stack, still tears down
    // while its own members are alive.
    void Destroying() noexcept;

    std::string_view ClassName() const override { return "TComponent"; }
    const TClassInfo* ClassInfo() const override;
    static const TClassInfo& StaticClassInfo();

    TComponent* GetOwner() const { return FOwner; }
    // The name: empty, or an identifier unique (ignoring ASCII letter case)
    // among the owner's components. A clash or a bad identifier raises
    // EComponentError naming both.
    const std::string& GetName() const { return FName; }
    void SetName(const std::string& NewName);
    std::int32_t GetTag() const { return FTag; }
    void SetTag(std::int32_t Value) { FTag = Value; }

    int GetComponentCount() const { return static_cast<int>(FComponents.size()); }
    TComponent* GetComponent(int Index) const;
    // The owned component with this name (ASCII case ignored), or nullptr.
    TComponent* FindComponent(std::string_view AName) const;
    // The place of this component in its owner's list, which is the order a
    // form stores the owner's components in; -1 without an owner.
    int GetComponentIndex() const;
    // Moves this component to Index in its owner's list (an index past the
    // end: to the end). Nothing is created or removed, so nobody is told.
    // Does nothing without an owner.
    void SetComponentIndex(int Index);

    TComponentState GetComponentState() const { return FComponentState; }
    bool HasState(TComponentStateFlag Flag) const { return (FComponentState & Flag) != 0; }
    // Sets or clears Loading on this component only; the form reader sets it
    // on every component it creates.
    void SetLoading(bool Value);
    // Sets or clears Designing on this component and everything it owns.
    void SetDesigning(bool Value, bool SetChildren = true);

    // Called by the form reader after all stored properties are read and all
    // references are resolved. The base clears Loading.
    virtual void Loaded();

    // Removal and insertion notices. The owner hears of a component that it
    // gains (opInsert) or loses (opRemove); the base forwards removals to
    // every owned component and drops a free-notification link to a removed
    // one. Insertions are not forwarded: nothing refers to a component
    // before it exists, and forwarding them would make reading a form of n
    // components cost n * n calls.
    virtual void Notification(TComponent* AComponent, TOperation Operation);

    // Asks AComponent to send this component Notification(AComponent,
    // opRemove) when it is destroyed, also across owners. Links are two-way,
    // so either side may die first.
    void FreeNotification(TComponent* AComponent);
    void RemoveFreeNotification(TComponent* AComponent);

    // Moves AComponent into this component's list (it must have no owner).
    void InsertComponent(TComponent* AComponent);
    // Takes AComponent out of this component's list, with a removal notice.
    void RemoveComponent(TComponent* AComponent);
    // Frees every owned component, last created first.
    void DestroyComponents();

    // A token that lives until the base part of the teardown step begins
    // (see BeforeDestruction); TComponentPtr watches it.
    std::weak_ptr<const void> AliveToken() const { return FAlive; }

    // How many components exist in the process right now (constructed and
    // not yet destroyed), for checks that an operation leaves none behind.
    static int InstanceCount();

protected:
    // The teardown step (see the top of this file). An override sends its
    // own notices and detaches from what it references, then calls the
    // base, which turns every TComponentPtr to the component null, tells
    // the free-notification peers, frees the owned components and leaves
    // the owner. It runs from destructors' paths, so
    // an override must not raise: errors of handlers are dropped.
    virtual void BeforeDestruction() noexcept;

private:
    void Insert(TComponent* AComponent);
    void Remove(TComponent* AComponent);
    void ValidateRename(const std::string& NewName) const;

    TComponent* FOwner = nullptr;
    std::string FName;
    std::int32_t FTag = 0;
    TComponentState FComponentState = 0;
    // Owned components, in creation order. The owner deletes them.
    std::vector<TComponent*> FComponents;
    // The named ones among them by name, ASCII letter case ignored, so that
    // finding a sibling (and checking a new name) does not search the list.
    struct TNameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view S) const noexcept;
    };
    struct TNameEqual {
        using is_transparent = void;
        bool operator()(std::string_view A, std::string_view B) const noexcept;
    };
    std::unordered_map<std::string, TComponent*, TNameHash, TNameEqual> FNameIndex;
    // Components linked by FreeNotification (either direction).
    std::vector<TComponent*> FFreeNotifies;
    std::shared_ptr<const void> FAlive;
};

// A guarded, non-owning reference to a component, whoever destroys it.
// get() turns null when the base part of the component's teardown step
// begins: the overrides of BeforeDestruction, which run first, still reach
// the component through it; every notice the base part sends (to the
// free-notification peers, the owner and its other components) finds it
// null.
template <class T>
class TComponentPtr {
public:
    TComponentPtr() = default;
    TComponentPtr(T* P) { reset(P); }  // NOLINT: implicit by design, like a raw pointer
    TComponentPtr& operator=(T* P) {
        reset(P);
        return *this;
    }
    void reset(T* P = nullptr) {
        FPtr = P;
        FAddress = P;
        FToken = P ? FAddress->AliveToken() : std::weak_ptr<const void>{};
    }
    T* get() const { return FToken.expired() ? nullptr : FPtr; }
    T* operator->() const { return get(); }
    explicit operator bool() const { return get() != nullptr; }
    bool operator==(const T* P) const { return get() == P; }
    // Whether the guard was set to P (nullptr: to nothing), also after it
    // turned null, so that the removal notice of the component it referred
    // to is recognised. Compares addresses only: P is never dereferenced.
    bool Refers(const TComponent* P) const { return FAddress == P; }

private:
    T* FPtr = nullptr;
    // FPtr as a component, taken while it was alive; only compared.
    const TComponent* FAddress = nullptr;
    std::weak_ptr<const void> FToken;
};

// Frees a component through its teardown step; the deleter of
// TUniqueComponent.
struct TComponentFree {
    void operator()(TComponent* AComponent) const {
        if (AComponent) AComponent->Free();
    }
};

// The owning holder of a component without an owner.
template <class T>
using TUniqueComponent = std::unique_ptr<T, TComponentFree>;

// Creates a component without an owner, held by the caller.
template <class T, class... Args>
TUniqueComponent<T> MakeUniqueComponent(Args&&... A) {
    return TUniqueComponent<T>(new T(std::forward<Args>(A)...));
}

}  // namespace pv
