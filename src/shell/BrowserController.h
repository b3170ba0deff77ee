#pragma once
// The logic behind a network-access session's browser window. This build
// carries the hand-over from the session only: the record is kept, and the
// window, the page and the resource table are not part of it yet, so no
// resource can be opened through it.

#include <QObject>
#include <QString>

#include "session/SessionInfo.h"

namespace tessal {
namespace qt {

class BrowserController : public QObject
{
    Q_OBJECT

public:
    BrowserController();
    ~BrowserController() override;

    BrowserController(const BrowserController&) = delete;
    BrowserController& operator=(const BrowserController&) = delete;

    // Takes the session over; called once after the session's checks passed.
    void start(const SessionInfo& info);

    // Opening decision for a resource of this session: 0 when opened, else a
    // resource result code (113 while the resource page has not been handled,
    // 118 while closing).
    int openMainResource(const QString& id, const QString& typeText, const QString& naParams);

    bool isStarted() const { return started; }
    const SessionInfo& sessionInfo() const { return info; }

signals:
    // The window is to close and no resource is left open.
    void realCloseMainWindow();

private:
    SessionInfo info;
    bool started = false;
    bool closing = false;
};

} // namespace qt
} // namespace tessal
