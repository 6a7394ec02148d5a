#pragma once

#include <gtest/gtest.h>

#include <string>

// Names each case of a parameterised table by its own name (a member `name`), every character
// but ASCII letters and digits made "_", so that a failure names its case and
// --gtest_filter='*/a_case_name' runs it alone.
struct CaseName {
    template <typename Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& info) const
    {
        std::string name = info.param.name;
        for (char& c : name) {
            if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
                c = '_';
        }
        return name;
    }
};
