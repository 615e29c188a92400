#include "platform/rtl/FormRegistry.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <shared_mutex>

#include "platform/rtl/Exception.h"

namespace pv {

namespace {

// One lock for all three registries: registering is rare, lookups take the
// shared side.
struct TRegistry {
    std::shared_mutex Lock;
    std::map<std::string, TComponentFactory, std::less<>> Classes;
    std::map<std::string, TNotifyEvent, std::less<>> Handlers;
    TColorToIdent ColorToString = nullptr;
    TIdentToColor StringToColor = nullptr;
    std::string_view ColorSpellings;
};

TRegistry& Registry() {
    static TRegistry R;
    return R;
}

bool IsIdent(std::string_view S) {
    if (S.empty()) return false;
    auto Alpha = [](char C) { return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || C == '_'; };
    if (!Alpha(S[0])) return false;
    return std::all_of(S.begin() + 1, S.end(), [&](char C) { return Alpha(C) || (C >= '0' && C <= '9'); });
}

}  // namespace

void RegisterComponentClass(std::string_view ClassName, TComponentFactory Factory) {
    if (!IsIdent(ClassName))
        throw EInvalidOperation("Cannot register component class '" + std::string(ClassName) +
                                "': a class name must be an identifier");
    if (!Factory)
        throw EInvalidOperation("Cannot register component class " + std::string(ClassName) +
                                ": the factory is empty");
    auto& R = Registry();
    std::unique_lock Guard(R.Lock);
    R.Classes.insert_or_assign(std::string(ClassName), std::move(Factory));
}

std::optional<TComponentFactory> FindComponentClass(std::string_view ClassName) {
    auto& R = Registry();
    std::shared_lock Guard(R.Lock);
    auto It = R.Classes.find(ClassName);
    if (It == R.Classes.end()) return std::nullopt;
    return It->second;
}

std::vector<std::string> RegisteredComponentClasses() {
    auto& R = Registry();
    std::shared_lock Guard(R.Lock);
    std::vector<std::string> Names;
    for (auto& [Name, Factory] : R.Classes) Names.push_back(Name);
    return Names;
}

void RegisterEventHandler(std::string_view Name, TNotifyEvent Handler) {
    if (!IsIdent(Name))
        throw EInvalidOperation("Cannot register event handler '" + std::string(Name) +
                                "': a handler name must be an identifier");
    if (!Handler.Assigned())
        throw EInvalidOperation("Cannot register event handler " + std::string(Name) + ": it has no code");
    Handler.Name = std::string(Name);
    auto& R = Registry();
    std::unique_lock Guard(R.Lock);
    R.Handlers.insert_or_assign(std::string(Name), std::move(Handler));
}

void UnregisterEventHandler(std::string_view Name) {
    auto& R = Registry();
    std::unique_lock Guard(R.Lock);
    auto It = R.Handlers.find(Name);
    if (It != R.Handlers.end()) R.Handlers.erase(It);
}

std::optional<TNotifyEvent> FindEventHandler(std::string_view Name) {
    auto& R = Registry();
    std::shared_lock Guard(R.Lock);
    auto It = R.Handlers.find(Name);
    if (It == R.Handlers.end()) return std::nullopt;
    return It->second;
}

void RegisterColorIdents(TColorToIdent ToString, TIdentToColor FromString, std::string_view Spellings) {
    auto& R = Registry();
    std::unique_lock Guard(R.Lock);
    R.ColorToString = ToString;
    R.StringToColor = FromString;
    R.ColorSpellings = Spellings;
}

std::string ColorIdentSpellings() {
    auto& R = Registry();
    std::shared_lock Guard(R.Lock);
    return R.ColorSpellings.empty() ? std::string("$00BBGGRR") : std::string(R.ColorSpellings);
}

std::string ColorToIdent(std::uint32_t Color) {
    TColorToIdent ToString = nullptr;
    {
        auto& R = Registry();
        std::shared_lock Guard(R.Lock);
        ToString = R.ColorToString;
    }
    if (ToString) return ToString(Color);
    char Buf[16];
    std::snprintf(Buf, sizeof Buf, "$%08X", static_cast<unsigned>(Color));
    return Buf;
}

std::optional<std::uint32_t> IdentToColor(std::string_view Ident) {
    TIdentToColor FromString = nullptr;
    {
        auto& R = Registry();
        std::shared_lock Guard(R.Lock);
        FromString = R.StringToColor;
    }
    if (!FromString) return std::nullopt;
    return FromString(Ident);
}

}  // namespace pv
