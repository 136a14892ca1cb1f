// Output files in a directory that others may write: what is planted at a
// temporary name is never opened, the target's own protection holds, the
// configuration is never replaced, and two processes writing one directory
// each publish whole files.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "output/OutputFile.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::TempFilesBeside;
using testsupport::WriteFile;

namespace {

TEST(OutputTempName, UniqueNameInTheTargetsDirectory)
{
    struct Case {
        std::string Target;
        unsigned long long Bits;
        int Length;
        std::string Temp;
    } cases[] = {
        {"4000.txt", 0, 8, "~0000000"},
        {"out/Europe.xml", 1, 12, "out/~1000000"},
        {"/a/b/4000_1.ini", 36 * 36 + 35, 13, "/a/b/~z010000"},
        {"", 0, -1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Target);
        char temp[tressel::kTempPathCapacity];
        EXPECT_EQ(c.Length, tressel::OutputTempName(temp, sizeof temp, c.Target.c_str(), c.Bits));
        if (c.Length > 0) {
            EXPECT_EQ(c.Temp, temp);
        }
    }
    char small[8];
    EXPECT_EQ(-1, tressel::OutputTempName(small, sizeof small, "4000.txt", 0));

    // The platform's bits give a new name at every call.
    std::set<std::string> names;
    for (int i = 0; i < 1000; ++i) {
        char temp[tressel::kTempPathCapacity];
        tressel::OutputTempName(temp, sizeof temp, "d/x.ini", tressel::PlatformUniqueBits());
        names.insert(temp);
    }
    EXPECT_EQ(1000u, names.size());
}

// Scripted temporary names: ~0000000, ~1000000, ~2000000, ...
unsigned long long gNextBits = 0;
uint64_t ScriptedBits()
{
    return gNextBits++;
}

class OutputFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gNextBits = 0;
        tressel::gOutputNameBits = ScriptedBits;
        oldMask_ = umask(022);
    }
    void TearDown() override
    {
        tressel::gOutputNameBits = tressel::PlatformUniqueBits;
        tressel::ProtectFromOutput(nullptr);
        umask(oldMask_);
    }

    // Writes text to target through the output file; returns the result.
    static int Write(const std::string& target, const std::string& text)
    {
        tressel::OutputFile file;
        if (tressel::OpenOutputFile(&file, target.c_str()) != 0)
            return -2;
        fputs(text.c_str(), file.Stream);
        return tressel::CommitOutputFile(&file);
    }

    TempDir dir_;
    TempDir elsewhere_; // another user's files, outside the output directory

private:
    mode_t oldMask_ = 0;
};

struct stat Lstat(const std::string& path)
{
    struct stat st = {};
    lstat(path.c_str(), &st);
    return st;
}

// Something planted at a name a writer might use: at the fixed name older
// versions used, and at the first unique name the writer draws.
TEST_F(OutputFileTest, WhatIsPlantedAtATemporaryNameIsNeverOpened)
{
    struct Plant {
        const char* Name;
        std::function<void(const std::string& at, const std::string& victim)> Make;
    } plants[] = {
        {"symlink to another file", [](const std::string& at, const std::string& victim) {
             ASSERT_EQ(0, symlink(victim.c_str(), at.c_str()));
         }},
        {"dangling symlink", [](const std::string& at, const std::string& victim) {
             ASSERT_EQ(0, symlink((victim + ".new").c_str(), at.c_str()));
         }},
        {"hard link to another file", [](const std::string& at, const std::string& victim) {
             ASSERT_EQ(0, link(victim.c_str(), at.c_str()));
         }},
        {"another user's file", [](const std::string& at, const std::string&) {
             WriteFile(at, "planted\n");
             chmod(at.c_str(), 0666);
         }},
        {"FIFO", [](const std::string& at, const std::string&) { ASSERT_EQ(0, mkfifo(at.c_str(), 0666)); }},
    };
    for (const char* plantedName : {"4000.tx~", "~0000000"}) {
        for (const Plant& p : plants) {
            SCOPED_TRACE(std::string(p.Name) + " at " + plantedName);
            gNextBits = 0;
            std::string target = dir_.File("4000.txt");
            std::string planted = dir_.File(plantedName);
            std::string victim = elsewhere_.File("victim");
            WriteFile(target, "previous pass\n");
            WriteFile(victim, "not yours\n");
            p.Make(planted, victim);
            struct stat before = Lstat(planted);

            EXPECT_EQ(0, Write(target, "this pass\n"));
            EXPECT_EQ("this pass\n", ReadFile(target));
            EXPECT_EQ("not yours\n", ReadFile(victim));
            EXPECT_FALSE(testsupport::FileExists(victim + ".new"));
            struct stat after = Lstat(planted);
            EXPECT_EQ(before.st_ino, after.st_ino); // still there, untouched
            EXPECT_EQ(before.st_mode, after.st_mode);
            EXPECT_NE(before.st_ino, Lstat(target).st_ino); // never published
            // Only the planted name is left beside the target.
            std::vector<std::string> left = TempFilesBeside(target);
            EXPECT_EQ(std::string(plantedName) == "~0000000" ? 1u : 0u, left.size());
            unlink(planted.c_str());
            unlink(victim.c_str());
        }
    }
}

