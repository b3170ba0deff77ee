#include "dialogs/QuestionRow.h"

#include "foundation/m_system.h"

#include <algorithm>
#include <utility>

namespace tessal {
namespace qt {

QuestionRow::QuestionRow(std::function<qint64()> clock) : now(std::move(clock))
{
    if (!now)
        now = [] { return static_cast<qint64>(monotonicMs()); };
}

bool QuestionRow::admit(const std::function<void()>& refused)
{
    const qint64 t = now();
    const bool continues = seen && t - last < kGapMs;
    seen = true;
    last = t;
    inRow = continues ? std::min(inRow + 1, kMaxInRow + 2) : 1;
    while (!answers.empty() && t - answers.front() >= kAnsweredWindowMs)
        answers.pop_front();
    if (inRow <= kMaxInRow && static_cast<int>(answers.size()) < kMaxAnswered) {
        refusing = false;
        return true;
    }
    if (!refusing)
        refused();
    refusing = true;
    return false;
}

void QuestionRow::answered()
{
    const qint64 t = now();
    seen = true;
    last = t;
    answers.push_back(t);
    while (static_cast<int>(answers.size()) > kMaxAnswered)
        answers.pop_front();
}

} // namespace qt
} // namespace tessal
