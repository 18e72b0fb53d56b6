#include "app/Options.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>

#include <boost/lexical_cast.hpp>

namespace po = boost::program_options;

namespace {

class OptionErrorHandlers : public ::testing::Test {
protected:
    OptionErrorHandlers() : description_("test options") {
        description_.add_options()("alpha,a", "first option");
        std::ostringstream table;
        table << description_;
        table_ = table.str();
    }
    // The printed text when the steps throw what thrower throws.
    template <typename Thrower>
    std::string Output(Thrower thrower) {
        std::ostringstream out;
        EXPECT_FALSE(RunWithOptionErrorHandlers(thrower, description_, out));
        return out.str();
    }

    po::options_description description_;
    std::string table_;
};

}  // namespace

TEST_F(OptionErrorHandlers, StepsThatSucceedPrintNothing) {
    std::ostringstream out;
    bool ran = false;
    EXPECT_TRUE(RunWithOptionErrorHandlers([&] { ran = true; }, description_, out));
    EXPECT_TRUE(ran);
    EXPECT_EQ(out.str(), "");
}

// The syntax error derives from std::exception too: it must meet its own handler first.
TEST_F(OptionErrorHandlers, SyntaxErrorGetsTheFirstHandler) {
    const po::invalid_command_line_syntax error(po::invalid_command_line_syntax::missing_parameter, "pathname");
    EXPECT_EQ(Output([&] { throw error; }),
              std::string("Invalid parameters got exception: ") + error.what() + "\n" + table_ + "\n");
}

TEST_F(OptionErrorHandlers, BadLexicalCastGetsItsOwnHandler) {
    EXPECT_EQ(Output([] { boost::lexical_cast<int>("abc"); }),
              std::string("Invalid parameters got bad_lexical_cast: ") + boost::bad_lexical_cast().what() + "\n" +
                  table_ + "\n");
}

TEST_F(OptionErrorHandlers, RuntimeErrorAndOtherStandardExceptions) {
    EXPECT_EQ(Output([] { throw std::runtime_error("disk gone"); }),
              "Invalid parameters got std::runtime_error: disk gone\n" + table_ + "\n");
    EXPECT_EQ(Output([] { throw std::logic_error("bad value"); }),
              "Invalid parameters got std::exception: bad value\n" + table_ + "\n");
    // The library's own value and repetition errors are logic errors.
    const po::multiple_occurrences twice;
    EXPECT_EQ(Output([&] { throw twice; }),
              std::string("Invalid parameters got std::exception: ") + twice.what() + "\n" + table_ + "\n");
}

TEST_F(OptionErrorHandlers, AnythingElsePrintsOnlyTheFailureLine) {
    EXPECT_EQ(Output([] { throw 42; }), "Parsing parameter failed.\n");
}
