#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "tunnel/SvpnHandler.h"

// An SvpnHandler whose callbacks record what the worker reported.
class RecordingHandler final : public SvpnHandler
{
public:
    explicit RecordingHandler(int firstPauseMs = 50, int roundPauseMs = 50, int replyWaitMs = 2000)
    {
        m_firstPauseMs = firstPauseMs;
        m_roundPauseMs = roundPauseMs;
        m_replyWaitMs = replyWaitMs;
        m_launchWaitMs = 5000;
    }
    ~RecordingHandler() override { shutdownWorker(); }
    void setLaunchWait(int ms) { m_launchWaitMs = ms; }

    void onConnecting() override { add("connecting"); }
    void onConnected() override { add("connected"); }
    void onReconnecting() override { add("reconnecting"); }
    void onClosed(int code) override { add("closed " + std::to_string(code), true); }
    void onError(int code) override { add("error " + std::to_string(code), true); }
    void setTraffic(int64_t rc, int64_t sc, int64_t rs, int64_t ss) override
    {
        add("traffic " + std::to_string(rc) + " " + std::to_string(sc) + " " + std::to_string(rs) + " " +
            std::to_string(ss));
    }
    void tunnelDetails(CString& text) override { add(std::string("details ") + static_cast<const char*>(text)); }

    std::vector<std::string> events()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }
    // Waits for the final closed or error event.
    bool waitForEnd(int ms)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_ended; });
    }
    bool waitForEvent(const std::string& event, int ms)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(ms), [&] {
            for (const auto& e : m_events)
                if (e == event)
                    return true;
            return false;
        });
    }

private:
    void add(const std::string& event, bool final = false)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(event);
        if (final)
            m_ended = true;
        m_changed.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_events;
    bool m_ended = false;
};
