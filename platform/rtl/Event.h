#pragma once
// TNotifyEvent: an event handler, that is handler code plus the object it
// belongs to. Forms store the handler by name, so the name travels with it.

#include <functional>
#include <string>

namespace pv {

class TObject;

struct TNotifyEvent {
    // The code; called with the sender.
    std::function<void(TObject* Sender)> Code;
    // The object the handler belongs to (may be nullptr for a free function).
    TObject* Data = nullptr;
    // The name under which the host registered the handler; forms store it.
    std::string Name;

    TNotifyEvent() = default;
    TNotifyEvent(std::function<void(TObject*)> ACode, TObject* AData = nullptr,
                 std::string AName = {})
        : Code(std::move(ACode)), Data(AData), Name(std::move(AName)) {}

    bool Assigned() const { return static_cast<bool>(Code); }
    void operator()(TObject* Sender) const { Code(Sender); }
};

}  // namespace pv
