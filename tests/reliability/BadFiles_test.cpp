// Account paths that name no usable subscriber file: missing, empty, not a
// database, truncated, read-only, not a regular file, or spelled with
// characters that must be taken literally. Every manager member that takes
// an Account refuses them with a clear, tagged "cannot open" error, and
// nothing in the directory is created or changed.

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/reliability/Reliability.hpp"

namespace brivos {
namespace {

using namespace reliability;
namespace fs = std::filesystem;

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A valid database of subscriber A100 under the file name `name` (any name).
std::string Decoy(const std::string& dir, const std::string& name) {
  testing::TempDir elsewhere;
  const std::string account = NewSubscriber(elsewhere.Path());
  ReleaseIdleConnections();
  fs::copy_file(FileOf(account), dir + "/" + name);
  return dir + "/" + name;
}

void Truncate(const std::string& path, off_t size) { EXPECT_EQ(::truncate(path.c_str(), size), 0); }

// Makes a file unwritable: by its mode, and for a superuser, whom modes do
// not stop, by the immutable flag. False when neither holds.
bool Protect(const std::string& path) {
  ::chmod(path.c_str(), 0444);
  const int fd = ::open(path.c_str(), O_RDONLY);
  int flags = 0;
  if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
    flags |= FS_IMMUTABLE_FL;
    ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
  }
  ::close(fd);
  const int writable = ::open(path.c_str(), O_WRONLY);
  if (writable < 0) return true;
  ::close(writable);
  return false;
}

// Lifts Protect from every file under `dir`, so that it can be removed.
void Unprotect(const std::string& dir) {
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    const int fd = ::open(entry.path().c_str(), O_RDONLY);
    int flags = 0;
    if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_IMMUTABLE_FL)) {
      flags &= ~FS_IMMUTABLE_FL;
      ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    if (fd >= 0) ::close(fd);
  }
}

// Every entry under `dir`: its kind, size and modification time, and the
// content of regular files.
std::map<std::string, std::string> Snapshot(const std::string& dir) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    struct stat st {};
    ::lstat(entry.path().c_str(), &st);
    std::string text = std::to_string(st.st_mode) + " " + std::to_string(st.st_size) + " " +
                       std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    if (S_ISREG(st.st_mode))
      text += " " + std::to_string(std::hash<std::string>{}(ReadFile(entry.path())));
    entries[entry.path().lexically_relative(dir).string()] = text;
  }
  return entries;
}

struct BadFile {
  const char* name;
  // Prepares the directory (the current one) and returns the Account path.
  std::string (*setup)(const std::string& dir);
  // A read-only database may be read, and may refuse a call for other
  // reasons; a number drawn from it must be refused.
  bool readable = false;
};

const BadFile kBadFiles[] = {
    {"missing", [](const std::string& dir) { return dir + "\\A100"; }},
    {"zero-byte",
     [](const std::string& dir) {
       WriteFile(dir + "/A100.mdb", "");
       return dir + "\\A100";
     }},
    {"text",
     [](const std::string& dir) {
       std::string text;
       for (int i = 0; i < 200; ++i) text += "This is not a database.\n";
       WriteFile(dir + "/A100.mdb", text);
       return dir + "\\A100";
     }},
    {"truncated within the header",
     [](const std::string& dir) {
       Truncate(Decoy(dir, "A100.mdb"), 50);
       return dir + "\\A100";
     }},
    {"truncated to its first page",
     [](const std::string& dir) {
       const std::string path = Decoy(dir, "A100.mdb");
       const std::string header = ReadFile(path).substr(0, 100);
       const int size =
           (static_cast<unsigned char>(header[16]) << 8) | static_cast<unsigned char>(header[17]);
       Truncate(path, size == 1 ? 65536 : size);
       return dir + "\\A100";
     }},
    {"read-only",
     [](const std::string& dir) {
       if (!Protect(Decoy(dir, "A100.mdb"))) return std::string();
       return dir + "\\A100";
     },
     true},
    {"a directory",
     [](const std::string& dir) {
       fs::create_directory(dir + "/A100.mdb");
       return dir + "\\A100";
     }},
    {"a FIFO",
     [](const std::string& dir) {
       ::mkfifo((dir + "/A100.mdb").c_str(), 0644);
       return dir + "\\A100";
     }},
    {"a dangling symbolic link",
     [](const std::string& dir) {
       fs::create_symlink(dir + "/nowhere.mdb", dir + "/A100.mdb");
       return dir + "\\A100";
     }},
    {"';' in the name, with a file named as the text before it",
     [](const std::string& dir) {
       Decoy(dir, "A");
       return dir + "\\A;B";
     }},
    {"NUL in the name, with a file named as the text before it",
     [](const std::string& dir) {
       Decoy(dir, "A100.mdb");
       return dir + "\\A100.mdb" + std::string(1, '\0') + "x";
     }},
    {"'file:' prefix, naming a text file literally and a database as a URI",
     [](const std::string& dir) {
       Decoy(dir, "A100.mdb");
       WriteFile(dir + "/file:A100.mdb?x=.mdb", "This is not a database.\n");
       return std::string("file:A100.mdb?x=");
     }},
    {"the marker in the name",
     [](const std::string& dir) { return dir + "\\x" + std::string(kErrorMarker) + "5"; }},
    {"a name too long", [](const std::string& dir) { return dir + "\\" + std::string(300, 'n'); }},
    {"a path too long",
     [](const std::string& dir) {
       std::string path = dir;
       for (int i = 0; i < 20; ++i) path += "\\" + std::string(250, 'p');
       return path;
     }},
};