TEST_F(OutputFileTest, EveryTakenNameIsSkippedAndAFailureRemovesOnlyItsOwnFile)
{
    std::string target = dir_.File("Europe.ini");
    for (const char* name : {"~0000000", "~1000000", "~2000000"})
        WriteFile(dir_.File(name), "planted\n");
    EXPECT_EQ(0, Write(target, "list\n"));
    EXPECT_EQ("list\n", ReadFile(target));
    EXPECT_EQ(3u, TempFilesBeside(target).size());

    // A rename that fails (the target is a directory) removes the writer's
    // own temporary file and nothing else.
    std::string directory = dir_.File("4000.txt");
    mkdir(directory.c_str(), 0755);
    EXPECT_EQ(-2, Write(directory, "report\n"));
    EXPECT_EQ(3u, TempFilesBeside(target).size());
    for (const char* name : {"~0000000", "~1000000", "~2000000"})
        EXPECT_EQ("planted\n", ReadFile(dir_.File(name)));
}

TEST_F(OutputFileTest, NewFilesTakeTheUmaskAndReplacedFilesKeepTheirMode)
{
    std::string fresh = dir_.File("4000.ini");
    umask(027);
    EXPECT_EQ(0, Write(fresh, "new\n"));
    EXPECT_EQ(0640u, Lstat(fresh).st_mode & 07777);

    std::string kept = dir_.File("4000.txt");
    WriteFile(kept, "old\n");
    chmod(kept.c_str(), 0604);
    EXPECT_EQ(0, Write(kept, "new\n"));
    EXPECT_EQ("new\n", ReadFile(kept));
    EXPECT_EQ(0604u, Lstat(kept).st_mode & 07777);
}

TEST_F(OutputFileTest, AReadOnlyTargetIsRefusedAndKept)
{
    std::string target = dir_.File("4000.ini");
    WriteFile(target, "keep me\n");
    chmod(target.c_str(), 0444);
    EXPECT_EQ(-2, Write(target, "new\n"));
    EXPECT_EQ("keep me\n", ReadFile(target));
    EXPECT_EQ(0444u, Lstat(target).st_mode & 07777);
    EXPECT_TRUE(TempFilesBeside(target).empty());
}

// Another user's file that this user may not write, in a directory that
// anyone may write: renaming over it would succeed, so it must be refused
// before. Played by the superuser's file and a child that drops to nobody.
TEST_F(OutputFileTest, AnotherUsersFileThatMayNotBeWrittenIsKept)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs the superuser to play two users";
    chmod(dir_.Path().c_str(), 0711);
    std::string shared = dir_.File("shared");
    mkdir(shared.c_str(), 0777);
    chmod(shared.c_str(), 0777);
    std::string target = shared + "/4000.ini";
    WriteFile(target, "root's list\n");
    chmod(target.c_str(), 0644);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(2);
        _exit(Write(target, "nobody's list\n") == -2 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status)) << "1: the write was not refused; 2: no user nobody";
    EXPECT_EQ("root's list\n", ReadFile(target));
    EXPECT_TRUE(TempFilesBeside(target).empty());
}

