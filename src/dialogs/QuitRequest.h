#pragma once
// A quit asked for while the program runs (a termination signal) holds until
// the process ends: every open question ends as a refusal, the launch in
// progress stops at its next step, no window opens and nothing new starts.
// Leaving the event loop is not enough for that: the toolkit forgets a quit
// asked for before its main loop starts, and every question asked after it
// would return at once with whatever its result happened to be.

#include <QObject>

namespace tessal {
namespace qt {

class QuitRequest final : public QObject
{
    Q_OBJECT
public:
    static QuitRequest& instance();

    bool isRequested() const { return requestedFlag; }
    // The first call emits requested(); later ones do nothing.
    void request();

signals:
    void requested();

private:
    friend struct DialogsTestSeam;

    QuitRequest() = default;

    bool requestedFlag = false;
};

inline bool quitRequested()
{
    return QuitRequest::instance().isRequested();
}

} // namespace qt
} // namespace tessal
