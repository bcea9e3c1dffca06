#include "safefile/safefile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr const char* kTempSuffix = ".part";
constexpr int kRandomLetters = 6;
constexpr int kCreateTries = 100;
// Room left in a folder entry's 255 bytes for ".<pid>.<letters>.part".
constexpr std::size_t kTempPrefixMax = 200;
constexpr std::size_t kJournalLimit = 64 * 1024;
constexpr const char* kJournalHead = "veltra file set\n";
constexpr const char* kJournalEnd = "end\n";
constexpr const char* kScratchPrefix = "veltra-";

struct OpenSet {
  bool open = false;
  std::string journal;
  std::vector<StagedFile> files;
};
OpenSet g_set;

void SplitPath(const char* path, std::string* dir, std::string* name) {
  const std::string p = path;
  const std::size_t slash = p.rfind('/');
  if (slash == std::string::npos) {
    dir->assign(1, '.');
    name->assign(p);
  } else {
    dir->assign(p, 0, slash == 0 ? 1 : slash);  // "/name" lives in "/"
    name->assign(p, slash + 1, std::string::npos);
  }
}

int OpenDir(const std::string& dir) {
  return open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

void CloseFd(int* fd) {
  if (*fd >= 0) close(*fd);
  *fd = -1;
}

// A name that is absent or a plain file may be replaced; anything else under it may not.
bool Replaceable(int dirFd, const std::string& name) {
  struct stat st {};
  if (fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno != ENOTDIR;
  return S_ISREG(st.st_mode);
}

void RandomLetters(char* out, int n) {
  static constexpr char kAlphabet[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char raw[16] = {};
  if (getrandom(raw, static_cast<std::size_t>(n), GRND_NONBLOCK) != n) {
    // Without the kernel's generator the clock still makes the name hard to foresee;
    // O_EXCL keeps a guessed name harmless either way.
    auto t = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    for (int i = 0; i < n; ++i, t = t * 6364136223846793005ULL + 1442695040888963407ULL) {
      raw[i] = static_cast<unsigned char>(t >> 33);
    }
  }
  for (int i = 0; i < n; ++i) out[i] = kAlphabet[raw[i] % (sizeof kAlphabet - 1)];
  out[n] = '\0';
}

std::string TempNameFor(const std::string& name) {
  char letters[kRandomLetters + 1];
  RandomLetters(letters, kRandomLetters);
  char tail[64];
  std::snprintf(tail, sizeof tail, ".%ld.%s%s", static_cast<long>(getpid()), letters, kTempSuffix);
  return name.substr(0, kTempPrefixMax) + tail;
}

// "<name>.<pid>.<letters>.part" for `name`; the pid goes to `*pid`.
bool IsTempOf(const std::string& name, const char* entry, long* pid) {
  const std::string prefix = name.substr(0, kTempPrefixMax) + ".";
  if (std::strncmp(entry, prefix.c_str(), prefix.size()) != 0) return false;
  const char* p = entry + prefix.size();
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(p, &end, 10);
  if (end == p || *p < '0' || *p > '9' || errno != 0 || *end != '.') return false;
  p = end + 1;
  for (int i = 0; i < kRandomLetters; ++i, ++p) {
    const char c = *p;
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  if (std::strcmp(p, kTempSuffix) != 0) return false;
  *pid = v;
  return true;
}

bool ProgramRuns(long pid) {
  if (pid <= 0 || pid > 0x7fffffffL) return false;
  if (pid == static_cast<long>(getpid())) return true;
  return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

bool WriteAll(int fd, const void* data, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const ssize_t n = write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

const char* TempRoot() {
  const char* t = std::getenv("TMPDIR");
  return t != nullptr && t[0] == '/' ? t : "/tmp";
}

// Leftovers of killed programs: temporaries of `names` in the folder, scratch folders in the
// system's temporary folder.
void RemoveStale(int dirFd, const std::vector<std::string>& names) {
  const int listFd = dup(dirFd);
  DIR* d = listFd >= 0 ? fdopendir(listFd) : nullptr;
  if (d == nullptr) {
    if (listFd >= 0) close(listFd);
  } else {
    std::vector<std::string> doomed;
    while (const dirent* e = readdir(d)) {
      long pid = 0;
      for (const std::string& n : names) {
        if (IsTempOf(n, e->d_name, &pid) && !ProgramRuns(pid)) doomed.emplace_back(e->d_name);
      }
    }
    closedir(d);
    for (const std::string& n : doomed) unlinkat(dirFd, n.c_str(), 0);
  }

  DIR* root = opendir(TempRoot());
  if (root == nullptr) return;
  std::vector<std::string> scratch;
  const std::size_t plen = std::strlen(kScratchPrefix);
  while (const dirent* e = readdir(root)) {
    if (std::strncmp(e->d_name, kScratchPrefix, plen) != 0) continue;
    char* end = nullptr;
    const long pid = std::strtol(e->d_name + plen, &end, 10);
    if (end == e->d_name + plen || *end != '.' || std::strlen(end + 1) != kRandomLetters) continue;
    struct stat st {};
    const std::string path = std::string(TempRoot()) + "/" + e->d_name;
    if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) continue;
    if (!ProgramRuns(pid)) scratch.push_back(path);
  }
  closedir(root);
  for (const std::string& s : scratch) RemoveScratchDir(s);
}

}  // namespace

int OpenStagedFile(const char* path, StagedFile* staged, int* fd) {
  *staged = StagedFile{};
  *fd = -1;
  if (path == nullptr || path[0] == '\0') return kFileCannotCreate;
  std::string dir, name;
  SplitPath(path, &dir, &name);
  if (name.empty() || name == "." || name == "..") return kFileCannotCreate;
  int dirFd = OpenDir(dir);
  if (dirFd < 0) return kFileCannotCreate;
  if (!Replaceable(dirFd, name)) {
    CloseFd(&dirFd);
    return kFileNotPlain;
  }
  std::string temp;
  for (int i = 0; i < kCreateTries && *fd < 0; ++i) {
    temp = TempNameFor(name);
    *fd = openat(dirFd, temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (*fd < 0 && errno != EEXIST) break;
  }
  if (*fd < 0) {
    CloseFd(&dirFd);
    return kFileCannotCreate;
  }
  staged->dirFd = dirFd;
  staged->dir = dir;
  staged->name = name;
  staged->tempName = temp;
  return kFileWritten;
}

int StageFile(const char* path, const void* data, std::size_t size, StagedFile* staged) {
  int fd = -1;
  const int r = OpenStagedFile(path, staged, &fd);
  if (r != kFileWritten) return r;
  bool ok = WriteAll(fd, data, size);
  ok = fsync(fd) == 0 && ok;
  ok = close(fd) == 0 && ok;
  if (!ok) {
    DiscardStagedFile(staged);
    return kFileWriteFailed;
  }
  return kFileWritten;
}

int CommitStagedFile(StagedFile* staged) {
  if (staged->dirFd < 0) return kFileWriteFailed;
  int result = kFileWritten;
  if (!Replaceable(staged->dirFd, staged->name)) {
    result = kFileNotPlain;
  } else if (renameat(staged->dirFd, staged->tempName.c_str(), staged->dirFd,
                      staged->name.c_str()) != 0) {
    result = kFileWriteFailed;
  }
  if (result == kFileWritten) {
    fsync(staged->dirFd);  // the rename itself survives a power cut
    CloseFd(&staged->dirFd);
    *staged = StagedFile{};
    return result;
  }
  DiscardStagedFile(staged);
  return result;
}

void DiscardStagedFile(StagedFile* staged) {
  if (staged->dirFd >= 0) unlinkat(staged->dirFd, staged->tempName.c_str(), 0);
  CloseFd(&staged->dirFd);
  *staged = StagedFile{};
}

int WriteFileSafely(const char* path, const void* data, std::size_t size) {
  StagedFile staged;
  const int r = StageFile(path, data, size, &staged);
  if (r != kFileWritten) return r;
  if (g_set.open) {
    g_set.files.push_back(staged);
    return kFileWritten;
  }
  return CommitStagedFile(&staged);
}

bool ReadPlainFile(const char* path, unsigned char* buf, std::size_t capacity, std::size_t* n) {
  *n = 0;
  if (path == nullptr || path[0] == '\0') return false;
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return false;
  }
  bool ok = true;
  while (*n < capacity) {
    const ssize_t got = read(fd, buf + *n, capacity - *n);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) ok = false;
    if (got <= 0) break;
    *n += static_cast<std::size_t>(got);
  }
  close(fd);
  return ok;
}

std::FILE* OpenPlainFile(const char* path) {
  if (path == nullptr || path[0] == '\0') return nullptr;
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  const int flags = fcntl(fd, F_GETFL);
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 ||
      fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    close(fd);
    return nullptr;
  }
  std::FILE* f = fdopen(fd, "rb");
  if (f == nullptr) close(fd);
  return f;
}

bool ReadPlainFile(const char* path, std::string* out, std::size_t limit) {
  out->clear();
  std::FILE* f = OpenPlainFile(path);
  if (f == nullptr) return false;
  char buf[16384];
  bool ok = true;
  for (std::size_t got; ok && (got = std::fread(buf, 1, sizeof buf, f)) > 0;) {
    ok = out->size() + got <= limit;
    if (ok) out->append(buf, got);
  }
  ok = ok && std::ferror(f) == 0;
  std::fclose(f);
  if (!ok) out->clear();
  return ok;
}

void BeginFileSet(const char* journalPath) {
  g_set.open = true;
  g_set.journal = journalPath != nullptr ? journalPath : "";
  g_set.files.clear();
}

int EndFileSet(std::string* failed) {
  g_set.open = false;
  std::vector<StagedFile> files;
  files.swap(g_set.files);
  if (failed != nullptr) failed->clear();
  int result = kFileWritten;
  auto note = [&](int r, const StagedFile& f) {
    if (r == kFileWritten || result != kFileWritten) return;
    result = r;
    if (failed != nullptr) *failed = f.dir == "." ? f.name : f.dir + "/" + f.name;
  };
  if (files.empty()) return result;

  std::string jdir, jname;
  SplitPath(g_set.journal.c_str(), &jdir, &jname);
  std::string journal = kJournalHead;
  for (const StagedFile& f : files) {
    if (f.dir == jdir) journal += f.name + "\t" + f.tempName + "\n";
  }
  journal += kJournalEnd;
  // Without its journal the set still goes in place, only no longer as one.
  const bool logged = !jname.empty() && WriteFileSafely(g_set.journal.c_str(), journal.data(),
                                                        journal.size()) == kFileWritten;

  for (StagedFile& f : files) {
    const StagedFile copy = f;
    note(CommitStagedFile(&f), copy);
  }
  if (logged) {
    const int dirFd = OpenDir(jdir);
    if (dirFd >= 0) {
      unlinkat(dirFd, jname.c_str(), 0);
      fsync(dirFd);
      close(dirFd);
    }
  }
  return result;
}

int RecoverFileSet(const char* journalPath, const char* const* names, int count) {
  if (journalPath == nullptr) return 0;
  std::string dir, jname;
  SplitPath(journalPath, &dir, &jname);
  int dirFd = OpenDir(dir);
  if (dirFd < 0 || jname.empty()) {
    CloseFd(&dirFd);
    return 0;
  }
  std::vector<std::string> allowed(names, names + (count > 0 ? count : 0));
  int placed = 0;
  std::string text;
  struct stat st {};
  const bool present = fstatat(dirFd, jname.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  const std::size_t headLen = std::strlen(kJournalHead), endLen = std::strlen(kJournalEnd);
  if (present && S_ISREG(st.st_mode) && ReadPlainFile(journalPath, &text, kJournalLimit) &&
      text.size() >= headLen + endLen && text.compare(0, headLen, kJournalHead) == 0 &&
      text.compare(text.size() - endLen, endLen, kJournalEnd) == 0) {
    std::size_t at = headLen;
    while (at < text.size() - endLen) {
      const std::size_t eol = text.find('\n', at);
      const std::string line = text.substr(at, eol - at);
      at = eol + 1;
      const std::size_t tab = line.find('\t');
      if (tab == std::string::npos) continue;
      const std::string name = line.substr(0, tab), temp = line.substr(tab + 1);
      long pid = 0;
      bool known = false;
      for (const std::string& n : allowed) known = known || n == name;
      struct stat ts {};
      if (!known || !IsTempOf(name, temp.c_str(), &pid) ||
          fstatat(dirFd, temp.c_str(), &ts, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(ts.st_mode) ||
          !Replaceable(dirFd, name)) {
        continue;  // already in place, or not ours to move
      }
      if (renameat(dirFd, temp.c_str(), dirFd, name.c_str()) == 0) ++placed;
    }
    fsync(dirFd);
  }
  if (present && !S_ISDIR(st.st_mode)) unlinkat(dirFd, jname.c_str(), 0);
  allowed.push_back(jname);
  RemoveStale(dirFd, allowed);
  fsync(dirFd);
  close(dirFd);
  return placed;
}

bool MakeScratchDir(std::string* dir) {
  char path[4096];
  const int n = std::snprintf(path, sizeof path, "%s/%s%ld.XXXXXX", TempRoot(), kScratchPrefix,
                              static_cast<long>(getpid()));
  if (n <= 0 || n >= static_cast<int>(sizeof path) || mkdtemp(path) == nullptr) return false;
  *dir = path;
  return true;
}

void RemoveScratchDir(const std::string& dir) {
  if (dir.empty()) return;
  const int fd = OpenDir(dir);
  if (fd >= 0) {
    const int listFd = dup(fd);
    DIR* d = listFd >= 0 ? fdopendir(listFd) : nullptr;
    if (d != nullptr) {
      std::vector<std::string> names;
      while (const dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
          names.emplace_back(e->d_name);
      }
      closedir(d);
      for (const std::string& n : names) {
        if (unlinkat(fd, n.c_str(), 0) != 0 && errno == EISDIR)
          unlinkat(fd, n.c_str(), AT_REMOVEDIR);
      }
    } else if (listFd >= 0) {
      close(listFd);
    }
    close(fd);
  }
  rmdir(dir.c_str());
}