TEST_F(OutputFileTest, ASymlinkedTargetIsWrittenThroughToTheFileItNames)
{
    mkdir(dir_.File("lists").c_str(), 0755);
    mkdir(dir_.File("real").c_str(), 0755);
    std::string real = dir_.File("real/Europe.ini");
    WriteFile(real, "old\n");
    chmod(real.c_str(), 0600);
    struct Case {
        const char* Link;
        const char* Points;
    } cases[] = {
        {"lists/Europe.ini", "../real/Europe.ini"}, // relative to the link's directory
        {"lists/absolute.ini", nullptr},            // absolute
        {"lists/twice.ini", "Europe.ini"},          // a link to a link
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Link);
        std::string link = dir_.File(c.Link);
        std::string points = c.Points != nullptr ? c.Points : real;
        ASSERT_EQ(0, symlink(points.c_str(), link.c_str()));
        EXPECT_EQ(0, Write(link, std::string("via ") + c.Link + "\n"));
        EXPECT_TRUE(S_ISLNK(Lstat(link).st_mode));
        EXPECT_EQ(std::string("via ") + c.Link + "\n", ReadFile(real));
        EXPECT_EQ(0600u, Lstat(real).st_mode & 07777);
        EXPECT_TRUE(TempFilesBeside(link).empty());
        EXPECT_TRUE(TempFilesBeside(real).empty());
    }
    // A link that names itself never ends: refused.
    std::string loop = dir_.File("lists/loop.ini");
    ASSERT_EQ(0, symlink("loop.ini", loop.c_str()));
    EXPECT_EQ(-2, Write(loop, "x\n"));
}

TEST_F(OutputFileTest, TheConfigurationIsNeverReplacedWhateverTheName)
{
    std::string config = dir_.File("Tressel.ini");
    WriteFile(config, "[Options]\n");
    ASSERT_EQ(0, link(config.c_str(), dir_.File("alias.ini").c_str()));
    ASSERT_EQ(0, symlink("Tressel.ini", dir_.File("pointer.ini").c_str()));
    tressel::ProtectFromOutput(config.c_str());
    for (const std::string& name : {config, dir_.Path() + "/./Tressel.ini", dir_.File("alias.ini"),
                                    dir_.File("pointer.ini")}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(-2, Write(name, "T 474000000\n"));
        EXPECT_EQ("[Options]\n", ReadFile(config));
    }
    EXPECT_EQ(0, Write(dir_.File("Europe.ini"), "T 474000000\n"));
}

// Two processes write one target again and again; a reader meanwhile checks
// that every file it sees is whole and from one writer.
TEST_F(OutputFileTest, TwoProcessesWritingOneDirectoryPublishWholeFiles)
{
    tressel::gOutputNameBits = tressel::PlatformUniqueBits;
    std::string target = dir_.File("4000.txt");
    // Larger than the write buffer, so each file reaches the disk in several writes.
    auto content = [](char c) {
        std::string text;
        for (int line = 0; line < 6000; ++line)
            text += std::string(40, c) + " " + std::to_string(line) + "\n";
        return text;
    };
    const std::string texts[2] = {content('A'), content('B')};
    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = fork();
        ASSERT_GE(writers[w], 0);
        if (writers[w] == 0) {
            int failures = 0;
            for (int i = 0; i < 150; ++i)
                failures += Write(target, texts[w]) != 0;
            _exit(failures == 0 ? 0 : 1);
        }
    }
    int seen = 0, torn = 0;
    int status[2] = {0, 0};
    bool done[2] = {false, false};
    while (!done[0] || !done[1]) {
        for (int w = 0; w < 2; ++w)
            done[w] = done[w] || waitpid(writers[w], &status[w], WNOHANG) == writers[w];
        if (!testsupport::FileExists(target))
            continue;
        std::string text = ReadFile(target);
        ++seen;
        if (text != texts[0] && text != texts[1])
            ++torn;
    }
    for (int w = 0; w < 2; ++w)
        EXPECT_TRUE(WIFEXITED(status[w]) && WEXITSTATUS(status[w]) == 0);
    EXPECT_GT(seen, 0);
    EXPECT_EQ(0, torn) << "of " << seen << " reads";
    std::string last = ReadFile(target);
    EXPECT_TRUE(last == texts[0] || last == texts[1]);
    EXPECT_TRUE(TempFilesBeside(target).empty());
}

} // namespace
