// The resume meta file: record bytes, bitfield conversions, and reading back
// sound and damaged files.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>

#include "dlhttp/native_file.h"
#include "dlhttp/resume_record.h"

namespace {

namespace fs = boost::filesystem;
using dlhttp::byte_range;
using dlhttp::resume_record;

const char* const url_text = "http://127.0.0.1:8080/file.bin";

resume_record example_record() {
    resume_record r;
    r.final_url = url_text;
    r.file_size = 100000;
    r.piece_size = 16384;
    r.piece_num = dlhttp::piece_count(r.file_size, r.piece_size);
    r.bitfield = dlhttp::make_bitfield({{0, 32768}}, r.file_size, r.piece_size);
    return r;
}

TEST(ResumeRecord, ExactBytesOfTheExample) {
    const resume_record r = example_record();
    EXPECT_EQ(r.piece_num, 7);
    ASSERT_EQ(r.bitfield.size(), 1u);
    EXPECT_EQ(static_cast<unsigned char>(r.bitfield[0]), 0xC0);
    const std::string expected = std::string("d8:bitfield1:\xC0") + "9:file_sizei100000e" +
                                 "9:final_url30:" + url_text + "9:piece_numi7e" + "10:piece_sizei16384e" + "e";
    EXPECT_EQ(r.encode(), expected);

    resume_record back;
    ASSERT_TRUE(resume_record::decode(expected.data(), expected.size(), back));
    EXPECT_EQ(back.final_url, url_text);
    EXPECT_EQ(back.file_size, 100000);
    EXPECT_EQ(back.piece_size, 16384);
    EXPECT_EQ(back.piece_num, 7);
    EXPECT_EQ(back.bitfield, r.bitfield);
}

TEST(ResumeRecord, BitfieldFromWrittenRanges) {
    struct Case {
        std::vector<byte_range> written;
        std::string bits;  // one character per piece
    };
    // 100000 bytes in pieces of 16384: the last piece is [98304, 100000).
    const Case cases[] = {
        {{}, "0000000"},
        {{{0, 16383}}, "0000000"},
        {{{0, 16384}}, "1000000"},
        {{{16384, 32768}, {0, 16384}}, "1100000"},  // unsorted, adjacent
        {{{0, 10000}, {10000, 16384}}, "1000000"},  // two ranges make one piece
        {{{98304, 100000}}, "0000001"},             // the short last piece
        {{{1, 100000}}, "0111111"},
        {{{0, 100000}}, "1111111"},
    };
    for (const Case& c : cases) {
        const std::string field = dlhttp::make_bitfield(c.written, 100000, 16384);
        ASSERT_EQ(field.size(), 1u);
        std::string bits;
        for (int i = 0; i < 7; ++i) bits += (static_cast<unsigned char>(field[0]) & (0x80 >> i)) ? '1' : '0';
        EXPECT_EQ(bits, c.bits);
        EXPECT_EQ(static_cast<unsigned char>(field[0]) & 0x01, 0);  // spare bit stays clear
    }
}

TEST(ResumeRecord, RangesFromBitfield) {
    // Pieces 0, 1, 3, 6 of 7 (100000 bytes, 16384 per piece).
    const std::string field(1, static_cast<char>(0xD2));
    const std::vector<byte_range> expected = {{0, 32768}, {49152, 65536}, {98304, 100000}};
    EXPECT_EQ(dlhttp::bitfield_ranges(field, 7, 16384, 100000), expected);
    // Only piece_num bits count; a shorter bitfield gives fewer ranges instead of a read past it.
    EXPECT_EQ(dlhttp::bitfield_ranges(std::string(1, '\xff'), 7, 16384, 100000),
              (std::vector<byte_range>{{0, 100000}}));
    EXPECT_EQ(dlhttp::bitfield_ranges(std::string(1, '\xff'), 20, 16384, 400000),
              (std::vector<byte_range>{{0, 131072}}));
}

TEST(ResumeRecord, DamagedRecordsAreRefused) {
    const std::string good = example_record().encode();
    auto with = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
        return text;
    };
    struct Case {
        const char* what;
        std::string text;
    };
    const Case cases[] = {
        {"empty", ""},
        {"garbage", "not bencode"},
        {"not a dictionary", "li1ee"},
        {"cut off", good.substr(0, good.size() - 5)},
        {"missing bitfield", with("8:bitfield1:\xC0", "")},
        {"missing file_size", with("9:file_sizei100000e", "")},
        {"missing final_url", with(std::string("9:final_url30:") + url_text, "")},
        {"missing piece_num", with("9:piece_numi7e", "")},
        {"missing piece_size", with("10:piece_sizei16384e", "")},
        {"file_size as string", with("9:file_sizei100000e", "9:file_size6:100000")},
        {"bitfield as integer", with("8:bitfield1:\xC0", "8:bitfieldi192e")},
        {"final_url as list", with(std::string("9:final_url30:") + url_text, "9:final_urlle")},
        {"piece size 0", with("10:piece_sizei16384e", "10:piece_sizei0e")},
        {"negative piece size", with("10:piece_sizei16384e", "10:piece_sizei-16384e")},
        {"negative file size", with("9:file_sizei100000e", "9:file_sizei-100000e")},
        {"piece_num too small", with("9:piece_numi7e", "9:piece_numi6e")},
        {"piece_num too large", with("9:piece_numi7e", "9:piece_numi800e")},
        {"bitfield too short", with("8:bitfield1:\xC0", "8:bitfield0:")},
        {"integer overflow", with("9:file_sizei100000e", "9:file_sizei99999999999999999999e")},
        {"string length overflow", with("8:bitfield1:", "8:bitfield99999999999999999999:")},
        {"string past the end", with("8:bitfield1:", "8:bitfield9999:")},
    };
    for (const Case& c : cases) {
        resume_record r;
        EXPECT_FALSE(resume_record::decode(c.text.data(), c.text.size(), r)) << c.what;
    }
    // Spare bytes after the bitfield and bytes after the record do no harm.
    resume_record r;
    const std::string longer = with("8:bitfield1:\xC0", "8:bitfield2:\xC0\x55") + "trailing";
    EXPECT_TRUE(resume_record::decode(longer.data(), longer.size(), r));
}

class ResumeFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / fs::unique_path("dlhttp-resume-%%%%-%%%%");
        fs::create_directories(dir_);
        path_ = dlhttp::detail::widen((dir_ / "target.cfg").string());
    }
    void TearDown() override { fs::remove_all(dir_); }

    void put(const std::string& data) { std::ofstream((dir_ / "target.cfg").string(), std::ios::binary) << data; }
    std::string contents() const {
        std::ifstream in((dir_ / "target.cfg").string(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path dir_;
    std::wstring path_;
};

TEST_F(ResumeFileTest, WriteThenReadBack) {
    dlhttp::detail::native_file writer;
    resume_record r = example_record();
    ASSERT_TRUE(dlhttp::write_resume_file(writer, path_, r));
    // Rewriting in place keeps one record (the file is not truncated, the length does not change).
    r.bitfield = dlhttp::make_bitfield({{0, 100000}}, r.file_size, r.piece_size);
    ASSERT_TRUE(dlhttp::write_resume_file(writer, path_, r));
    EXPECT_EQ(contents(), r.encode());
    writer.close();

    dlhttp::detail::native_file reader;
    resume_record back;
    bool restored = false;
    ASSERT_TRUE(dlhttp::read_resume_file(reader, path_, back, restored));
    EXPECT_TRUE(restored);
    EXPECT_EQ(back.encode(), r.encode());
    EXPECT_TRUE(reader.is_open());  // stays open for the writes that follow
}

TEST_F(ResumeFileTest, MissingFileIsCreatedEmptyAndRestoresNothing) {
    dlhttp::detail::native_file file;
    resume_record r;
    bool restored = true;
    EXPECT_TRUE(dlhttp::read_resume_file(file, path_, r, restored));
    EXPECT_FALSE(restored);
    EXPECT_TRUE(fs::exists(dir_ / "target.cfg"));
}

TEST_F(ResumeFileTest, DamagedFileFailsAndIsDiscarded) {
    put("d8:bitfield1:");
    dlhttp::detail::native_file file;
    resume_record r;
    r.file_size = 42;
    bool restored = true;
    EXPECT_FALSE(dlhttp::read_resume_file(file, path_, r, restored));
    EXPECT_FALSE(restored);
    EXPECT_EQ(r.file_size, 42);  // untouched
    dlhttp::discard_resume_file(file, path_);
    EXPECT_FALSE(file.is_open());
    EXPECT_FALSE(fs::exists(dir_ / "target.cfg"));
    dlhttp::discard_resume_file(file, path_);  // a second removal is harmless
}

TEST_F(ResumeFileTest, LockedFileCannotBeOpenedTwice) {
    dlhttp::detail::native_file first;
    ASSERT_TRUE(dlhttp::write_resume_file(first, path_, example_record()));
    dlhttp::detail::native_file second;
    resume_record r;
    bool restored = false;
    EXPECT_FALSE(dlhttp::read_resume_file(second, path_, r, restored));
    EXPECT_FALSE(dlhttp::write_resume_file(second, path_, example_record()));
}

TEST_F(ResumeFileTest, WriteFailsWhenTheFileCannotBeOpened) {
    dlhttp::detail::native_file file;
    EXPECT_FALSE(dlhttp::write_resume_file(file, path_ + L".missing/x", example_record()));
}

}  // namespace
