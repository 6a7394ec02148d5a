#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>

// Names each case of a table by its member `name`, all but letters and digits made "_": a
// failure names its case, and --gtest_filter='*/a_case_name' runs it alone.
struct CaseName {
    template <typename Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& info) const
    {
        std::string name = info.param.name;
        std::replace_if(name.begin(), name.end(), [](unsigned char c) { return !std::isalnum(c); }, '_');
        return name;
    }
};
