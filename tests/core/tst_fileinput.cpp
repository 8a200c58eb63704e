// Reading files whole, their lengths, and the parameters proposed from them.
#include "analysis/fileio.h"
#include "analysis/proposal.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillet;

namespace {

QString WriteFile(const QTemporaryDir& dir, const QString& name, const std::string& bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    return path;
}

} // namespace

TEST(ProposeParameters, BandsIncludeTheirUpperBound)
{
    struct Case {
        int64_t length;
        const char* step;
        const char* window;
    };
    const Case cases[] = {
        {0, "10", "50"},
        {10'000, "10", "50"},
        {10'001, "50", "100"},
        {100'000, "50", "100"},
        {100'001, "100", "300"},
        {1'000'000, "100", "300"},
        {1'000'001, "1500", "3000"},
        {10'000'000, "1500", "3000"},
        {10'000'001, "10000", "30000"},
        {100'000'000, "10000", "30000"},
        {100'000'001, "100000", "300000"},
        {5'000'000'000LL, "100000", "300000"},
    };
    for (const Case& c : cases) {
        const Proposal p = ProposeParameters(c.length);
        EXPECT_EQ(p.step, QLatin1String(c.step)) << c.length;
        EXPECT_EQ(p.window, QLatin1String(c.window)) << c.length;
    }
}

TEST(FileInput, ReadsRegularFilesWholeWithEveryByte)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::string bytes;
    for (int i = 0; i < 3'000'000; ++i)
        bytes += static_cast<char>(i * 7 % 256); // NUL and high bytes included
    const QString big = WriteFile(dir, QStringLiteral("big.fas"), bytes);
    const QString empty = WriteFile(dir, QStringLiteral("empty.fas"), "");
    const QString odd = WriteFile(dir, QStringLiteral("n\u00e4me with space.fasta"), ">a\nAC\n");

    EXPECT_EQ(ReadWholeFile(big), bytes);
    EXPECT_EQ(FileLength(big), 3'000'000);
    EXPECT_EQ(ReadWholeFile(empty), std::string());
    EXPECT_EQ(FileLength(empty), 0);
    EXPECT_EQ(ReadWholeFile(odd), std::string(">a\nAC\n"));
    EXPECT_EQ(FileLength(odd), 6);
}

TEST(FileInput, RefusesWhatIsNoRegularFileWithoutBlocking)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString fifo = dir.filePath(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    const QString paths[] = {QString(), dir.path(), fifo, dir.filePath(QStringLiteral("missing.fas")),
                             QStringLiteral("/dev/zero")};
    for (const QString& p : paths) {
        EXPECT_FALSE(ReadWholeFile(p).has_value()) << p.toStdString();
        EXPECT_FALSE(FileLength(p).has_value()) << p.toStdString();
    }
}

TEST(FileInput, ReadsPastTheLengthKnownWhenOpening)
{
    // Files under /proc claim a length of 0 and yet have content: the same
    // path that takes the bytes of a file that grew while being read.
    const std::optional<std::string> status = ReadWholeFile(QStringLiteral("/proc/self/status"));
    ASSERT_TRUE(status.has_value());
    EXPECT_NE(status->find("Name:"), std::string::npos);
}

TEST(FileInput, Utf16WithByteOrderMarkReadsAsItsText)
{
    const auto decoded = [](std::string bytes) {
        DecodeMarkedUtf16(bytes);
        return bytes;
    };
    using namespace std::string_literals;
    EXPECT_EQ(decoded("\xFF\xFE>\0s\0\n\0A\0C\0"s), ">s\nAC");
    EXPECT_EQ(decoded("\xFE\xFF\0>\0s\0\n\0G"s), ">s\nG");
    // Beyond Latin-1 becomes '?', Latin-1 stays one byte, an odd last byte goes.
    EXPECT_EQ(decoded("\xFF\xFE\xac\x20\xe9\0G"s), "?\xe9");
    // Anything without a UTF-16 mark is left alone, a UTF-8 mark included.
    for (const std::string& plain : {"\xEF\xBB\xBF>s\nA"s, ">s\0\nA"s, "\xFF"s, ""s})
        EXPECT_EQ(decoded(plain), plain);
}

// A file's name is bytes: one that is no valid UTF-8 (Latin-1, or cut in
// the middle of a character) still names its file once it is a QString,
// and names that are text are Qt's own decoding of them.
TEST(FileInput, PathsThatAreNoValidTextNameTheirFiles)
{
    using namespace std::string_literals;
    for (const QByteArray& native : {QByteArray("caf\xE9.fa"), QByteArray("\xC3"), QByteArray("a\xC3\xA9\xFF\xC3(b"),
                                     QByteArray("\xED\xA0\x80"), QByteArray("\xF0\x9F\x98\x80 \xE2\x82")}) {
        const QString path = PathFromNative(native);
        EXPECT_EQ(NativePath(path), native) << native.toStdString();
    }
    for (const char* text : {"plain.fa", "Caf\xC3\xA9 \xF0\x9F\x98\x80.fa"})
        EXPECT_EQ(PathFromNative(text), QString::fromUtf8(text));
    // U+10080 is the pair D800 DC80: its low half is no escaped byte.
    EXPECT_EQ(NativePath(QString::fromUtf8("\xF0\x90\x82\x80\xC3\xA9")), QByteArray("\xF0\x90\x82\x80\xC3\xA9"));
    EXPECT_EQ(NativePath(PathFromNative("\xF0\x90\x82\x80\xE9")), QByteArray("\xF0\x90\x82\x80\xE9"));

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray native = QFile::encodeName(dir.path()) + "/Soci\xE9t\xE9.fa";
    {
        const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, ">s\nACGT\n", 8), 8);
        ::close(fd);
    }
    const QString path = PathFromNative(native);
    EXPECT_EQ(FileLength(path), 8);
    EXPECT_EQ(ReadWholeFile(path), ">s\nACGT\n"s);
    // Qt's own decoding names another file.
    EXPECT_FALSE(FileLength(QFile::decodeName(native)).has_value());
}
