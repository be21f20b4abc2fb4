// The stand-ins of outside programs: they accept the arguments the product
// starts them with, exit 0 and record how they were started.
#include "PlatformTestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using platformtest::Child;
using platformtest::ChildOptions;
using platformtest::str;

namespace {

struct StandInCase {
    const char* program;
    std::vector<std::string> arguments;
};

class StandIn : public ::testing::TestWithParam<StandInCase> {};

TEST_P(StandIn, AcceptsItsArgumentsAndRecordsThem) {
    QTemporaryDir dir;
    const QString log = dir.path() + QStringLiteral("/argv.log");
    const std::string program = std::string(ZN_APP_DIR "/") + GetParam().program;
    QByteArray expected;
    for (int start = 0; start < 2; ++start) {  // each start appends a record
        Child child;
        ChildOptions options;
        options.argv = {program};
        for (const std::string& a : GetParam().arguments) options.argv.push_back(a);
        options.setEnv = {{"ZN_FAKE_ARGV_LOG", str(log)}};
        ASSERT_TRUE(child.start(options));
        EXPECT_EQ(child.exitCode(), 0);
        for (const std::string& a : options.argv) expected += QByteArray::fromStdString(a) + '\n';
        expected += '\n';
    }
    EXPECT_EQ(platformtest::readFile(log), expected);

    // Without the variable they only exit.
    Child quiet;
    ChildOptions options;
    options.argv = {program, "--silent=true"};
    options.unsetEnv = {"ZN_FAKE_ARGV_LOG"};
    ASSERT_TRUE(quiet.start(options));
    EXPECT_EQ(quiet.exitCode(), 0);
}

std::vector<StandInCase> standIns() {
    return {
        {"Pellact",
         {"Corvane.exe", "support@corvane.example", "/opt/corvane/Corvane", "user@mail.example", "pass word"}},
    };
}

INSTANTIATE_TEST_SUITE_P(OutsidePrograms, StandIn, ::testing::ValuesIn(standIns()));

}  // namespace
