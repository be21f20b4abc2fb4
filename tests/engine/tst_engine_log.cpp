// The engine's operation log: an engine loaded from an application folder
// appends one line with the time per operation to "Log/Sorvel.log" there,
// makes the folder when it is missing, and moves an overgrown log aside.
#include <QLibrary>

#include <regex>

#include "EngineFixture.h"

using namespace enginetest;

namespace {

// An application folder of its own with a copy of the engine library (a copy,
// not a link, so that it is loaded as an engine of its own), and the managers
// of that engine.
class EngineLog : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/sorvel-log-XXXXXX";
        dir = mkdtemp(pattern);
        app = dir / "app";
        fs::create_directories(app);
        fs::copy_file(fs::path(ZN_APP_DIR) / "libSorvel.so", app / "libSorvel.so");
        setenv("SORVEL_ROOT", (dir / "no-tree").c_str(), 1);
        setenv("SORVEL_SCRIPT", (dir / "script.json").c_str(), 1);
        writeFile(dir / "script.json", R"({"CheckiTunes": [{"result": false}, {"callbacks": [{"state": 6}]}],
                                           "GetiTunesVersion": {"result": "12.10.11.2"}})");
    }
    void TearDown() override {
        unsetenv("SORVEL_ROOT");
        unsetenv("SORVEL_SCRIPT");
        fs::remove_all(dir);
    }

    // Loads the copy (once per test) and runs a refused check, a started
    // check and a version query.
    void runOperations() {
        QLibrary library(QString::fromStdString((app / "libSorvel.so").string()));
        ASSERT_TRUE(library.load()) << library.errorString().toStdString();
        auto create = reinterpret_cast<PFN_CreateFixItuensMgr>(library.resolve("CreateFixItuensMgr"));
        ASSERT_NE(create, nullptr);
        IFixItunesMgr* fix = create();
        using R = Recorder<ST_ITUNES_CHECK_RESULT>;
        R refused(kCheckItunesProductState_All_Check_Complete);
        EXPECT_FALSE(fix->CheckiTunes(&R::callback, &refused, 0));
        R started(kCheckItunesProductState_All_Check_Complete);
        ASSERT_TRUE(fix->CheckiTunes(&R::callback, &started, 0));
        ASSERT_TRUE(started.waitFinal());
        EXPECT_EQ(fix->GetiTunesVersion(), L"12.10.11.2");
    }

    // The lines of the log without their time stamps; every line must have one.
    std::vector<std::string> loggedOperations() {
        const std::regex stamped(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} [+-]\d{4} (.*)$)");
        std::vector<std::string> operations;
        for (const std::string& line : readLines(app / "Log" / "Sorvel.log")) {
            std::smatch match;
            if (!std::regex_match(line, match, stamped)) {
                operations.push_back("unstamped: " + line);
                continue;
            }
            operations.push_back(match[1]);
        }
        return operations;
    }

    fs::path dir;
    fs::path app;
};

const std::vector<std::string> kOperations = {"CheckiTunes refused", "CheckiTunes started",
                                              "GetiTunesVersion -> \"12.10.11.2\""};

TEST_F(EngineLog, EveryOperationWritesALineIntoTheApplicationFoldersLog) {
    ASSERT_FALSE(fs::exists(app / "Log"));
    runOperations();
    EXPECT_TRUE(fs::is_directory(app / "Log"));
    EXPECT_EQ(loggedOperations(), kOperations);
}

TEST_F(EngineLog, LinesAreAppended) {
    writeFile(app / "Log" / "Sorvel.log", "2026-01-01 00:00:00.000 +0000 earlier\n");
    runOperations();
    std::vector<std::string> expected = {"earlier"};
    expected.insert(expected.end(), kOperations.begin(), kOperations.end());
    EXPECT_EQ(loggedOperations(), expected);
}

TEST_F(EngineLog, AnOvergrownLogIsMovedAside) {
    const std::string old(1024 * 1024 + 1, 'o');
    writeFile(app / "Log" / "Sorvel.log", old);
    runOperations();
    EXPECT_EQ(readFile(app / "Log" / "Sorvel.log.1"), old);
    EXPECT_EQ(loggedOperations(), kOperations);
}

// A log that cannot be written (here "Log" is a file) costs the operations
// nothing.
TEST_F(EngineLog, AnUnwritableLogStopsNothing) {
    writeFile(app / "Log", "not a folder");
    runOperations();
    EXPECT_EQ(readFile(app / "Log"), "not a folder");
}

}  // namespace
