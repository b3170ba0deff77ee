// The page's questions: a few in a row, and a few answered a minute, so
// that questions spaced just beyond the row's gap cannot nag without end.
#include "dialogs/QuestionRow.h"

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>
#include <vector>

using tessal::qt::QuestionRow;

namespace {

struct Step {
    qint64 at; // ms on the row's clock
    bool answer; // answered right after the ask, when admitted
};

struct Row {
    const char* what;
    std::vector<Step> steps;
    std::string admitted; // one letter per ask: 'y' admitted, 'n' refused
    int refusalsRecorded;
};

// The row's own words, so that CTest's names do not carry its bytes.
void PrintTo(const Row& row, std::ostream* out)
{
    *out << row.what;
}

class QuestionRowTest : public testing::TestWithParam<Row>
{};

TEST_P(QuestionRowTest, AdmitsByRowAndByAnswers)
{
    const Row& row = GetParam();
    qint64 clock = 0;
    QuestionRow questions([&] { return clock; });
    std::string admitted;
    int recorded = 0;
    for (const Step& step : row.steps) {
        clock = step.at;
        const bool yes = questions.admit([&] { ++recorded; });
        admitted += yes ? 'y' : 'n';
        if (yes && step.answer)
            questions.answered();
    }
    EXPECT_EQ(admitted, row.admitted);
    EXPECT_EQ(recorded, row.refusalsRecorded);
}

std::vector<Step> every(qint64 gap, int n, bool answer = true)
{
    std::vector<Step> steps;
    for (int i = 0; i < n; ++i)
        steps.push_back({1000 + i * gap, answer});
    return steps;
}

INSTANTIATE_TEST_SUITE_P(
    Table, QuestionRowTest,
    testing::Values(Row{"a burst", every(10, 6, false), "yyynnn", 1},
                    Row{"spaced just beyond the gap, answered", every(1100, 8), "yyynnnnn", 1},
                    Row{"one a second for over a minute", every(1100, 60), "yyy" + std::string(52, 'n') + "yyynn", 2},
                    Row{"spaced just beyond the gap, never answered", every(1100, 8, false), "yyyyyyyy", 0},
                    Row{"three a minute", every(20000, 9), "yyyyyyyyy", 0},
                    Row{"a burst, then quiet for a minute",
                        {{0, true}, {10, true}, {20, true}, {30, true}, {61000, true}},
                        "yyyny",
                        1}),
    [](const testing::TestParamInfo<Row>& info) {
        std::string name = info.param.what;
        for (char& c : name)
            if (!isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });

} // namespace
