// File storage: the native file and the default storage over it.
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include <boost/filesystem.hpp>

#include "dlhttp/native_file.h"
#include "dlhttp/storage.h"

namespace {

namespace fs = boost::filesystem;

class StorageTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / fs::unique_path("dlhttp-storage-%%%%-%%%%");
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::wstring path(const std::string& name) const { return dlhttp::detail::widen((dir_ / name).string()); }
    std::string contents(const std::string& name) const {
        std::ifstream in((dir_ / name).string(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void put(const std::string& name, const std::string& data) const {
        std::ofstream((dir_ / name).string(), std::ios::binary) << data;
    }
    // Opens the file `name` of the test folder with `s`; returns the open's error.
    boost::system::error_code open(dlhttp::storage_interface& s, const std::string& name) const {
        boost::system::error_code ec;
        s.open(path(name), ec);
        return ec;
    }

    fs::path dir_;
};

TEST_F(StorageTest, OpenCreatesMissingAndKeepsExisting) {
    std::unique_ptr<dlhttp::storage_interface> s(dlhttp::make_default_storage());
    ASSERT_TRUE(s);
    boost::system::error_code ec;
    s->open(path("new.tmp"), ec);
    ASSERT_FALSE(ec) << ec.message();
    EXPECT_TRUE(fs::exists(dir_ / "new.tmp"));
    EXPECT_EQ(fs::file_size(dir_ / "new.tmp"), 0u);

    put("old.tmp", "keep me");
    s->open(path("old.tmp"), ec);
    ASSERT_FALSE(ec);
    char buf[16] = {0};
    EXPECT_EQ(s->read(buf, 0, sizeof buf), 7);
    EXPECT_EQ(std::string(buf), "keep me");
}

TEST_F(StorageTest, SparseWriteZeroFillsTheGap) {
    dlhttp::default_storge s;
    ASSERT_FALSE(open(s, "data.tmp"));
    EXPECT_EQ(s.write("0123456789", 1000, 10), 10);
    s.close();
    const std::string data = contents("data.tmp");
    ASSERT_EQ(data.size(), 1010u);
    EXPECT_EQ(data.substr(0, 1000), std::string(1000, '\0'));
    EXPECT_EQ(data.substr(1000), "0123456789");
}

TEST_F(StorageTest, PositionIsSharedBetweenOffsetAndCurrentOperations) {
    dlhttp::default_storge s;
    ASSERT_FALSE(open(s, "data.tmp"));
    EXPECT_EQ(s.write("abc", 5, 3), 3);
    EXPECT_EQ(s.write("de", 2), 2);  // continues at 8
    EXPECT_TRUE(s.eof());
    char buf[4] = {0};
    EXPECT_EQ(s.read(buf, 100, 4), 0);  // beyond the end
    EXPECT_EQ(s.read(buf, 6, 2), 2);
    EXPECT_EQ(std::string(buf, 2), "bc");
    EXPECT_FALSE(s.eof());
    EXPECT_EQ(s.read(buf, 3), 2);  // eof left the position at 8
    EXPECT_EQ(std::string(buf, 2), "de");
    EXPECT_TRUE(s.eof());
    EXPECT_EQ(s.read(buf, 4), 0);
    s.close();
    EXPECT_EQ(contents("data.tmp"), std::string("\0\0\0\0\0abcde", 10));
}

TEST_F(StorageTest, SecondWriterIsRefusedReadersAreNot) {
    dlhttp::default_storge first;
    ASSERT_FALSE(open(first, "data.tmp"));
    ASSERT_EQ(first.write("xyz", 0, 3), 3);

    dlhttp::default_storge second;
    EXPECT_EQ(open(second, "data.tmp"), boost::system::error_code(EWOULDBLOCK, boost::system::system_category()));
    EXPECT_EQ(second.write("!", 0, 1), -1);
    EXPECT_EQ(contents("data.tmp"), "xyz");  // a plain reader still reads

    first.close();
    EXPECT_FALSE(open(second, "data.tmp"));
}

TEST_F(StorageTest, OperationsOnAClosedStorageFail) {
    dlhttp::default_storge s;
    char buf[2];
    EXPECT_EQ(s.write("a", 0, 1), -1);
    EXPECT_EQ(s.write("a", 1), -1);
    EXPECT_EQ(s.read(buf, 0, 1), -1);
    EXPECT_EQ(s.read(buf, 1), -1);
    EXPECT_FALSE(s.eof());
}

TEST_F(StorageTest, OpenFailureKeepsThePathAndLeavesTheFileClosed) {
    dlhttp::detail::native_file f;
    boost::system::error_code ec;
    f.open(path("missing-dir/data.tmp"), dlhttp::detail::native_file::read_write, ec);
    EXPECT_EQ(ec, boost::system::error_code(ENOENT, boost::system::system_category()));
    EXPECT_FALSE(f.is_open());
    EXPECT_EQ(f.path(), path("missing-dir/data.tmp"));
    EXPECT_EQ(f.mode(), 0);

    f.open(path("ok.tmp"), dlhttp::detail::native_file::read_write, ec);
    ASSERT_FALSE(ec);
    EXPECT_EQ(f.mode(), dlhttp::detail::native_file::read_write);
    f.close();
    EXPECT_EQ(f.path(), L"");
    EXPECT_EQ(f.mode(), 0);
}

TEST_F(StorageTest, FullDiskIsAnError) {
    dlhttp::detail::native_file f;
    boost::system::error_code ec;
    f.open(L"/dev/full", dlhttp::detail::native_file::read_write, ec);
    ASSERT_FALSE(ec) << ec.message();
    EXPECT_EQ(f.write(0, "abc", 3, ec), -1);
    EXPECT_EQ(ec, boost::system::error_code(ENOSPC, boost::system::system_category()));
}

TEST_F(StorageTest, GatheredWriteAndScatteredRead) {
    dlhttp::detail::native_file f;
    boost::system::error_code ec;
    f.open(path("data.tmp"), dlhttp::detail::native_file::read_write, ec);
    ASSERT_FALSE(ec);
    const dlhttp::detail::file_buffer out[] = {{"ab", 2}, {"", 0}, {"cde", 3}};
    EXPECT_EQ(f.writev(10, out, 3, ec), 5);
    char x[3], y[10];
    const dlhttp::detail::mutable_file_buffer in[] = {{x, 3}, {y, 10}};
    EXPECT_EQ(f.readv(11, in, 2, ec), 4);
    EXPECT_EQ(std::string(x, 3), "bcd");
    EXPECT_EQ(y[0], 'e');
    EXPECT_EQ(f.write(-7, "a", 1, ec), -1);  // no position before the start
}

TEST_F(StorageTest, WidePathsAreUtf8OnDisk) {
    dlhttp::default_storge s;
    boost::system::error_code ec;
    s.open(dlhttp::detail::widen(dir_.string()) + L"/caf\u00e9-\U0001F600.tmp", ec);
    ASSERT_FALSE(ec);
    EXPECT_TRUE(fs::exists(dir_ / "caf\xc3\xa9-\xf0\x9f\x98\x80.tmp"));
    EXPECT_EQ(dlhttp::detail::widen("caf\xc3\xa9-\xf0\x9f\x98\x80"), L"caf\u00e9-\U0001F600");
    EXPECT_EQ(dlhttp::detail::widen("a\xff"
                                    "b\xc3"),
              L"a\uFFFDb\uFFFD");
}

}  // namespace
