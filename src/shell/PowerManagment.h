#pragma once
// Power notifications for the browser window. Nothing on this platform
// delivers them: subscribing and acknowledging do nothing.

namespace tessal {
namespace PowerManagment {

enum Enum {
    SystemGoesToSleep = 0,
    SystemAwake = 1,
};

class NotificationSink
{
public:
    virtual ~NotificationSink() = default;
    virtual void OnNotification(Enum note) = 0;

    int Subscribe() { return 1; }
    int Acknowledge() { return 1; }
};

} // namespace PowerManagment
} // namespace tessal
