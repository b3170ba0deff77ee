#pragma once
// Questions of the server's page. An ask that comes within a moment of the
// previous ask or answer continues the row; after a few in a row the asks are
// refused until the asker has been quiet for that moment. Over a longer
// window the answers are counted too: once the user has answered a few, the
// page asks nothing more until the oldest of them has aged out, so that
// questions spaced just beyond the moment cannot nag without end either.

#include <deque>
#include <functional>

#include <QtGlobal>

namespace tessal {
namespace qt {

class QuestionRow final
{
public:
    static constexpr int kMaxInRow = 3;
    static constexpr qint64 kGapMs = 1000;
    static constexpr int kMaxAnswered = 3;
    static constexpr qint64 kAnsweredWindowMs = 60000;

    // clock: monotonic milliseconds; the foundation's clock when empty.
    explicit QuestionRow(std::function<qint64()> clock = {});

    // Whether the ask may go on. The first refusal of a run of refusals calls
    // refused (to record it); the later ones refuse quietly.
    bool admit(const std::function<void()>& refused);
    void answered();

private:
    std::function<qint64()> now;
    qint64 last = 0;
    bool seen = false;
    int inRow = 0;
    bool refusing = false;
    std::deque<qint64> answers; // times of the answers within the window
};

} // namespace qt
} // namespace tessal
