// The safe writer and reader: what stands under a file's name (a link, a pipe, a folder) is
// never written through nor waited on, a set of files goes in place together, and leftovers of
// a killed program are cleaned at start.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "safefile/safefile.h"

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void Put(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const QString& n : QDir(QString::fromStdString(dir))
                              .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
    names.push_back(n.toStdString());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class SafeFile : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.isValid());
    dir_ = tmp_.path().toStdString();
    victim_ = dir_ + "/elsewhere/victim";
    ASSERT_EQ(mkdir((dir_ + "/elsewhere").c_str(), 0700), 0);
    Put(victim_, "precious\n");
  }
  std::string At(const char* name) const { return dir_ + "/" + name; }

  QTemporaryDir tmp_;
  std::string dir_, victim_;
};

TEST_F(SafeFile, NothingUnderTheNameIsWrittenThroughOrWaitedOn) {
  ASSERT_EQ(symlink(victim_.c_str(), At("link").c_str()), 0);
  ASSERT_EQ(mkfifo(At("pipe").c_str(), 0600), 0);
  ASSERT_EQ(mkdir(At("folder").c_str(), 0700), 0);
  // A reader on the pipe sees whether anything was ever opened for writing on it.
  const int reader = open(At("pipe").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  for (const char* name : {"link", "pipe", "folder"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(WriteFileSafely(At(name).c_str(), "new\n", 4), kFileNotPlain);
  }
  char byte;
  EXPECT_EQ(read(reader, &byte, 1), 0) << "no writer ever opened the pipe";
  close(reader);
  EXPECT_EQ(Slurp(victim_), "precious\n");
  struct stat st {};
  ASSERT_EQ(lstat(At("link").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));

  // The old fixed temporary name as a link: the write goes elsewhere, the target stays.
  ASSERT_EQ(symlink(victim_.c_str(), At("plain.part").c_str()), 0);
  EXPECT_EQ(WriteFileSafely(At("plain").c_str(), "new\n", 4), kFileWritten);
  EXPECT_EQ(Slurp(At("plain")), "new\n");
  EXPECT_EQ(Slurp(victim_), "precious\n");
  EXPECT_EQ(Entries(dir_), (std::vector<std::string>{"elsewhere", "folder", "link", "pipe", "plain",
                                                     "plain.part"}))
      << "no temporary left";

  // Readers open only plain files, and never wait on a pipe without a writer.
  unsigned char buf[16];
  std::size_t n = 99;
  EXPECT_FALSE(ReadPlainFile(At("pipe").c_str(), buf, sizeof buf, &n));
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(OpenPlainFile(At("pipe").c_str()), nullptr);
  EXPECT_EQ(OpenPlainFile(At("folder").c_str()), nullptr);
  std::FILE* f = OpenPlainFile(At("plain").c_str());
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(std::fread(buf, 1, sizeof buf, f), 4u);
  std::fclose(f);
}

TEST_F(SafeFile, TemporariesAreFreshPlainFilesOfOurOwnNaming) {
  StagedFile a, b;
  ASSERT_EQ(StageFile(At("t").c_str(), "a", 1, &a), kFileWritten);
  ASSERT_EQ(StageFile(At("t").c_str(), "b", 1, &b), kFileWritten);
  EXPECT_NE(a.tempName, b.tempName);
  const std::string stem = "t." + std::to_string(getpid()) + ".";
  for (const StagedFile* s : {&a, &b}) {
    EXPECT_EQ(s->tempName.compare(0, stem.size(), stem), 0) << s->tempName;
    EXPECT_EQ(s->tempName.size(), stem.size() + 6 + 5) << s->tempName;
    struct stat st {};
    ASSERT_EQ(lstat(At(s->tempName.c_str()).c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_nlink, 1u);
  }
  DiscardStagedFile(&a);
  EXPECT_EQ(CommitStagedFile(&b), kFileWritten);
  EXPECT_EQ(Slurp(At("t")), "b");

  EXPECT_EQ(Entries(dir_), (std::vector<std::string>{"elsewhere", "t"}));
  EXPECT_EQ(WriteFileSafely(At("missing/t").c_str(), "x", 1), kFileCannotCreate);
}

// A set goes in place only at its end; a set interrupted after its journal went in place is
// completed at the next start, one interrupted before it is undone, and the leftovers of a
// killed program are removed while those of a running one are not.
TEST_F(SafeFile, SetsGoInPlaceTogetherAndInterruptedOnesAreCompletedOrUndone) {
  const std::string journal = At("set.journal");
  const char* names[] = {"a", "b"};
  Put(At("a"), "old a");
  Put(At("b"), "old b");
  BeginFileSet(journal.c_str());
  EXPECT_EQ(WriteFileSafely(At("a").c_str(), "new a", 5), kFileWritten);
  EXPECT_EQ(WriteFileSafely(At("b").c_str(), "new b", 5), kFileWritten);
  EXPECT_EQ(Slurp(At("a")), "old a") << "nothing in place before the set ends";
  std::string failed = "?";
  EXPECT_EQ(EndFileSet(&failed), kFileWritten);
  EXPECT_EQ(failed, "");
  EXPECT_EQ(Slurp(At("a")) + Slurp(At("b")), "new anew b");
  EXPECT_EQ(Entries(dir_), (std::vector<std::string>{"a", "b", "elsewhere"}));

  // What a program killed mid-set leaves: temporaries of a pid no longer running and,
  // once the set counted as saved, the journal naming them.
  auto leave = [&](bool journalInPlace) {
    Put(At("a.999999999.AbCd12.part"), "next a");
    Put(At("b.999999999.xYz789.part"), "next b");
    if (journalInPlace) {
      Put(journal,
          "veltra file set\na\ta.999999999.AbCd12.part\nb\tb.999999999.xYz789.part\nend\n");
    } else {
      Put(At("set.journal.999999999.QQQQQQ.part"), "veltra file set\na\ta.999999999.AbCd12.part\n");
    }
  };
  leave(false);
  Put(At(("a." + std::to_string(getpid()) + ".live00.part").c_str()), "being written");
  EXPECT_EQ(RecoverFileSet(journal.c_str(), names, 2), 0);
  EXPECT_EQ(Slurp(At("a")) + Slurp(At("b")), "new anew b") << "undone";
  const std::string live = "a." + std::to_string(getpid()) + ".live00.part";
  EXPECT_EQ(Entries(dir_), (std::vector<std::string>{"a", live, "b", "elsewhere"}));
  unlink(At(live.c_str()).c_str());

  leave(true);
  // A journal may only ever move our temporaries onto the names it is given.
  Put(At("c.999999999.AAAAAA.part"), "foreign");
  Put(journal,
      Slurp(journal).insert(
          16, "c\tc.999999999.AAAAAA.part\n../elsewhere/victim\ta.999999999.AbCd12.part\n"));
  EXPECT_EQ(RecoverFileSet(journal.c_str(), names, 2), 2);
  EXPECT_EQ(Slurp(At("a")) + Slurp(At("b")), "next anext b") << "completed";
  EXPECT_EQ(Slurp(victim_), "precious\n");
  EXPECT_EQ(Entries(dir_),
            (std::vector<std::string>{"a", "b", "c.999999999.AAAAAA.part", "elsewhere"}));

  // A scratch folder of a program that no longer runs goes too; ours stays.
  const std::string oldTmp = getenv("TMPDIR") != nullptr ? getenv("TMPDIR") : "";
  setenv("TMPDIR", (dir_ + "/elsewhere").c_str(), 1);
  std::string mine;
  ASSERT_TRUE(MakeScratchDir(&mine));
  const std::string dead = dir_ + "/elsewhere/veltra-999999999.k3k3k3";
  ASSERT_EQ(mkdir(dead.c_str(), 0700), 0);
  Put(dead + "/state.ini", "x");
  Put(dead + "/state.ini.lock", "x");
  RecoverFileSet(journal.c_str(), names, 2);
  EXPECT_EQ(access(dead.c_str(), F_OK), -1);
  EXPECT_EQ(access(mine.c_str(), F_OK), 0);
  RemoveScratchDir(mine);
  EXPECT_EQ(Entries(dir_ + "/elsewhere"), std::vector<std::string>{"victim"});
  if (oldTmp.empty()) {
    unsetenv("TMPDIR");
  } else {
    setenv("TMPDIR", oldTmp.c_str(), 1);
  }
}

}  // namespace