// The registry's members that take an Account, on their creatable classes.
std::vector<std::pair<const ClassInfo*, const MemberInfo*>> AccountMembers() {
  std::vector<std::pair<const ClassInfo*, const MemberInfo*>> members;
  for (const ClassInfo* info : RegisteredClasses()) {
    if (!info->Creatable()) continue;
    for (const MemberInfo& m : info->Members()) {
      for (const std::string& arg : m.arg_names) {
        if (EqualsIgnoreCase(arg, "Account")) {
          members.emplace_back(info, &m);
          break;
        }
      }
    }
  }
  return members;
}

// Why an error is not a clear refusal to open, or "".
std::string Unclear(const Error& e) {
  if (e.Number() != errnum::kDbCannotOpen) return "error " + std::to_string(e.Number());
  if (std::string fault = TagFault(e); !fault.empty()) return fault;
  const std::string body = e.Description().substr(0, e.Description().rfind("\r\n"));
  if (body.empty() || body == "Unexpected error" || body == RuntimeMessage(e.Number())) {
    return "a description that does not say what failed";
  }
  return "";
}

TEST(BadFiles, EveryAccountMemberRefusesThemAndLeavesTheDirectoryAlone) {
  Watchdog watchdog("the bad-file cases", 60);
  const auto members = AccountMembers();
  ASSERT_FALSE(members.empty());
  long calls = 0, skipped = 0;
  for (const BadFile& c : kBadFiles) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    {
      InDirectory here(dir.Path());
      const std::string account = c.setup(dir.Path());
      if (account.empty()) {
        ++skipped;
        std::printf("[ skipped  ] %s: the file cannot be made read-only here\n", c.name);
        continue;
      }
      const auto before = Snapshot(dir.Path());
      std::map<std::string, std::string> faults;  // each kind, with the first call showing it
      long failed = 0;
      for (const auto& [info, m] : members) {
        std::vector<Variant> args;
        for (const std::string& arg : m->arg_names) {
          args.push_back(EqualsIgnoreCase(arg, "Account") ? Variant(account) : Variant(1));
        }
        const std::string shown = ShowCall(info->Name(), m->name, args);
        NoteForCrash(c.name + (": " + shown));
        ++calls;
        std::optional<Error> e = testing::ErrorOf([&] { info->Create()->Invoke(m->name, args); });
        std::string fault = !e ? "no error" : Unclear(*e);
        if (c.readable) {
          const bool draw = m->name == "GetNextInvoiceNumber";
          fault = e ? TagFault(*e) : "";
          if (draw && (!e || e->Number() != errnum::kDbFailure))
            fault = "the draw not refused as a failed write";
        }
        if (fault.empty()) continue;
        ++failed;
        faults.emplace(fault, shown + (e ? "\n      raised " + Show(e->Description(), 200) : ""));
      }
      std::string listed;
      for (const auto& [fault, call] : faults) listed += "\n  " + fault + ", first in " + call;
      EXPECT_EQ(failed, 0) << "calls not refused as they must be:" << listed;
      ReleaseIdleConnections();
      EXPECT_EQ(Snapshot(dir.Path()), before) << "the directory changed";
    }
    Unprotect(dir.Path());
  }
  Report("cases=" + std::to_string(std::size(kBadFiles)) + " skipped=" + std::to_string(skipped) +
         " members=" + std::to_string(members.size()) + " calls=" + std::to_string(calls));
}

}  // namespace
}  // namespace brivos
