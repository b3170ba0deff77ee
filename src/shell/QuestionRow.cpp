#include "shell/QuestionRow.h"

#include <algorithm>

namespace tessal {
namespace qt {

bool QuestionRow::admit(const std::function<void()>& refused)
{
    const bool continues = last.isValid() && last.elapsed() < kGapMs;
    last.start();
    inRow = continues ? std::min(inRow + 1, kMaxInRow + 2) : 1;
    if (inRow <= kMaxInRow)
        return true;
    if (inRow == kMaxInRow + 1)
        refused();
    return false;
}

void QuestionRow::answered()
{
    last.start();
}

} // namespace qt
} // namespace tessal
