#include "shell/QuestionRow.h"

#include <algorithm>

namespace tessal {
namespace qt {

QuestionRow::Verdict QuestionRow::admit()
{
    const bool continues = last.isValid() && last.elapsed() < kGapMs;
    last.start();
    inRow = continues ? std::min(inRow + 1, kMaxInRow + 2) : 1;
    if (inRow <= kMaxInRow)
        return Ask;
    return inRow == kMaxInRow + 1 ? Refuse : RefuseQuietly;
}

void QuestionRow::answered()
{
    last.start();
}

} // namespace qt
} // namespace tessal
