#pragma once
// Questions asked one right after another: an ask that comes within a moment
// of the previous ask or answer continues the row. After a few in a row the
// asks are refused until the asker has been quiet for that moment, so that no
// run of questions can keep the user from the window.

#include <functional>

#include <QElapsedTimer>
#include <QtGlobal>

namespace tessal {
namespace qt {

class QuestionRow final
{
public:
    static constexpr int kMaxInRow = 3;
    static constexpr qint64 kGapMs = 1000;

    // Whether the ask may go on. The first refusal of a row calls refused
    // (to record it); the later ones refuse quietly.
    bool admit(const std::function<void()>& refused);
    void answered();

private:
    QElapsedTimer last;
    int inRow = 0;
};

} // namespace qt
} // namespace tessal
