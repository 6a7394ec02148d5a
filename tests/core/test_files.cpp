#include "core/files/file_io.h"
#include "core/files/file_tree.h"
#include "core/files/system_calls.h"
#include "support/named_cases.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Runs the rest of a test with the system's own calls turned off.
struct PortableCallsOnly {
    PortableCallsOnly() { files::system::setSystemCallsEnabled(false); }
    ~PortableCallsOnly() { files::system::setSystemCallsEnabled(true); }
};

// Runs the rest of a scope with writes cut off past bytes, as a full disk cuts them: the
// write that crosses the limit is short and the next one fails. Root is bound by it too.
struct FileSizeLimit {
    rlimit before{};
    sighandler_t handler;
    explicit FileSizeLimit(rlim_t bytes) : handler(::signal(SIGXFSZ, SIG_IGN))
    {
        ::getrlimit(RLIMIT_FSIZE, &before);
        const rlimit limit{bytes, before.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &before);
        ::signal(SIGXFSZ, handler);
    }
};

} // namespace

TEST(Files, CopiesKeepContentsModeAndTimeWithOrWithoutTheSystemsOwnCalls)
{
    for (const bool portable : {false, true}) {
        TempHome temp;
        std::optional<PortableCallsOnly> only;
        if (portable)
            only.emplace();
        const QByteArray large = QByteArray("0123456789abcdef").repeated(300'000); // several buffers
        temp.write("cap_sid/.hidden", "h");
        temp.write("cap_sid/inner/data.bin", QByteArray("\x00\x01\x02", 3));
        temp.write("cap_sid/large", large);
        QFile::setPermissions(temp.path("cap_sid/inner/data.bin"), QFile::ReadOwner | QFile::WriteOwner);
        const QDateTime old = QDateTime::fromSecsSinceEpoch(1'600'000'000);
        setModificationTime(temp.path("cap_sid/inner/data.bin"), old);
        temp.makeDirectory("backup");
        ASSERT_TRUE(files::copyItem(temp.path("cap_sid"), temp.path("backup/cap_sid")));
        EXPECT_EQ(temp.read("backup/cap_sid/.hidden"), "h");
        EXPECT_EQ(temp.read("backup/cap_sid/inner/data.bin"), QByteArray("\x00\x01\x02", 3));
        EXPECT_TRUE(temp.read("backup/cap_sid/large") == large) << "portable: " << portable;
        EXPECT_EQ(modeOf(temp.path("backup/cap_sid/inner/data.bin")), 0600u);
        EXPECT_EQ(modificationTime(temp.path("backup/cap_sid/inner/data.bin")), old);
        // From another file system, where the kernel refuses to copy (EXDEV), the bytes still
        // come over: from memory when the temporary folder is on a disk, else from the build's disk.
        const bool tempOnDisk = QStorageInfo(temp.path("")).fileSystemType() != "tmpfs";
        const QTemporaryDir elsewhere((tempOnDisk ? QStringLiteral("/dev/shm") : QDir::currentPath()) + "/morvane-test-XXXXXX");
        ASSERT_NE(QStorageInfo(elsewhere.path()).device(), QStorageInfo(temp.path("")).device());
        writeFileAt(elsewhere.path() + "/large", large);
        ASSERT_TRUE(files::copyItem(elsewhere.path() + "/large", temp.path("backup/elsewhere")));
        EXPECT_TRUE(temp.read("backup/elsewhere") == large);

        // Replacing by a copy, and writing several files at once.
        ASSERT_TRUE(files::replaceWithCopy(temp.path("cap_sid/large"), temp.path("cap_sid/.hidden")));
        EXPECT_TRUE(temp.read("cap_sid/.hidden") == large);
        files::StagedReplacements batch;
        QByteArray read;
        ASSERT_TRUE(files::readUtf8Into(temp.path("cap_sid/large"), read));
        EXPECT_TRUE(read == large);
        ASSERT_TRUE(batch.stage(temp.path("a"), "new a") && batch.stage(temp.path("b"), "new b")
                    && batch.stagePieces(temp.path("c"), {"head:", QByteArrayView(large).sliced(10)}) && batch.commit());
        EXPECT_EQ(temp.read("a") + temp.read("b"), "new anew b");
        EXPECT_TRUE(temp.read("c") == "head:" + large.mid(10)) << "portable: " << portable;
    }
}

TEST(Files, CopiesTakeTheBytesALinkLeadsTo)
{
    TempHome temp;
    temp.write("elsewhere/auth.json", "login");
    temp.makeDirectory("elsewhere/folder");
    temp.makeDirectory("tree");
    ASSERT_TRUE(QFile::link(temp.path("elsewhere/auth.json"), temp.path("tree/file-link")));
    ASSERT_TRUE(QFile::link(temp.path("elsewhere/folder"), temp.path("tree/folder-link")));
    // Inside a folder, a link to a file is copied as the file, a link to a folder stays a link.
    ASSERT_TRUE(files::copyItem(temp.path("tree"), temp.path("tree-copy")));
    EXPECT_FALSE(QFileInfo(temp.path("tree-copy/file-link")).isSymLink());
    EXPECT_EQ(temp.read("tree-copy/file-link"), "login");
    EXPECT_EQ(QFileInfo(temp.path("tree-copy/folder-link")).symLinkTarget(), temp.path("elsewhere/folder"));
    // So is a link copied by itself, as a backup copies a linked auth.json.
    ASSERT_TRUE(files::copyItem(temp.path("tree/file-link"), temp.path("auth-copy.json")));
    EXPECT_FALSE(QFileInfo(temp.path("auth-copy.json")).isSymLink());
    EXPECT_EQ(temp.read("auth-copy.json"), "login");
}

// Each failure names the operation, the file and the reason, and leaves what was there.
namespace {

// A home with a file of each kind a file operation can meet where it did not expect it.
void arrangeFiles(const TempHome& temp)
{
    temp.write("auth.json", "new");
    temp.write("copy/auth.json", "old");
    temp.write("config.toml/keep", "x");
    temp.write("blocker", "file");
    temp.write("large", QByteArray(10'000, 'x'));
    temp.write("text.toml", "model = \"x\"\n\xc3\x28");
    ASSERT_EQ(::mkfifo(QFile::encodeName(temp.path("pipe")).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(temp.path("nowhere"), temp.path("dangling.json")));
}

// The error a call gave, whatever value it would have given.
template <class T>
Error errorOf(const Expected<T>& result) { return result ? Error() : result.error(); }

struct FailureCase {
    const char* name;
    std::function<Error(const TempHome& temp)> call;
    QString message;
};

const FailureCase failureCases[] = {
    {"copying onto a file", [](const TempHome& temp) { return errorOf(files::copyItem(temp.path("auth.json"), temp.path("copy/auth.json"))); },
     "无法复制“auth.json”：目标已存在。"},
    {"copying a missing file", [](const TempHome& temp) { return errorOf(files::copyItem(temp.path("gone.json"), temp.path("gone-copy.json"))); },
     "无法复制“gone.json”：文件或目录不存在。"},
    {"copying a pipe", [](const TempHome& temp) { return errorOf(files::copyItem(temp.path("pipe"), temp.path("pipe-copy"))); }, "无法复制“pipe”：不是普通文件。"},
    {"copying a dangling link", [](const TempHome& temp) { return errorOf(files::copyItem(temp.path("dangling.json"), temp.path("d-copy"))); },
     "无法复制“dangling.json”：它是一个指向不存在的文件的符号链接。"},
    {"writing onto a folder", [](const TempHome& temp) { return errorOf(files::writeAtomically(temp.path("config.toml"), "data")); }, "无法写入“config.toml”：目标是一个目录。"},
    {"writing onto a pipe", [](const TempHome& temp) { return errorOf(files::writeAtomically(temp.path("pipe"), "data")); }, "无法写入“pipe”：不是普通文件。"},
    {"writing through a dangling link", [](const TempHome& temp) { return errorOf(files::writeAtomically(temp.path("dangling.json"), "data")); },
     "无法写入“dangling.json”：它是一个指向不存在的文件的符号链接。"},
    {"replacing a folder", [](const TempHome& temp) { return errorOf(files::replaceWithCopy(temp.path("auth.json"), temp.path("config.toml"))); },
     "无法替换“config.toml”：目标是一个目录。"},
    {"replacing a dangling link", [](const TempHome& temp) { return errorOf(files::replaceWithCopy(temp.path("auth.json"), temp.path("dangling.json"))); },
     "无法替换“dangling.json”：它是一个指向不存在的文件的符号链接。"},
    {"replacing with a missing file", [](const TempHome& temp) { return errorOf(files::replaceWithCopy(temp.path("gone.json"), temp.path("auth.json"))); },
     "无法复制“gone.json”：文件或目录不存在。"},
    {"reading a pipe", [](const TempHome& temp) { return errorOf(files::readWhole(temp.path("pipe"))); }, "无法读取“pipe”：不是普通文件。"},
    {"staging a copy of a missing file", [](const TempHome& temp) { return errorOf(files::StagedReplacements().stageCopy(temp.path("copy/gone.json"), temp.path("gone.json"))); },
     "无法读取“gone.json”：文件或目录不存在。"},
    {"reading a folder", [](const TempHome& temp) { return errorOf(files::readWhole(temp.path("config.toml"))); }, "无法读取“config.toml”：目标是一个目录。"},
    {"reading a dangling link", [](const TempHome& temp) { return errorOf(files::readWhole(temp.path("dangling.json"))); },
     "无法读取“dangling.json”：文件或目录不存在。"},
    {"reading text that is not UTF-8", [](const TempHome& temp) { return errorOf(files::readUtf8(temp.path("text.toml"))); },
     "无法读取“text.toml”：内容不是有效的 UTF-8 文本。"},
    // Writes that stop partway, as on a full disk.
    {"writing onto a full disk", [](const TempHome& temp) {
         const FileSizeLimit limit(4096);
         return errorOf(files::writeAtomically(temp.path("auth.json"), QByteArray(10'000, 'y')));
     },
     "无法写入“auth.json”：文件过大。"},
    {"copying onto a full disk", [](const TempHome& temp) {
         const FileSizeLimit limit(4096);
         return errorOf(files::copyItem(temp.path("large"), temp.path("large-copy")));
     },
     "无法复制“large-copy”：文件过大。"},
    {"making a folder where a file is", [](const TempHome& temp) { return errorOf(files::makeDirectory(temp.path("blocker/sub"))); }, "无法创建目录“blocker”：那里已有一个同名文件。"},
    {"making a folder of too long a name", [](const TempHome& temp) { return errorOf(files::makeDirectory(temp.path(QString(300, 'a')))); },
     QStringLiteral("无法创建目录“%1”：路径太长。").arg(QString(300, 'a'))},
};

} // namespace

class FileFailure : public ::testing::TestWithParam<FailureCase> {};

// Each failure names the operation, the file and the reason, and leaves what was there.
TEST_P(FileFailure, IsNamedAndLeavesWhatWasThere)
{
    TempHome temp;
    arrangeFiles(temp);
    const Error error = GetParam().call(temp);
    EXPECT_EQ(error.message, GetParam().message);
    EXPECT_EQ(error.domain, QStringLiteral("File"));
    EXPECT_EQ(temp.read("copy/auth.json"), "old");
    EXPECT_EQ(temp.read("config.toml/keep"), "x");
    EXPECT_FALSE(QFileInfo::exists(temp.path("nowhere")));
    EXPECT_EQ(entriesOf(temp.codexHome()),
              (QStringList{"auth.json", "blocker", "config.toml", "copy", "dangling.json", "large", "pipe", "text.toml"}));
    EXPECT_EQ(files::readUtf8(temp.path("auth.json")), QStringLiteral("new"));
}

INSTANTIATE_TEST_SUITE_P(Files, FileFailure, ::testing::ValuesIn(failureCases), CaseName());

TEST(Files, AtomicWritesReplaceWholeAndLeaveNothingBehind)
{
    TempHome temp;
    const QString auth = temp.path("auth.json");
    temp.write("auth.json", "old content that is longer");
    QFile::setPermissions(auth, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::ReadGroup);
    ASSERT_TRUE(files::writeAtomically(auth, "new", files::Access::OwnerOnly));
    EXPECT_EQ(readFileAt(auth), "new");
    EXPECT_EQ(modeOf(auth), 0600u);

    temp.write("a.jsonl", "old a");
    {
        files::StagedReplacements batch;
        ASSERT_TRUE(batch.stage(temp.path("a.jsonl"), "new a"));
        EXPECT_EQ(temp.read("a.jsonl"), "old a");
        // A staged file that vanishes before the flush fails the commit; nothing is replaced.
        const QStringList staged = QDir(temp.codexHome()).entryList(QDir::Hidden | QDir::Files).filter(".morvane-");
        ASSERT_EQ(staged.size(), 1);
        QFile::remove(temp.path(staged[0]));
        const Expected<> committed = batch.commit();
        ASSERT_FALSE(committed);
        EXPECT_EQ(committed.error().message, QStringLiteral("无法写入“a.jsonl”：文件或目录不存在。"));
        EXPECT_EQ(temp.read("a.jsonl"), "old a");
    }
    {
        files::StagedReplacements abandoned;
        ASSERT_TRUE(abandoned.stage(temp.path("a.jsonl"), "never"));
    }
    EXPECT_EQ(temp.read("a.jsonl"), "old a");
    EXPECT_EQ(entriesOf(temp.codexHome()), (QStringList{"a.jsonl", "auth.json"}));

    // A new file gets what the system gives new files; an owner-only one 0600.
    const mode_t mask = ::umask(022);
    ::umask(mask);
    ASSERT_TRUE(files::writeAtomically(temp.path("new.toml"), "x"));
    EXPECT_EQ(modeOf(temp.path("new.toml")), 0666u & ~unsigned(mask));
    QFile::remove(temp.path("new.toml"));

    ASSERT_TRUE(files::makeDirectory(temp.path("morvane/backups/x")));
    EXPECT_EQ(modeOf(temp.path("morvane")), 0700u);
    EXPECT_EQ(modeOf(temp.path("morvane/backups/x")), 0700u);
    EXPECT_TRUE(files::makeDirectory(temp.path("morvane/backups/x")));

    // Through a link (a dotfiles repository's auth.json), the file it leads to is replaced.
    TempHome dotfiles;
    dotfiles.write("codex-auth.json", "old");
    ASSERT_TRUE(QFile::link(dotfiles.path("codex-auth.json"), temp.path("linked.json")));
    ASSERT_TRUE(files::writeAtomically(temp.path("linked.json"), "new"));
    EXPECT_TRUE(QFileInfo(temp.path("linked.json")).isSymLink());
    EXPECT_EQ(entriesOf(dotfiles.codexHome()), QStringList{"codex-auth.json"});
    EXPECT_EQ(dotfiles.read("codex-auth.json"), "new");
}
