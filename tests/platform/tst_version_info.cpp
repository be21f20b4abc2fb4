// The version-resource reader of the platform layer: the size query, the copy
// into the caller's buffer and the value queries, over fixture files that carry
// version blocks where a binary would (among other bytes, at any offset).
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/VersionInfo.h"

namespace {

class VersionInfoTest : public ::testing::Test {
protected:
    // Writes `before`, the bytes, and some padding after them into a new file.
    QString writeFile(const QByteArray& bytes, int before = 3000) {
        const QString path = m_dir.filePath(QStringLiteral("file%1.bin").arg(m_count++));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(before, '\x7f'));
        file.write(bytes);
        file.write(QByteArray(500, '\0'));
        return path;
    }

    // The decoded data of a file, empty when the reader finds none.
    static std::vector<char> decoded(const QString& path) {
        const uint32_t size = platform::GetFileVersionInfoSize(path);
        if (size == 0) return {};
        std::vector<char> data(size);
        if (!platform::GetFileVersionInfo(path, size, data.data())) return {};
        return data;
    }

    // A string value as the reader returns it: UTF-16 with its terminator.
    static bool queryText(const std::vector<char>& data, const QString& subBlock, QString* text, uint32_t* length) {
        const void* value = nullptr;
        if (!platform::VerQueryValue(data.data(), subBlock, &value, length)) return false;
        const auto* chars = static_cast<const char16_t*>(value);
        if (*length == 0 || chars[*length - 1] != u'\0') return false;
        *text = QString::fromUtf16(chars, int(*length) - 1);
        return true;
    }

    // The "FileVersion" text of the English (US, Unicode) translation of a
    // file; empty when there is none.
    static QString fileVersionOf(const QString& path) {
        QString text;
        uint32_t length = 0;
        if (!queryText(decoded(path), QStringLiteral("\\StringFileInfo\\040904b0\\FileVersion"), &text, &length))
            return QString();
        return text;
    }

    QTemporaryDir m_dir;
    int m_count = 0;
};

TEST_F(VersionInfoTest, TranslationsComeBackAsPairsInTheirOrder) {
    const auto data =
        decoded(writeFile(platform::makeVersionBlock({{0x0407, 0x04e4}, {0x0409, 0x04b0}}, {}, "1.0.0.0")));
    ASSERT_FALSE(data.empty());
    const void* value = nullptr;
    uint32_t length = 0;
    ASSERT_TRUE(platform::VerQueryValue(data.data(), QStringLiteral("\\VarFileInfo\\Translation"), &value, &length));
    ASSERT_EQ(length, 8u);
    uint16_t pairs[4];
    std::memcpy(pairs, value, sizeof pairs);
    EXPECT_EQ(pairs[0], 0x0407);
    EXPECT_EQ(pairs[1], 0x04e4);
    EXPECT_EQ(pairs[2], 0x0409);
    EXPECT_EQ(pairs[3], 0x04b0);
}

TEST_F(VersionInfoTest, StringValuesAreTerminatedUtf16) {
    const auto data = decoded(writeFile(platform::makeVersionBlock(
        {{0x0409, 0x04b0}},
        {{"040904b0\\FileVersion", "2.0.1.6"}, {"040904b0\\ProductName", QString::fromUtf8("Corvane \xc3\xa9")}})));
    ASSERT_FALSE(data.empty());
    struct Case {
        const char* subBlock;
        const char* text;  // UTF-8
    };
    const Case cases[] = {
        {"\\StringFileInfo\\040904b0\\FileVersion", "2.0.1.6"},
        {"\\StringFileInfo\\040904b0\\ProductName", "Corvane \xc3\xa9"},
        // Keys are matched without regard to case, as version resources are.
        {"\\stringfileinfo\\040904B0\\fileversion", "2.0.1.6"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.subBlock);
        QString text;
        uint32_t length = 0;
        ASSERT_TRUE(queryText(data, QString::fromLatin1(c.subBlock), &text, &length));
        EXPECT_EQ(text, QString::fromUtf8(c.text));
        EXPECT_EQ(length, uint32_t(text.size() + 1));
    }
}

TEST_F(VersionInfoTest, AbsentValuesAreNotFound) {
    const auto withEntries =
        decoded(writeFile(platform::makeVersionBlock({{0x0409, 0x04b0}}, {{"040904b0\\FileVersion", "2.1"}})));
    const auto withoutTranslation =
        decoded(writeFile(platform::makeVersionBlock({}, {{"040904b0\\FileVersion", "2.1"}}, "2.1.0.0")));
    ASSERT_FALSE(withEntries.empty());
    ASSERT_FALSE(withoutTranslation.empty());
    const void* value = nullptr;
    uint32_t length = 0;
    for (const char* subBlock : {"\\StringFileInfo\\040904b0\\ProductName", "\\StringFileInfo\\040704e4\\FileVersion",
                                 "\\StringFileInfo\\", "\\Other\\040904b0\\FileVersion", ""}) {
        SCOPED_TRACE(subBlock);
        EXPECT_FALSE(platform::VerQueryValue(withEntries.data(), QString::fromLatin1(subBlock), &value, &length));
    }
    EXPECT_FALSE(platform::VerQueryValue(withoutTranslation.data(), QStringLiteral("\\VarFileInfo\\Translation"),
                                         &value, &length));
    EXPECT_FALSE(platform::VerQueryValue(nullptr, QStringLiteral("\\VarFileInfo\\Translation"), &value, &length));
}

TEST_F(VersionInfoTest, TheFirstBlockOfAFileCounts) {
    const QByteArray first = platform::makeVersionBlock({{0x0409, 0x04b0}}, {{"040904b0\\FileVersion", "1.0"}});
    const QByteArray second = platform::makeVersionBlock({{0x0409, 0x04b0}}, {{"040904b0\\FileVersion", "9.0"}});
    EXPECT_EQ(fileVersionOf(writeFile(first + QByteArray(100, 'x') + second)), QStringLiteral("1.0"));
}

TEST_F(VersionInfoTest, ABlockAcrossTheReadersChunksIsFound) {
    // The reader scans 1 MiB at a time; a block that starts a few bytes before
    // such an edge must still be found whole.
    const QByteArray block = platform::makeVersionBlock({{0x0409, 0x04b0}}, {{"040904b0\\FileVersion", "3.2"}});
    for (int before : {(1 << 20) - 5, (1 << 20) - 1, (1 << 20) + 7}) {
        SCOPED_TRACE(before);
        EXPECT_EQ(fileVersionOf(writeFile(block, before)), QStringLiteral("3.2"));
    }
}

TEST_F(VersionInfoTest, FilesWithoutAWholeBlockHaveNoVersionData) {
    const QByteArray block = platform::makeVersionBlock({{0x0409, 0x04b0}}, {{"040904b0\\FileVersion", "2.1"}});
    const QString paths[] = {
        writeFile(QByteArray("just bytes, no version here")),
        writeFile(QByteArray(), 0),
        writeFile(block.left(block.size() - 4)),  // the end marker cut off
        m_dir.filePath(QStringLiteral("missing.bin")),
        m_dir.path(),  // a folder
        QString(),
    };
    for (const QString& path : paths) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(platform::GetFileVersionInfoSize(path), 0u);
        char buffer[256];
        EXPECT_FALSE(platform::GetFileVersionInfo(path, sizeof buffer, buffer));
    }
}

TEST_F(VersionInfoTest, ACopyNeedsTheWholeSize) {
    const QString path =
        writeFile(platform::makeVersionBlock({{0x0409, 0x04b0}}, {{"040904b0\\FileVersion", "2.0.1.6"}}));
    const uint32_t size = platform::GetFileVersionInfoSize(path);
    ASSERT_GT(size, 0u);
    std::vector<char> buffer(size);
    EXPECT_FALSE(platform::GetFileVersionInfo(path, size - 1, buffer.data()));
    EXPECT_FALSE(platform::GetFileVersionInfo(path, size, nullptr));
    EXPECT_TRUE(platform::GetFileVersionInfo(path, size, buffer.data()));
}

}  // namespace
